#include "lang/yezo.hpp"

#include <array>
#include <mutex>
#include <optional>

#include "core/fault.hpp"
#include "core/text.hpp"
#include "lang/builtin_libraries.hpp"
#include "lang/lexer.hpp"

namespace bezo {
namespace {

constexpr std::string_view kDeclaration = ".!yezo";

// A ".!yezo" line names the library: the first word after the optional
// version token. A line that names nothing leaves the earlier name.
void read_declaration(std::string_view decl, std::string& name) {
    if (!decl.starts_with(kDeclaration)) return;
    const std::string_view rest = skip_version_token(decl.substr(kDeclaration.size()));
    if (rest.empty()) return;
    name = rest.substr(0, rest.find_first_of(kAsciiWhitespace));
}

// A "&name=value" line closes one type, which takes the pending items.
Result<void> add_definition(const Line& line, std::vector<AnnotationItem>& pending, TypeLibrary& library) {
    const std::string_view left = line.left();
    if (!left.starts_with('&')) return fail("unexpected .yezo content line: " + std::string(left));
    const std::string_view name = left.substr(1);
    if (library.types.contains(name)) return fail("duplicate type definition in .yezo: &" + std::string(name));
    library.types.emplace(std::string(name), TypeDef{std::move(pending), std::string(line.value)});
    pending.clear();
    return {};
}

struct BuiltinSlot {
    std::once_flag once;
    std::optional<TypeLibrary> library;
};

// One slot per standard library, filled on first use and read-only after.
std::array<BuiltinSlot, kBuiltinLibraryCount> g_builtin_slots;

TypeLibrary parse_builtin(const BuiltinLibraryText& builtin) {
    Result<TypeLibrary> library = parse_type_library(builtin.text);
    if (!library) {
        raise_fault("embedded " + std::string(builtin.name) + ".yezo is valid: " + error_debug(library.error()));
    }
    return std::move(*library);
}

}  // namespace

Result<TypeLibrary> parse_type_library(std::string_view text) {
    auto lines = lex(text, LexMode::TypeLibrary);
    if (!lines) return std::unexpected(Error(lines.error()));

    TypeLibrary library;
    std::vector<AnnotationItem> pending;
    for (const Line& line : *lines) {
        switch (line.kind) {
            case LineKind::Blank:
            case LineKind::Comment:
            case LineKind::Doc: break;
            case LineKind::Decl: read_declaration(line.text, library.name); break;
            case LineKind::Meta: {
                std::optional<std::vector<AnnotationItem>> items = split_annotation_line(line.text);
                if (!items) return fail("bad constraint line in .yezo: " + std::string(line.text));
                pending.insert(pending.end(), std::make_move_iterator(items->begin()),
                               std::make_move_iterator(items->end()));
                break;
            }
            case LineKind::Content:
                if (Result<void> added = add_definition(line, pending, library); !added) {
                    return forward_error(added);
                }
                break;
            default: return fail("unsupported .yezo line: " + line_debug(line));
        }
    }
    if (!pending.empty()) return fail("trailing constraint line(s) in .yezo with no &name= definition");
    if (library.name.empty()) return std::unexpected(Error::Lex(LexErrorKind::FormatKind, 1));
    return library;
}

const TypeLibrary* builtin_type_library(std::string_view name) {
    const auto texts = builtin_library_texts();
    for (std::size_t i = 0; i < texts.size(); ++i) {
        if (texts[i].name != name) continue;
        BuiltinSlot& slot = g_builtin_slots[i];
        std::call_once(slot.once, [&] { slot.library = parse_builtin(texts[i]); });
        return &*slot.library;
    }
    return nullptr;
}

}  // namespace bezo
