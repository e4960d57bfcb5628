#include "lang/unitdefs.hpp"

#include <optional>
#include <string>

#include "core/text.hpp"
#include "lang/lexer.hpp"

namespace bezo {
namespace {

constexpr std::string_view kDeclaration = ".!gezo";

// "1*ALPHA", or "~" and three capitals (a currency-like code).
bool is_valid_unit_name(std::string_view name) {
    if (name.size() == 4 && name.front() == '~') return std::ranges::all_of(name.substr(1), is_ascii_upper);
    return is_ascii_letters(name);
}

class UnitDefsReader {
public:
    Result<void> read(const Line& line) {
        switch (line.kind) {
            case LineKind::Blank:
            case LineKind::Comment:
            case LineKind::Doc: return {};
            case LineKind::Decl: read_declaration(line.text); return {};
            case LineKind::Meta: return read_dimension(line.text);
            case LineKind::Content: return read_unit(line.left(), line.value);
            default: return fail("unsupported .gezo line: " + line_debug(line));
        }
    }

    Result<UnitDefs> finish() {
        if (pending_) return fail("trailing dimension line in .gezo with no &name= definition");
        if (defs_.name.empty()) return std::unexpected(Error::Lex(LexErrorKind::FormatKind, 1));
        return std::move(defs_);
    }

private:
    // A ".!gezo" line names the module: the first word after the optional
    // version token. Other declaration lines mean nothing here.
    void read_declaration(std::string_view decl) {
        if (!decl.starts_with(kDeclaration)) return;
        const std::string_view rest = skip_version_token(decl.substr(kDeclaration.size()));
        const std::string_view word = rest.substr(0, rest.find_first_of(" \t\r\n"));
        if (!word.empty()) defs_.name = word;
    }

    // A dimension line waits for the "&name=" line that it defines; it may
    // name built-in units and the units defined above it.
    Result<void> read_dimension(std::string_view text) {
        std::optional<QuantityLine> quantity = parse_quantity_line(text);
        if (!quantity) return fail("bad definition line in .gezo: " + std::string(text));
        if (quantity->unit != "$" && !is_known_unit(quantity->unit, defs_.units)) {
            return fail("unknown unit in .gezo dimension: " + quantity->unit);
        }
        pending_ = std::move(quantity);
        return {};
    }

    // "&name=" defines a unit from the pending dimension line; "&name=target"
    // makes an alias of a unit defined above.
    Result<void> read_unit(std::string_view left, std::string_view target) {
        if (!left.starts_with('&')) return fail("unexpected .gezo content line: " + std::string(left));
        const std::string name(left.substr(1));
        if (!is_valid_unit_name(name)) {
            return fail("invalid unit name in .gezo: &" + name + " (unit-name is 1*ALPHA)");
        }
        Result<UnitDef> def = target.empty() ? take_definition(name) : make_alias(name, target);
        if (!def) return forward_error(def);
        if (defs_.units.contains(name)) return fail("duplicate unit definition in .gezo: &" + name);
        defs_.units.emplace(name, std::move(*def));
        return {};
    }

    Result<UnitDef> take_definition(const std::string& name) {
        if (!pending_) return fail("definition &" + name + "= has no dimension line above it");
        UnitDef def{std::move(pending_->unit), std::move(pending_->quantity), std::move(pending_->reference), {}};
        pending_.reset();
        return def;
    }

    Result<UnitDef> make_alias(const std::string& name, std::string_view target) {
        const std::string spelled = "alias &" + name + "=" + std::string(target);
        if (pending_) return fail(spelled + " is preceded by a dimension line that defines nothing");
        const auto found = defs_.units.find(target);
        if (found == defs_.units.end()) return fail(spelled + " has no target");
        UnitDef alias = clone_unit_def(found->second);
        alias.alias_of = std::string(target);
        return alias;
    }

    UnitDefs defs_;
    std::optional<QuantityLine> pending_;
};

}  // namespace

Result<UnitDefs> parse_unit_defs(std::string_view text) {
    auto lines = lex(text, LexMode::UnitDefs);
    if (!lines) return std::unexpected(Error(lines.error()));
    UnitDefsReader reader;
    for (const Line& line : *lines) {
        if (Result<void> read = reader.read(line); !read) return forward_error(read);
    }
    return reader.finish();
}

}  // namespace bezo
