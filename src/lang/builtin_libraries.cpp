// The embedded texts of the six standard type libraries. They are parsed on
// first use like any library file; a text that does not parse is a fault.
#include "lang/builtin_libraries.hpp"

#include <array>

namespace bezo {
namespace {

constexpr std::string_view kEnc = R"yezo(.!yezo std/enc
// Base64url-embedded content; each type names what the decoded payload holds.
// Generic binary data.
!b64
&bin=
// Multi-line UTF-8 text, for content that the "|:|" separator of text cannot carry.
!b64
&plain=
// A JSON document.
!b64
&json=
// A YAML document.
!b64
&yaml=
// A TOML document.
!b64
&toml=
// An XML document.
!b64
&xml=
// An HTML document.
!b64
&html=
// A Markdown document.
!b64
&md=
// A CSV table.
!b64
&csv=
)yezo";

constexpr std::string_view kNet = R"yezo(.!yezo std/net
// Network identifiers. A pattern cannot hold an apostrophe, so the apostrophe
// that URIs and e-mail addresses admit is written \x27.
// A URI of the generic syntax (RFC 3986): scheme, ":", hierarchical part,
// optional "?" query and "#" fragment; hosts may be IP literals (IPv6 or
// IPvFuture in brackets), IPv4 addresses or registered names.
/^[A-Za-z][A-Za-z0-9+.-]*:(\/\/(([A-Za-z0-9._~!$&\x27()*+,;=:-]|%[0-9A-Fa-f]{2})*@)?(\[(([0-9A-Fa-f]{1,4}:){6}([0-9A-Fa-f]{1,4}:[0-9A-Fa-f]{1,4}|((25[0-5]|2[0-4][0-9]|1[0-9][0-9]|[1-9][0-9]|[0-9])\.){3}(25[0-5]|2[0-4][0-9]|1[0-9][0-9]|[1-9][0-9]|[0-9]))|::([0-9A-Fa-f]{1,4}:){5}([0-9A-Fa-f]{1,4}:[0-9A-Fa-f]{1,4}|((25[0-5]|2[0-4][0-9]|1[0-9][0-9]|[1-9][0-9]|[0-9])\.){3}(25[0-5]|2[0-4][0-9]|1[0-9][0-9]|[1-9][0-9]|[0-9]))|([0-9A-Fa-f]{1,4})?::([0-9A-Fa-f]{1,4}:){4}([0-9A-Fa-f]{1,4}:[0-9A-Fa-f]{1,4}|((25[0-5]|2[0-4][0-9]|1[0-9][0-9]|[1-9][0-9]|[0-9])\.){3}(25[0-5]|2[0-4][0-9]|1[0-9][0-9]|[1-9][0-9]|[0-9]))|(([0-9A-Fa-f]{1,4}:){0,1}[0-9A-Fa-f]{1,4})?::([0-9A-Fa-f]{1,4}:){3}([0-9A-Fa-f]{1,4}:[0-9A-Fa-f]{1,4}|((25[0-5]|2[0-4][0-9]|1[0-9][0-9]|[1-9][0-9]|[0-9])\.){3}(25[0-5]|2[0-4][0-9]|1[0-9][0-9]|[1-9][0-9]|[0-9]))|(([0-9A-Fa-f]{1,4}:){0,2}[0-9A-Fa-f]{1,4})?::([0-9A-Fa-f]{1,4}:){2}([0-9A-Fa-f]{1,4}:[0-9A-Fa-f]{1,4}|((25[0-5]|2[0-4][0-9]|1[0-9][0-9]|[1-9][0-9]|[0-9])\.){3}(25[0-5]|2[0-4][0-9]|1[0-9][0-9]|[1-9][0-9]|[0-9]))|(([0-9A-Fa-f]{1,4}:){0,3}[0-9A-Fa-f]{1,4})?::[0-9A-Fa-f]{1,4}:([0-9A-Fa-f]{1,4}:[0-9A-Fa-f]{1,4}|((25[0-5]|2[0-4][0-9]|1[0-9][0-9]|[1-9][0-9]|[0-9])\.){3}(25[0-5]|2[0-4][0-9]|1[0-9][0-9]|[1-9][0-9]|[0-9]))|(([0-9A-Fa-f]{1,4}:){0,4}[0-9A-Fa-f]{1,4})?::([0-9A-Fa-f]{1,4}:[0-9A-Fa-f]{1,4}|((25[0-5]|2[0-4][0-9]|1[0-9][0-9]|[1-9][0-9]|[0-9])\.){3}(25[0-5]|2[0-4][0-9]|1[0-9][0-9]|[1-9][0-9]|[0-9]))|(([0-9A-Fa-f]{1,4}:){0,5}[0-9A-Fa-f]{1,4})?::[0-9A-Fa-f]{1,4}|(([0-9A-Fa-f]{1,4}:){0,6}[0-9A-Fa-f]{1,4})?::|v[0-9A-Fa-f]+\.[A-Za-z0-9._~!$&\x27()*+,;=:-]+)\]|((25[0-5]|2[0-4][0-9]|1[0-9][0-9]|[1-9][0-9]|[0-9])\.){3}(25[0-5]|2[0-4][0-9]|1[0-9][0-9]|[1-9][0-9]|[0-9])|([A-Za-z0-9._~!$&\x27()*+,;=-]|%[0-9A-Fa-f]{2})*)(:[0-9]*)?(\/([A-Za-z0-9._~!$&\x27()*+,;=:@-]|%[0-9A-Fa-f]{2})*)*|\/(([A-Za-z0-9._~!$&\x27()*+,;=:@-]|%[0-9A-Fa-f]{2})+(\/([A-Za-z0-9._~!$&\x27()*+,;=:@-]|%[0-9A-Fa-f]{2})*)*)?|([A-Za-z0-9._~!$&\x27()*+,;=:@-]|%[0-9A-Fa-f]{2})+(\/([A-Za-z0-9._~!$&\x27()*+,;=:@-]|%[0-9A-Fa-f]{2})*)*|)(\?([A-Za-z0-9._~!$&\x27()*+,;=:@\/?-]|%[0-9A-Fa-f]{2})*)?(#([A-Za-z0-9._~!$&\x27()*+,;=:@\/?-]|%[0-9A-Fa-f]{2})*)?$/
&uri=
// A URI with an authority ("scheme://host..."); every url is a uri.
/^[A-Za-z][A-Za-z0-9+.-]*:\/\/(([A-Za-z0-9._~!$&\x27()*+,;=:-]|%[0-9A-Fa-f]{2})*@)?(\[(([0-9A-Fa-f]{1,4}:){6}([0-9A-Fa-f]{1,4}:[0-9A-Fa-f]{1,4}|((25[0-5]|2[0-4][0-9]|1[0-9][0-9]|[1-9][0-9]|[0-9])\.){3}(25[0-5]|2[0-4][0-9]|1[0-9][0-9]|[1-9][0-9]|[0-9]))|::([0-9A-Fa-f]{1,4}:){5}([0-9A-Fa-f]{1,4}:[0-9A-Fa-f]{1,4}|((25[0-5]|2[0-4][0-9]|1[0-9][0-9]|[1-9][0-9]|[0-9])\.){3}(25[0-5]|2[0-4][0-9]|1[0-9][0-9]|[1-9][0-9]|[0-9]))|([0-9A-Fa-f]{1,4})?::([0-9A-Fa-f]{1,4}:){4}([0-9A-Fa-f]{1,4}:[0-9A-Fa-f]{1,4}|((25[0-5]|2[0-4][0-9]|1[0-9][0-9]|[1-9][0-9]|[0-9])\.){3}(25[0-5]|2[0-4][0-9]|1[0-9][0-9]|[1-9][0-9]|[0-9]))|(([0-9A-Fa-f]{1,4}:){0,1}[0-9A-Fa-f]{1,4})?::([0-9A-Fa-f]{1,4}:){3}([0-9A-Fa-f]{1,4}:[0-9A-Fa-f]{1,4}|((25[0-5]|2[0-4][0-9]|1[0-9][0-9]|[1-9][0-9]|[0-9])\.){3}(25[0-5]|2[0-4][0-9]|1[0-9][0-9]|[1-9][0-9]|[0-9]))|(([0-9A-Fa-f]{1,4}:){0,2}[0-9A-Fa-f]{1,4})?::([0-9A-Fa-f]{1,4}:){2}([0-9A-Fa-f]{1,4}:[0-9A-Fa-f]{1,4}|((25[0-5]|2[0-4][0-9]|1[0-9][0-9]|[1-9][0-9]|[0-9])\.){3}(25[0-5]|2[0-4][0-9]|1[0-9][0-9]|[1-9][0-9]|[0-9]))|(([0-9A-Fa-f]{1,4}:){0,3}[0-9A-Fa-f]{1,4})?::[0-9A-Fa-f]{1,4}:([0-9A-Fa-f]{1,4}:[0-9A-Fa-f]{1,4}|((25[0-5]|2[0-4][0-9]|1[0-9][0-9]|[1-9][0-9]|[0-9])\.){3}(25[0-5]|2[0-4][0-9]|1[0-9][0-9]|[1-9][0-9]|[0-9]))|(([0-9A-Fa-f]{1,4}:){0,4}[0-9A-Fa-f]{1,4})?::([0-9A-Fa-f]{1,4}:[0-9A-Fa-f]{1,4}|((25[0-5]|2[0-4][0-9]|1[0-9][0-9]|[1-9][0-9]|[0-9])\.){3}(25[0-5]|2[0-4][0-9]|1[0-9][0-9]|[1-9][0-9]|[0-9]))|(([0-9A-Fa-f]{1,4}:){0,5}[0-9A-Fa-f]{1,4})?::[0-9A-Fa-f]{1,4}|(([0-9A-Fa-f]{1,4}:){0,6}[0-9A-Fa-f]{1,4})?::|v[0-9A-Fa-f]+\.[A-Za-z0-9._~!$&\x27()*+,;=:-]+)\]|((25[0-5]|2[0-4][0-9]|1[0-9][0-9]|[1-9][0-9]|[0-9])\.){3}(25[0-5]|2[0-4][0-9]|1[0-9][0-9]|[1-9][0-9]|[0-9])|([A-Za-z0-9._~!$&\x27()*+,;=-]|%[0-9A-Fa-f]{2})*)(:[0-9]*)?(\/([A-Za-z0-9._~!$&\x27()*+,;=:@-]|%[0-9A-Fa-f]{2})*)*(\?([A-Za-z0-9._~!$&\x27()*+,;=:@\/?-]|%[0-9A-Fa-f]{2})*)?(#([A-Za-z0-9._~!$&\x27()*+,;=:@\/?-]|%[0-9A-Fa-f]{2})*)?$/
&url=
// An e-mail address: a dotted-atom local part and RFC 1123 domain labels.
/^[A-Za-z0-9.!#$%&\x27*+\/=?^_`{|}~-]+@[A-Za-z0-9]([A-Za-z0-9-]{0,61}[A-Za-z0-9])?(\.[A-Za-z0-9]([A-Za-z0-9-]{0,61}[A-Za-z0-9])?)*$/
&email=
// A host name (RFC 1123): dot-separated labels of letters, digits and interior
// hyphens, at most 63 characters a label and 253 in all.
/^[A-Za-z0-9]([A-Za-z0-9-]{0,61}[A-Za-z0-9])?(\.[A-Za-z0-9]([A-Za-z0-9-]{0,61}[A-Za-z0-9])?)*$/ #[1,253]
&hostname=
// A TCP or UDP port number, numerically ordered; 0 is admitted, narrow to
// [1,] where an assignable port is meant.
/^-?[0-9]+$/ ..num [0,65535]
&port=
)yezo";

constexpr std::string_view kNum = R"yezo(.!yezo std/num
// Non-finite markers; an extended real is written as the union float|std/num/inf.
// Signed infinity.
{inf,-inf}
&inf=
// Not-a-number.
{nan}
&nan=
)yezo";

constexpr std::string_view kCore = R"yezo(.!yezo std/core
// The primitive types as constrained strings.
// A decimal integer, numerically ordered.
/^-?[0-9]+$/ ..num
&int=
// A decimal floating-point number, numerically ordered.
/^-?[0-9]*\.?[0-9]+([eE][+-]?[0-9]+)?$/ ..num
&float=
// A two-valued enumeration.
{true,false}
&bool=
// The empty value only.
/^$/
&null=
// Unpadded base64url (RFC 4648 section 5): encoded lengths 0, 2 or 3 modulo 4.
/^([A-Za-z0-9_-]{4})*([A-Za-z0-9_-]{2,3})?$/
&b64=
// Multi-line readable text whose lines are joined by "|:|"; the value is kept
// as written, the separator means something only to applications.
&text=
)yezo";

constexpr std::string_view kMath = R"yezo(.!yezo std/math
// A complex number "a+bi": both parts in the float grammar, the sign between
// them carrying the imaginary part's sign, no blanks; byte ordering.
/^-?[0-9]*\.?[0-9]+([eE][+-]?[0-9]+)?[+-][0-9]*\.?[0-9]+([eE][+-]?[0-9]+)?i$/
&complex=
)yezo";

constexpr std::string_view kTime = R"yezo(.!yezo std/time
// RFC 3339 shapes, chronologically ordered.
// An offset date-time, e.g. 2026-07-03T21:00:00Z or 2026-07-03 21:00:00+02:00.
/^\d{4}-\d{2}-\d{2}[Tt ]\d{2}:\d{2}:\d{2}(\.\d+)?([Zz]|[+-]\d{2}:\d{2})$/ ..time
&datetime=
// A local date-time, without offset.
/^\d{4}-\d{2}-\d{2}[Tt ]\d{2}:\d{2}:\d{2}(\.\d+)?$/ ..time
&localdatetime=
// A local date.
/^\d{4}-\d{2}-\d{2}$/ ..time
&date=
// A local time.
/^\d{2}:\d{2}:\d{2}(\.\d+)?$/ ..time
&time=
)yezo";

constexpr std::array<BuiltinLibraryText, kBuiltinLibraryCount> kTexts{{
    {"std/enc", kEnc},
    {"std/net", kNet},
    {"std/num", kNum},
    {"std/core", kCore},
    {"std/math", kMath},
    {"std/time", kTime},
}};

}  // namespace

std::span<const BuiltinLibraryText, kBuiltinLibraryCount> builtin_library_texts() { return kTexts; }

}  // namespace bezo
