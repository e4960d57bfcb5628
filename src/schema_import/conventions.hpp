// What every schema importer shares: the naming rule that turns a foreign
// name into a key, the debug form that quotes a foreign name in notes and
// messages, where a note points and how a nested field's key is spelled, the
// "// dropped:" note lines, the header of an imported schema,
// checked integer text, the verdicts of the pattern dialect, and the budget
// that bounds the work and the output of one import.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <set>
#include <string>
#include <string_view>
#include <vector>

#include "core/budget.hpp"
#include "core/error.hpp"
#include "core/hash.hpp"
#include "core/text.hpp"

namespace bezo {

// ---- Keys and the debug form ----

// The key text of a foreign name: the name itself when it is an ASCII
// identifier other than "re", else the name in double quotes with inner
// quotes doubled. None for the empty name and for a name holding NUL, LF or
// CR; callers turn that refusal into a note or a message of their own.
std::optional<std::string> property_key(std::string_view name);

// Whether a text holds NUL, LF or CR: such a text can be neither a key nor
// a comment line.
bool holds_nul_or_line_break(std::string_view text);

// Appends a name in double quotes with backslashes and quotes escaped, tab,
// CR, LF and NUL as \t, \r, \n and \0, and every other control, format,
// private-use, unassigned or separator character (the blank excepted) and
// every combining mark as \u{hex}.
void append_name_debug_form(std::string_view name, std::string& out);
std::string name_debug_form(std::string_view name);

// ---- Paths ----

// Where a note points: the prefix (or "root" at the top), "/", the name.
std::string jsonschema_path(std::string_view prefix, std::string_view name);

// A field's key in a content line: the key, after "prefix::" when nested.
std::string join_field_key(std::string_view prefix, std::string_view key);

// The last component of a dotted name ("T" of "a.b.T"): what follows its
// last dot, the whole name when it has none.
constexpr std::string_view last_dotted_component(std::string_view full_name) {
    const std::size_t dot = full_name.rfind('.');
    return dot == std::string_view::npos ? full_name : full_name.substr(dot + 1);
}

// `name` under the dotted scope `scope` ("a.b" and "T" give "a.b.T"); the
// name alone under the empty scope.
inline std::string join_dotted_name(std::string_view scope, std::string_view name) {
    std::string full_name;
    full_name.reserve(scope.size() + 1 + name.size());
    full_name += scope;
    if (!scope.empty()) full_name += '.';
    full_name += name;
    return full_name;
}

// ---- Note lines ----

// Appends "// dropped: " + note + LF. The JSON Schema and XSD importers
// quote foreign texts in their notes, where a decoded "&#10;" can stand, so
// they blank NUL, LF and CR to keep a note on one line; the others write
// their note texts unchanged.
void one_line_note_dropped(std::string& out, std::string_view note);
void note_dropped(std::string& out, std::string_view note);
inline void jsonschema_note_dropped(std::string& out, std::string_view note) { one_line_note_dropped(out, note); }
inline void xsd_note_dropped(std::string& out, std::string_view note) { one_line_note_dropped(out, note); }
inline void proto_note_dropped(std::string& out, std::string_view note) { note_dropped(out, note); }
inline void graphql_note_dropped(std::string& out, std::string_view note) { note_dropped(out, note); }
inline void avro_note_dropped(std::string& out, std::string_view note) { note_dropped(out, note); }

// The texts of the notes on requirements an imported schema cannot hold,
// which every importer writes through its own note writer. A requirement
// ("presence", "minOccurs=2") of a member whose parent may be absent: the
// member is written optional, the collection without its minimum, since an
// absent parent leaves them absent too.
std::string requirement_under_optional_parent_note(std::string_view requirement, std::string_view location);

// The field lines an import has written so far: the plain ones, and those
// that refuse a document lacking them (required fields, and tables with a
// least number of entries). A record's notes compare the counts from before
// its fields with those after.
struct FieldLineCounts {
    std::size_t plain = 0;
    std::size_t required = 0;

    void count_field(bool required_field) {
        ++plain;
        if (required_field) ++required;
    }
};

// The notes a record at `location` needs once its fields are written
// (`before` the counts when it began): without a plain field below it, a
// value, null or a list in its place passes; required but without a
// required line below it, an absent record passes.
std::vector<std::string> record_notes(const FieldLineCounts& before, const FieldLineCounts& after, bool required,
                                      std::string_view location);

// ---- Map blocks ----

// A map whose entry values take `annotation` (constraints, a library type),
// which "!map<T>" cannot carry: the block "(prefix/key)", the annotation,
// the key line admitting every key, and the closing line.
void write_map_block(std::string& out, std::string_view prefix, std::string_view key, std::string_view annotation);

// ---- Constraint texts ----

// Whether a text can stand as a member of a set constraint "{a,b}": it is
// not empty and holds none of NUL, tab, LF, CR, blank, apostrophe, comma and
// "}".
bool is_spellable_set_member(std::string_view text);

bool has_blank_or_tab(std::string_view text);

// ---- The header ----

// The type libraries an import used ("std/net", "std/time"), each once, in
// byte order.
using LibrarySet = std::set<std::string, std::less<>>;

// The whole imported schema: ".!hezo " + name, one ".!types" line per
// library, an empty line, then the body. The name is written as given.
// In a schema a line that opens with "/" and splits into constraint items is
// a constraint line, so a field path with quoted names such as /"a/..b"=
// would read as a pattern and a range, not as the field written: such a
// body is refused with "unrepresentable field path: " and the line's debug
// form.
Result<std::string> assemble_imported_schema(std::string_view name, const LibrarySet& libraries, std::string_view body);

// ---- Integer text ----

// The decimal text of the integer `text` plus `step`; none when the text is
// not an integer as above or the sum leaves the signed 64-bit range.
std::optional<std::string> shift_decimal_i64(std::string_view text, std::int64_t step, PlusSign plus);

// ---- Pattern verdicts ----

// Whether the pattern dialect accepts a pattern, each distinct pattern
// compiled once per import: a schema repeats its patterns at every use of a
// definition.
class RexVerdictCache {
public:
    bool accepts(std::string_view pattern);

private:
    TextMap<bool> verdicts_;
};

// Walks a foreign pattern in pieces as the dialect delimits them: a
// backslash and the character after it are one escape; a class opens at "["
// (taking a "^" right after it along) and closes at the first "]" that is
// not its first item, so "[]a]" holds "]" and "a".
class PatternScanner {
public:
    explicit PatternScanner(std::string_view pattern) : rest_(pattern) {}

    // The next piece: an escape, a class opening ("[" or "[^") or one
    // character; none at the end of the pattern.
    std::optional<std::string_view> next();

    // Whether the piece last returned lies in a class (its closing "]"
    // does, its opening does not).
    bool in_class() const { return piece_in_class_; }

    // The pattern after the piece last returned.
    std::string_view rest() const { return rest_; }

private:
    std::string_view rest_;
    bool in_class_ = false;
    bool at_first_item_ = false;
    bool piece_in_class_ = false;
};

// The dialect's class of what a foreign "." matches (XSD, JSON Schema): any
// character but LF and CR, where the dialect's "." matches any.
inline constexpr std::string_view kAnyButLineEnd = R"re([^\x0A\x0D])re";

// A foreign pattern as the text between the slashes of a pattern
// constraint: every "/" not already escaped gets a backslash, and a
// backslash carries the character after it over unchanged.
std::string escape_pattern_slashes(std::string_view pattern);

// A JSON Schema pattern in the dialect, as the text between the slashes of
// a pattern constraint: slashes escaped as above, and each "." outside a
// class, which matches no line end, written as that class. Classes are
// delimited as the dialect delimits them: the first item after "[" or "[^"
// is a member even when it is "]". None when the pattern holds an
// apostrophe or a control character, which a constraint line cannot carry,
// or when the dialect refuses the translated text.
std::optional<std::string> pattern_constraint_text(std::string_view pattern, RexVerdictCache& verdicts);

// ---- The import budget ----

// A schema of a few kilobytes can name a definition twice at every level and
// so ask for millions of fields. Every importer counts one step per field,
// property or element it reaches and checks the size of its output, and
// ends the import with "schema too large to import" past either bound. An
// importer that reads a definition again at every use also counts what it
// reads there, since a large definition that writes little would otherwise
// cost its whole size at each of a million uses.
class ImportBudget {
public:
    static constexpr std::uint64_t kMaxSteps = 1'000'000;
    static constexpr std::size_t kMaxOutputBytes = (std::size_t{64} << 20) / kSizeLimitDivisor;
    static constexpr std::uint64_t kMaxReadUnits = std::uint64_t{64} << 20;

    // Counts one more field, property or element reached.
    Result<void> charge_step();
    // Checks the output written so far, `output_bytes` in all.
    Result<void> charge_output(std::size_t output_bytes) const;
    // Counts `units` more members, elements or text bytes read.
    Result<void> charge_reading(std::uint64_t units);

private:
    std::uint64_t steps_ = 0;
    std::uint64_t read_units_ = 0;
};

}  // namespace bezo
