#include "schema_import/graphql_lexer.hpp"

#include <gtest/gtest.h>

#include <string>

namespace bezo {
namespace {

// The tokens of a text as "Name a", "Text -5", "Punct 45", ..., "Eof", or
// the error message; checks that Eof repeats.
std::string tokens(std::string_view text) {
    SdlCursor cursor{text};
    std::string out;
    for (;;) {
        auto token = next_sdl_token(cursor);
        if (!token) return out + "error: " + token.error().other();
        switch (token->kind) {
            case SdlTokenKind::Name: out += "Name " + std::string(token->text) + "|"; break;
            case SdlTokenKind::Text: out += "Text " + std::string(token->text) + "|"; break;
            case SdlTokenKind::Punct:
                out += "Punct " + std::to_string(static_cast<unsigned char>(token->punct)) + "|";
                break;
            case SdlTokenKind::Eof: EXPECT_EQ(next_sdl_token(cursor)->kind, SdlTokenKind::Eof); return out + "Eof";
        }
    }
}

TEST(SdlTokenizer, CutsNamesTextsAndPunctuation) {
    const std::pair<std::string_view, std::string_view> cases[] = {
        {"a,b", "Name a|Name b|Eof"},
        {"a#x,b", "Name a|Eof"},
        {"a # x\n\tb\r\n", "Name a|Name b|Eof"},
        {"-5", "Text -5|Eof"},
        {"- 5", "Punct 45|Text 5|Eof"},
        {"1.5e-3", "Text 1.5e-3|Eof"},
        {"3x:", "Text 3x|Punct 58|Eof"},
        {"\"a\\\"b\"", "Text a\\\"b|Eof"},
        {"\"\\\\\"x", "Text \\\\|Name x|Eof"},
        {"\"\"x", "Text |Name x|Eof"},
        {"\"\"\"  hello\n world \"\"\"", "Text hello\n world|Eof"},
        {"\"\"\"\xC2\xA0\xE3\x80\x80 a\xC2\xA0 b \xE3\x80\x80\"\"\"", "Text a\xC2\xA0 b|Eof"},
        {"\"\"\"\"\"\"", "Text |Eof"},
        {"\"\"\"abc", "error: unterminated block string"},
        {"x \"", "Name x|error: unterminated string literal"},
        {"\"ab\\\"", "error: unterminated string literal"},
        {"\xC3\xA9", "Punct 195|Punct 169|Eof"},
        {"...", "Punct 46|Punct 46|Punct 46|Eof"},
        {"", "Eof"},
    };
    for (const auto& [text, expected] : cases) EXPECT_EQ(tokens(text), expected) << text;
}

}  // namespace
}  // namespace bezo
