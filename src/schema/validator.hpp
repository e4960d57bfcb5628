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
#include <span>
#include <string_view>
#include <unordered_map>
#include <vector>

#include "core/error.hpp"
#include "core/hash.hpp"
#include "schema/check.hpp"
#include "schema/compiled.hpp"

namespace bezo {

// Pass, or the verdict of the first violation.
using Verdict = std::expected<void, AppErrorAt>;

// The content lines of a canonical text in text order, each with its 1-based
// line number (skipped lines count too). Each distinct metadata text is
// parsed once. Failures are Other errors naming the line.
[[nodiscard]] Result<std::vector<CanonicalLine>> parse_canonical_lines(std::string_view text);

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
