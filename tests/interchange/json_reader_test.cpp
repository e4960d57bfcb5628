#include "interchange/json_reader.hpp"

#include <gtest/gtest.h>

#include "interchange/json_writer.hpp"

namespace bezo {
namespace {

std::string failure_of(std::string_view text) {
    auto document = parse_json_document(text);
    if (document) return "accepted";
    return document.error().other();
}

std::string nested_arrays(std::size_t depth, std::string_view core) {
    return std::string(depth, '[') + std::string(core) + std::string(depth, ']');
}

struct FailureCase {
    std::string text;
    std::string message;
};

TEST(JsonReader, RefusesWithMessageAndBytePosition) {
    const FailureCase cases[] = {
        {"", "invalid JSON at byte 0"},
        {"   ", "invalid JSON at byte 3"},
        {"[1,]", "invalid JSON at byte 3"},
        {"[1 2]", "invalid JSON at byte 3"},
        {"[1", "invalid JSON at byte 2"},
        {R"({"a" 1})", "invalid JSON at byte 5"},
        {R"({"a":1,})", "invalid JSON at byte 7"},
        {R"({"a":1 "b":2})", "invalid JSON at byte 7"},
        {"{1:2}", "invalid JSON at byte 1"},
        {"x", "invalid JSON at byte 0"},
        {"01", "trailing content after JSON document"},
        {"{} x", "trailing content after JSON document"},
        {"-", "invalid JSON number at byte 0"},
        {" [ -x]", "invalid JSON number at byte 3"},
        {"1.", "invalid JSON number at byte 0"},
        {"1e", "invalid JSON number at byte 0"},
        {"1e+", "invalid JSON number at byte 0"},
        {"tru", "invalid JSON at byte 0"},
        {"[nul]", "invalid JSON at byte 1"},
        {"\"abc", "unterminated JSON string"},
        {"\"ab\\", "unterminated JSON escape"},
        {"\"a\tb\"", "unescaped control character in JSON string"},
        {"\"a long run of plain bytes\x1F\"", "unescaped control character in JSON string"},
        {"\"a long run\\n of plain bytes", "unterminated JSON string"},
        {"\"\\x\"", "invalid JSON escape"},
        {"\"\\u12\"  ", "invalid \\u escape"},
        {"\"\\u12", "truncated \\u escape"},
        {"\"\\u00\xC3\xA9\"", "invalid \\u escape"},
        {"\"\\u000\xC3\xA9\"", "truncated \\u escape"},
        {"\"\\u12g4\"", "invalid \\u escape"},
        {"\"\\ud83dx\"", "invalid JSON at byte 7"},
        {"\"\\ud83d\\u0041\"", "invalid JSON surrogate pair"},
        {"\"\\ude00\"", "lone JSON low surrogate"},
        {nested_arrays(513, "1"), "JSON nesting too deep"},
    };
    for (const auto& c : cases) EXPECT_EQ(failure_of(c.text), c.message) << c.text;
}

struct RoundTripCase {
    std::string text;
    std::string compact;
};

TEST(JsonReader, AcceptedDocumentsKeepLexemesOrderAndDuplicates) {
    const RoundTripCase cases[] = {
        {"  {}  ", "{}"},
        {"1E+2", "1E+2"},
        {"-0.0e-0", "-0.0e-0"},
        {"123456789012345678901234567890", "123456789012345678901234567890"},
        {R"({"a":1,"a":2})", R"({"a":1,"a":2})"},
        {" [ true , false , null ] ", "[true,false,null]"},
        {R"({ "b" : [ ] , "a" : { } })", R"({"b":[],"a":{}})"},
        {R"("\/\b\f\n\r\t\"\\")", R"("/\b\f\n\r\t\"\\")"},
        {"\"\\u00e9\x7F\xC3\xA9\"", "\"\xC3\xA9\x7F\xC3\xA9\""},
        {"\"\\ud83d\\ude00\"", "\"\xF0\x9F\x98\x80\""},
        {"\"\\u0000\"", "\"\\u0000\""},
        {R"(["a long run of plain bytes\n then more", "and one at the end\u0041"])",
         R"(["a long run of plain bytes\n then more","and one at the endA"])"},
        {nested_arrays(512, "1"), nested_arrays(512, "1")},
        {nested_arrays(513, ""), nested_arrays(513, "")},
    };
    for (const auto& c : cases) {
        auto document = parse_json_document(c.text);
        ASSERT_TRUE(document) << c.text << ": " << document.error().other();
        std::string written;
        write_json_value(*document, written);
        EXPECT_EQ(written, c.compact) << c.text;
    }
}

TEST(JsonReader, ValueReaderStopsAfterOneValue) {
    JsonCursor cursor{"truex"};
    auto span = parse_json_value(cursor, 0);
    ASSERT_TRUE(span);
    EXPECT_TRUE(std::holds_alternative<JsonSpan::Bool>(span->data));
    EXPECT_EQ(cursor.pos, 4u);

    JsonCursor composite{R"( {"a":[1,2]} , 3)"};
    auto raw = parse_json_value(composite, 0);
    ASSERT_TRUE(raw);
    EXPECT_EQ(std::get<JsonSpan::Raw>(raw->data).slice, R"({"a":[1,2]})");
    auto built = build_json_value(*raw);
    ASSERT_TRUE(built);
    std::string written;
    write_json_value(*built, written);
    EXPECT_EQ(written, R"({"a":[1,2]})");
}

TEST(JsonReader, DepthCountsFromTheCallersLevel) {
    JsonCursor scalar{"1"};
    EXPECT_TRUE(parse_json_value(scalar, kMaxJsonDepth));
    JsonCursor too_deep{"1"};
    auto refused = parse_json_value(too_deep, kMaxJsonDepth + 1);
    ASSERT_FALSE(refused);
    EXPECT_EQ(refused.error().other(), "JSON nesting too deep");
    JsonCursor array{"[1]"};
    EXPECT_FALSE(parse_json_value(array, kMaxJsonDepth));
}

TEST(JsonReader, NumberScanLeavesTheRestToTheCaller) {
    JsonCursor cursor{"01"};
    ASSERT_TRUE(parse_json_number(cursor));
    EXPECT_EQ(cursor.pos, 1u);
    EXPECT_FALSE(is_whole_json_number("01"));
    EXPECT_TRUE(is_whole_json_number("-0.5E+3"));
}

}  // namespace
}  // namespace bezo
