// The checks shared by the targets of the import, export and schema import
// formats: what one of our writers wrote, our own readers read.
#pragma once

#include <optional>
#include <string>
#include <string_view>

#include "core/utf8.hpp"
#include "fuzz_target.hpp"
#include "pipeline/compiler.hpp"
#include "pipeline/denorm.hpp"
#include "schema/schema_compiler.hpp"

namespace bezo::fuzz {

using TextRoad = Result<std::string> (*)(std::string_view);

// A refusal that is no finding on the way back: the readers take 512 levels
// below their root and the compiler 512 path segments with the key, so the
// deepest text one side writes the next may refuse by its own nesting
// limit; keys that the authored language cannot spell (NUL, CR, LF, the
// empty key) are refused by the importers whatever wrote them; and a key
// "<<" is a merge key to the YAML reader, however it is quoted; and a
// compiled table line whose path holds an apostrophe reads as a field line,
// so the schema compiler refuses such a section (the JSON Schema importer
// writes one for an array property named so); and the TOML library refuses
// a time with more than 64 fraction digits, which TOML allows and our
// exporter writes as given.
inline bool is_limit_refusal(const Error& error) {
    const std::string text = error_display(error);
    const auto holds = [&text](std::string_view word) { return text.find(word) != std::string::npos; };
    const bool table_read_as_field =
        (holds("missing = on .whezo line: /") || holds("bad constraint items: /")) && holds("\"");
    return (holds("nest") && holds("deep")) || holds("unrepresentable") || holds("YAML merge key") ||
           holds("fractional component exceeds maximum precision") || table_read_as_field;
}

// A result that must succeed unless a limit refused it; true when it
// succeeded.
template <class T>
bool check_ok_within_limits(const Result<T>& result, std::string_view what) {
    if (!result && is_limit_refusal(result.error())) return false;
    check_ok(result, what);
    return true;
}

// The canonical text of authored text, compiled and denormalized, which must
// succeed unless a limit refuses it.
inline std::optional<std::string> build_canonical(std::string_view authored) {
    Resolver resolver = offline_resolver();
    const auto relational = compile_document(authored, resolver);
    if (!check_ok_within_limits(relational, "imported text compiles")) return std::nullopt;
    auto canonical = denormalize_document(*relational, resolver);
    check_ok(canonical, "imported text denormalizes");
    return std::move(*canonical);
}

// An importer's output, when there is one, builds.
inline void check_import(std::string_view text, TextRoad importer) {
    const auto authored = importer(text);
    if (authored) (void)build_canonical(*authored);
}

// The module hands the exporters UTF-8 text only, and they take its strings
// to be UTF-8: other input is no input of theirs.
inline bool is_export_input(std::string_view canonical) { return is_valid_utf8(canonical); }

// What the exporter writes from a canonical text, the importer reads and its
// output builds; returns the canonical text built, or none when the export
// failed or a limit stopped the way back.
inline std::optional<std::string> check_export_reads_back(std::string_view canonical, TextRoad exporter,
                                                          TextRoad importer) {
    if (!is_export_input(canonical)) return std::nullopt;
    const auto exported = exporter(canonical);
    if (!exported) return std::nullopt;
    const auto authored = importer(*exported);
    if (!check_ok_within_limits(authored, "our importer reads what our exporter wrote")) return std::nullopt;
    return build_canonical(*authored);
}

// An imported schema compiles.
inline void check_schema_import(const Result<std::string>& authored) {
    if (!authored) return;
    Resolver resolver = offline_resolver();
    (void)check_ok_within_limits(compile_schema_text(*authored, resolver), "an imported schema compiles");
}

using RootedSchemaRoad = Result<std::string> (*)(std::string_view text, std::optional<std::string_view> root,
                                                 std::string_view name);

// A schema importer that may be told its root: the schema text, then after
// a NUL byte the root's name (none without a NUL).
inline void check_rooted_schema_import(std::string_view input, RootedSchemaRoad importer) {
    const auto [text, root] = split_at_nul(input);
    const bool named = text.size() < input.size();
    check_schema_import(importer(text, named ? std::optional(root) : std::nullopt, "fuzz"));
}

}  // namespace bezo::fuzz
