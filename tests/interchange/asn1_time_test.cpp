#include "interchange/asn1_time.hpp"

#include <gtest/gtest.h>

#include <string>

namespace bezo {
namespace {

TEST(DatetimeToken, ShapeFractionAndZone) {
    const std::array<std::string, 4> cases[] = {{"2026-07-03T21:00:00", "20260703210000", "", ""},
                                                {"2026-07-03 21:00:00.250+02:00", "20260703210000", ".250", "+0200"},
                                                {"2026-07-03t21:00:00.5z", "20260703210000", ".5", "Z"},
                                                {"2026-13-99T99:99:99-23:59", "20261399999999", "", "-2359"}};
    for (const auto& [text, digits, fraction, zone] : cases) {
        const auto token = parse_datetime_token(text);
        ASSERT_TRUE(token) << text;
        EXPECT_EQ(token->digits + "|" + token->fraction + "|" + token->zone, digits + "|" + fraction + "|" + zone);
    }
    for (const std::string text :
         {"2026-07-03T21:00:0", "2026-07-03X21:00:00", "2026/07/03T21:00:00", "2026-07-0aT21:00:00",
          "2026-07-03T21:00:00.Z", "2026-07-03T21:00:00+0200", "2026-07-03T21:00:00ZZ", "2026-07-03T21:00:00 Z"}) {
        EXPECT_EQ(parse_datetime_token(text).error(), Error::Other("malformed datetime token: " + text));
    }
}

TEST(ShiftToUtc, AcrossDayMonthYearAndLeapDayEnds) {
    const std::array<std::string, 3> cases[] = {
        {"20261231230000", "-0130", "20270101003000"},
        {"20270101003000", "+0130", "20261231230000"},
        {"20240228230000", "-0100", "20240229000000"},
        {"20230228230000", "-0100", "20230301000000"},
        {"20240301003059", "+0100", "20240229233059"},
        {"21000228230000", "-0100", "21000301000000"},
        {"20000228230000", "-0100", "20000229000000"},
        {"99991231225960", "-0100", "99991231235960"},
        {"20260703210000", "-0060", "bad zone offset in datetime: -0060"},
        {"20230229000000", "+0100", "malformed datetime token: t"},
        {"20260400000000", "+0100", "malformed datetime token: t"},
        {"20260431000000", "+0100", "malformed datetime token: t"},
        {"20260703240000", "+0100", "malformed datetime token: t"},
        {"20260703216000", "+0100", "malformed datetime token: t"},
        {"99991231230000", "-0100", "datetime out of range after the UTC shift"}};
    for (const auto& [digits, zone, expected] : cases) {
        const auto shifted = shift_to_utc(digits, zone, "t");
        EXPECT_EQ(shifted ? *shifted : shifted.error().other(), expected) << digits << zone;
    }
}

}  // namespace
}  // namespace bezo
