// The validation pass: a canonical text (kind nezo) checked against a
// compiled schema. The lines are read once; then come, in this order, the
// provenance of every line, the scan of the lines against the schema's
// fields in schema order (element tables element by element), the fields
// missing at the end, and the table rules (entry and element counts, key
// patterns, unique keys, references). The first violation is the verdict.
#pragma once

#include <cstdint>
#include <expected>
#include <map>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

#include "core/error.hpp"
#include "core/hash.hpp"
#include "schema/check.hpp"
#include "schema/compiled.hpp"
#include "schema/shape_check.hpp"

namespace bezo {

// The content lines of a canonical text in text order, each with its 1-based
// line number (skipped lines count too). The lines' type names, units and
// provenances are views of the parsed metadata held here, each distinct
// metadata text parsed once; their paths and values are views of the text.
// A move keeps the views valid, a copy would not, so there is none.
class CanonicalLines {
public:
    CanonicalLines() = default;
    CanonicalLines(CanonicalLines&&) = default;
    CanonicalLines& operator=(CanonicalLines&&) = default;
    CanonicalLines(const CanonicalLines&) = delete;
    CanonicalLines& operator=(const CanonicalLines&) = delete;

    std::span<const CanonicalLine> lines() const { return lines_; }
    std::size_t size() const { return lines_.size(); }
    const CanonicalLine& operator[](std::size_t i) const { return lines_[i]; }

private:
    friend Result<CanonicalLines> parse_canonical_lines(std::string_view text);

    struct Metadata {
        std::string type_name;
        std::optional<std::string> unit;
        std::optional<std::string> provenance;
    };

    std::vector<CanonicalLine> lines_;
    // By metadata text; the nodes stay in place, so views of them do too.
    std::unordered_map<std::string_view, Metadata, KeyedTextHash, std::equal_to<>> metadata_;
};

// Failures are Other errors naming the line.
Result<CanonicalLines> parse_canonical_lines(std::string_view text);

// Checks the canonical text against the schema.
[[nodiscard]] Verdict validate_stream(std::string_view text, const CompiledSchema& schema);

// The elements of one array table: by index, each mapping a field name to
// the value of its first line.
using ElementFields = std::unordered_map<std::string_view, std::string_view, KeyedTextHash, std::equal_to<>>;
using ElementTable = std::map<std::uint64_t, ElementFields>;

// The elements of each of the tables, read in one pass over the lines; the
// views point into the lines' text.
std::vector<ElementTable> build_reference_index(std::span<const CanonicalLine> lines,
                                                std::span<const std::string_view> tables);

}  // namespace bezo
