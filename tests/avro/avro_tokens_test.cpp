#include "avro/avro_tokens.hpp"

#include <gtest/gtest.h>

#include <chrono>
#include <string>

namespace bezo {
namespace {

TEST(AvroTokens, DecimalTokens) {
    const std::pair<std::string, std::optional<DecimalToken>> cases[] = {
        {"1.10", DecimalToken{false, "11", 1}},
        {"0012.50", DecimalToken{false, "125", 1}},
        {"1e2", DecimalToken{false, "100", 0}},
        {"1.5e-3", DecimalToken{false, "15", 4}},
        {"-0.0", DecimalToken{false, "0", 0}},
        {"-0.00", DecimalToken{false, "0", 0}},
        {"-12.5E++1", DecimalToken{true, "125", 0}},
        {"0e-999999999999", DecimalToken{false, "0", 0}},
        {"1e1000", DecimalToken{false, "1" + std::string(1000, '0'), 0}},
        {"1e-1000", DecimalToken{false, "1", 1000}},
        {"1e1001", std::nullopt},   // more than 1,000 zeros
        {"1e-1001", std::nullopt},  // a scale over 1,000
        {"1e999999999999", std::nullopt},
        {"1e-9223372036854775808", std::nullopt},
        {"1e9223372036854775808", std::nullopt},
        {"+5", std::nullopt},
        {".", std::nullopt},
        {"", std::nullopt},
        {"-", std::nullopt},
        {"1e", std::nullopt},
        {"1.2.3", std::nullopt},
    };
    for (const auto& [text, token] : cases) EXPECT_EQ(parse_decimal_token(text), token) << text;
}

TEST(AvroTokens, DoubleExactness) {
    for (const std::string text : {"0.1", "2.5", "1e5", "1.10", "-0.0", "1e300", "9007199254740992"}) {
        EXPECT_TRUE(is_double_exact(text)) << text;
    }
    for (const std::string text : {"3.14159265358979323846", "9007199254740993", "1e400", "1e-400"}) {
        EXPECT_FALSE(is_double_exact(text)) << text;
    }
}

TEST(AvroTokens, DatesTimesAndDatetimes) {
    struct Case {
        std::string text;
        Result<std::int64_t> value;
    };
    const auto failure = [](std::string message) { return fail(std::move(message)); };
    const Case dates[] = {
        {"2024-02-29", 19782},
        {"1970-01-01", 0},
        {"1969-12-31", -1},
        {"+970-+1-01", -365242},
        {"2024-02-30", failure("invalid date token: 2024-02-30")},
        {"2023-02-29", failure("invalid date token: 2023-02-29")},
        {"2024-04-31", failure("invalid date token: 2024-04-31")},
        {"2024-13-01", failure("invalid date token: 2024-13-01")},
        {"2024-00-10", failure("invalid date token: 2024-00-10")},
        {"2024-1-010", failure("invalid date token: 2024-1-010")},
    };
    for (const auto& [text, value] : dates) EXPECT_EQ(parse_date_token(text), value) << text;
    const Case times[] = {
        {"12:00:00.1234560", 43'200'123'456},
        {"12:00:00.", 43'200'000'000},
        {"12:00:00.5", 43'200'500'000},
        {"23:59:59", 86'399'000'000},
        {"12:00:00.1234567",
         failure("sub-microsecond fraction cannot ride an Avro time logical type: 12:00:00.1234567")},
        {"24:00:00", failure("invalid time token: 24:00:00")},
        {"12:60:00", failure("invalid time token: 12:60:00")},
        {"12:00:00.5x", failure("invalid time token: 12:00:00.5x")},
        {"12:00", failure("invalid time token: 12:00")},
    };
    for (const auto& [text, value] : times) EXPECT_EQ(parse_time_token(text), value) << text;
    const std::tuple<std::string, DatetimeZone, Result<std::int64_t>> datetimes[] = {
        {"1970-01-02T00:00:00+01:00", DatetimeZone::Offset, 82'800'000'000},
        {"1970-01-01T00:00:00-00:30", DatetimeZone::Offset, 1'800'000'000},
        {"1970-01-01T00:00:00Z", DatetimeZone::Offset, 0},
        {"1970-01-01 00:00:01z", DatetimeZone::Offset, 1'000'000},
        {"1970-01-01T00:00:00", DatetimeZone::Offset, failure("invalid datetime token: 1970-01-01T00:00:00")},
        {"1970-01-01T00:00:00", DatetimeZone::Local, 0},
        {"1970-01-01T00:00:00+24:00", DatetimeZone::Offset,
         failure("invalid datetime token: 1970-01-01T00:00:00+24:00")},
        {"1970-01-01X00:00:00Z", DatetimeZone::Offset, failure("invalid datetime token: 1970-01-01X00:00:00Z")},
        {"1970-02-30T00:00:00Z", DatetimeZone::Offset, failure("invalid date token: 1970-02-30")},
        {"1970-01-01T25:00:00Z", DatetimeZone::Offset, failure("invalid time token: 25:00:00")},
    };
    for (const auto& [text, zone, value] : datetimes) EXPECT_EQ(parse_avro_datetime_token(text, zone), value) << text;
}

}  // namespace
}  // namespace bezo
