// The one JSON parser of the system: strict JSON with 0-based byte positions
// in its messages, a nesting limit and no limit on sizes. Numbers are
// validated and held as their lexeme, never converted.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <variant>

#include "core/error.hpp"
#include "interchange/value.hpp"

namespace bezo {

// A position in a JSON text; messages count bytes from the start of `text`.
struct JsonCursor {
    std::string_view text;
    std::size_t pos = 0;
};

// One value read without building it. Composites are kept as the slice of
// text from the opening bracket to its matching closing bracket, already
// validated.
struct JsonSpan {
    struct Null {};
    struct Bool {
        bool value;
    };
    struct Number {
        std::string_view lexeme;
    };
    struct String {
        std::string text;
    };
    struct Raw {
        std::string_view slice;
    };
    std::variant<Null, Bool, Number, String, Raw> data;
};

// A value may stand inside at most this many containers.
inline constexpr unsigned kMaxJsonDepth = 512;

// One value, optionally surrounded by whitespace, built as a Value tree.
[[nodiscard]] Result<Value> parse_json_document(std::string_view text);

// Reads one value at `depth` (the document root is read at 0, every element
// and member value at its container's depth plus one) and leaves the cursor
// just after it.
[[nodiscard]] Result<JsonSpan> parse_json_value(JsonCursor& cursor, unsigned depth);

// Advances the cursor past one number lexeme starting at the cursor.
[[nodiscard]] Result<void> parse_json_number(JsonCursor& cursor);

// Reads the four hex digits after "\u".
[[nodiscard]] Result<std::uint16_t> read_hex4(JsonCursor& cursor);

[[nodiscard]] Result<Value> build_json_value(const JsonSpan& span);

}  // namespace bezo
