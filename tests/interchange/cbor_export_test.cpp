#include "interchange/cbor_export.hpp"

#include <gtest/gtest.h>

#include <string>

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
