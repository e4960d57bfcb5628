#include "interchange/cbor_export.hpp"

#include <gtest/gtest.h>

#include <string>

#include "interchange/base64url.hpp"
#include "interchange/bytes_hex.hpp"

namespace bezo {
namespace {

TEST(CborHead, ShortestArgumentAtEachBoundary) {
    const std::pair<std::uint64_t, std::string> cases[] = {{23, "77"},
                                                           {24, "7818"},
                                                           {255, "78ff"},
                                                           {256, "790100"},
                                                           {65535, "79ffff"},
                                                           {65536, "7a00010000"},
                                                           {4294967295, "7affffffff"},
                                                           {4294967296, "7b0000000100000000"},
                                                           {UINT64_MAX, "7bffffffffffffffff"}};
    for (const auto& [argument, expected] : cases) {
        CborBytes out(0);
        cbor_write_head(3, argument, out);
        EXPECT_EQ(hex(out.view()), expected) << argument;
    }
}

// The buffer starts at each of these sizes and doubles, at least to what an
// append needs; what it holds is the same whatever it started at.
TEST(CborBytes, GrowsPastAnyStartingRoomKeepingEveryByte) {
    const std::string long_text(1'000, 'x');
    for (const std::size_t capacity :
         {std::size_t{0}, std::size_t{1}, std::size_t{9}, std::size_t{10}, std::size_t{4'096}}) {
        CborBytes out(capacity);
        std::string expected;
        EXPECT_EQ(out.view(), "") << capacity;
        for (int round = 0; round < 200; ++round) {
            out.push_back(static_cast<std::uint8_t>(round));
            expected += static_cast<char>(round);
            out.append_short({'a', 'b', 'c', 'd', 'e', 'f', 'g', 'h', 'i'}, static_cast<std::size_t>(round % 10));
            expected += std::string_view("abcdefghi").substr(0, static_cast<std::size_t>(round % 10));
            out.append(round % 50 == 0 ? std::string_view(long_text) : std::string_view());
            expected += round % 50 == 0 ? long_text : "";
        }
        EXPECT_EQ(out.view(), expected) << capacity;
    }
}

// The hexadecimal of a number's encoding, or the message that refuses it.
std::string encoded_number(std::string_view text) {
    CborBytes out(0);
    const auto written = encode_cbor_number(text, out);
    return written ? hex(out.view()) : written.error().other();
}

// Comments name what each row sits at the edge of.
TEST(CborNumber, ShortestExactFloat) {
    const std::pair<std::string, std::string> cases[] = {
        {"1.0", "f93c00"},
        {"0e5", "f90000"},
        {"65504.0", "f97bff"},                 // largest half
        {"65520.0", "fa477ff000"},             // one bit too many for a half
        {"6.103515625e-05", "f90400"},         // least normal half
        {"6.097555160522461e-05", "f903ff"},   // largest subnormal half
        {"5.960464477539063e-08", "f90001"},   // least subnormal half
        {"1.7881393432617188e-07", "f90003"},  // subnormal with two bits
        {"2.9802322387695312e-08", "fa33000000"},
        {"3.4028234663852886e38", "fa7f7fffff"},  // largest single
        {"3.4028235677973366e38", "fb47effffff0000000"},
        {"1e300", "fb7e37e43c8800759c"},
        {"-1e400", "CBOR cannot represent the float -1e400 (overflows f64)"},  // beyond the range
        {"-1e-400", "CBOR cannot represent the float -1e-400 (underflows f64)"},
        {"-0.0e-400", "f98000"},
        {"1.2.3", "bad number: 1.2.3"},
        {"-497.3", "fbc07f14cccccccccd"},  // short decimals: digits over a power of ten
        {"0.1", "fb3fb999999999999a"},
        {"5.", "f94500"},
        {".5", "f93800"},
        {"0.000000000000001", "fb3cd203af9ee75616"},
        {"12345678901234.5", "fb42a674e79c5fe500"},     // fifteen digits
        {"123456789012345.6", "fb42dc12218377de66"},    // sixteen: read in full
        {"0.30000000000000004", "fb3fd3333333333334"},  // seventeen
        {"-", "bad number: -"},
        {".", "bad number: ."}};
    for (const auto& [text, expected] : cases) EXPECT_EQ(encoded_number(text), expected) << text;
}

// Up to nineteen digits are read in one pass; longer ones by their digits,
// leading zeros included.
TEST(CborNumber, IntegersAtTheEdgesOfEachReading) {
    const std::pair<std::string, std::string> cases[] = {{"0", "00"},
                                                         {"-0", "00"},
                                                         {"-0000", "00"},
                                                         {"23", "17"},
                                                         {"-24", "37"},
                                                         {"-25", "3818"},
                                                         {"9999999999999999999", "1b8ac7230489e7ffff"},
                                                         {"-9999999999999999999", "3b8ac7230489e7fffe"},
                                                         {"18446744073709551615", "1bffffffffffffffff"},
                                                         {"-18446744073709551616", "3bffffffffffffffff"},
                                                         {"18446744073709551616", "c249010000000000000000"},
                                                         {"00000000000000000000001", "01"},
                                                         {"-00000000000000000000001", "20"},
                                                         {"-", "bad number: -"},
                                                         {"1-", "bad number: 1-"}};
    for (const auto& [text, expected] : cases) EXPECT_EQ(encoded_number(text), expected) << text;
}

// One scan tells the plain numbers read at once (an optional "-", digits and
// at most one ".") from those read in full; a text that stops being plain
// anywhere, even after its last digit, is read in full or refused.
TEST(CborNumber, PlainNumbersAndTheirNeighbours) {
    const std::pair<std::string, std::string> cases[] = {
        {"-.5", "f9b800"},
        {"12.", "f94a00"},
        {"-0.", "f98000"},
        {"0.000000000000000", "f90000"},              // fifteen zeros after the point
        {"1234567.89012345", "fb4132d687e3df2163"},   // fifteen digits around the point
        {"1234567.890123456", "fb4132d687e3df217d"},  // sixteen
        {"99999999999999.9", "fb42d6bcc41e8ffffa"},   // fifteen nines
        {"-999999999999999", "3b00038d7ea4c67ffe"},   // fifteen digits, no point
        {"1.5e3", "f965dc"},                          // an exponent after the point
        {"1.5.", "bad number: 1.5."},                 // a second point after the fraction
        {"1..5", "bad number: 1..5"},
        {"12a", "bad number: 12a"},
        {"-12 ", "bad number: -12 "},
        {"1-2", "bad number: 1-2"},
        {"9-", "bad number: 9-"},
        {"--1", "bad number: --1"},
        {"+1.5", "f93e00"},  // a plus sign is read in full
        {"1e400", "CBOR cannot represent the float 1e400 (overflows f64)"}};
    for (const auto& [text, expected] : cases) EXPECT_EQ(encoded_number(text), expected) << text;
}

// The CBOR of a document whose field "r" holds `json`, or the message that
// refuses it.
std::string exported_json(std::string_view json) {
    const auto written = export_cbor(".!nezo\n!std/enc/json'r=" + base64url_encode(json) + "\n");
    return written ? hex(written->view()) : written.error().other();
}

// The place is gathered as the failure goes back up through each holder:
// an item by its index, counting the items written before it, a member by
// its key, an empty key included.
TEST(CborExport, ARefusedFloatIsPlacedByTheKeysAndIndicesAboveIt) {
    const std::pair<std::string, std::string> cases[] = {
        {R"([{"a":1},{"b":[0.5,2,1e400]}])", "CBOR cannot represent the float 1e400 at r/1/b/2 (overflows f64)"},
        {R"([[],[[1.5,-1e400]]])", "CBOR cannot represent the float -1e400 at r/1/0/1 (overflows f64)"},
        {R"({"a":{"":[1e-400]}})", "CBOR cannot represent the float 1e-400 at r/a//0 (underflows f64)"},
        {R"({"":{"x":1e400}})", "CBOR cannot represent the float 1e400 at r//x (overflows f64)"},
        {R"({"":1e400})", "CBOR cannot represent the float 1e400 at r/ (overflows f64)"},
        {R"({"a":[1.5,2e-400],"b":1e400})", "CBOR cannot represent the float 2e-400 at r/a/1 (underflows f64)"}};
    for (const auto& [json, expected] : cases) EXPECT_EQ(exported_json(json), expected) << json;
}

// `inner` nested in `arrays` arrays below the root map's field, which is at
// depth 1: a container at depth 512 is written while it is empty, and
// anything in it is too deep.
TEST(CborExport, AContainerAtTheDeepestLevelIsWrittenOnlyEmpty) {
    constexpr std::string_view kTooDeep = "nesting too deep for CBOR export";
    const struct {
        std::size_t arrays;
        std::string inner;
        bool written;
    } cases[] = {{511, "[]", true},   {511, "{}", true},          {511, "1", true},   {510, "[[]]", true},
                 {511, "[1]", false}, {511, R"({"a":1})", false}, {512, "[]", false}, {511, "[[]]", false}};
    for (const auto& [arrays, inner, written] : cases) {
        const std::string json = std::string(arrays, '[') + inner + std::string(arrays, ']');
        const std::string result = exported_json(json);
        EXPECT_EQ(result == kTooDeep, !written) << arrays << " " << inner << ": " << result.substr(0, 40);
    }
}

TEST(CborNumber, ARefusedNumberIsQuotedAsAShortExcerpt) {
    const std::string digits(1'000'000, '1');
    for (const std::string& text : {digits + ".2.3", digits + "e400", digits + "e-400000000"}) {
        CborBytes out(0);
        const auto written = encode_cbor_number(text, out);
        ASSERT_FALSE(written);
        EXPECT_LT(written.error().other().size(), 200u) << written.error().other();
    }
}

}  // namespace
}  // namespace bezo
