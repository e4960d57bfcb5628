#include "lang/unit.hpp"

#include <gtest/gtest.h>

#include <span>

namespace bezo {
namespace {

UnitDef defined(std::string unit, std::string quantity) {
    return UnitDef{std::move(unit), std::move(quantity), std::nullopt, std::nullopt};
}

UnitDef alias(const UserUnits& units, const std::string& target) {
    UnitDef copy = clone_unit_def(units.at(target));
    copy.alias_of = target;
    return copy;
}

TEST(UnitExpression, CanonicalSpelling) {
    struct Case {
        std::string_view text;
        std::optional<std::string> canonical;
    };
    const Case cases[] = {
        {"m/s/s", "m/s^2"},
        {"kbps", "kb/s"},
        {"bps", "b/s"},
        {"m*N", "N*m"},
        {"s^-1*m", "m/s"},
        {"1/s", "1/s"},
        {"1^5/s", "1/s"},
        {"m/m", "1"},
        {"1", "1"},
        {"s*m*s", "m*s^2"},
        {"a/b*c", "a*c/b"},
        {"kg*m^2/s^2", "kg*m^2/s^2"},
        {"m^-2", "1/m^2"},
        {"foo*bar", "bar*foo"},
        {"~EUR/h", "~EUR/h"},
        {"~EUR*h", "h*~EUR"},
        {"kB", "kB"},
        {"KiB", "KiB"},
        {"Kib", "Kib"},
        {"kbps*s", "kbps*s"},
        {"", std::nullopt},
        {"m^0", std::nullopt},
        {"m^-0", std::nullopt},
        {"m^+2", std::nullopt},
        {"m^2^3", std::nullopt},
        {"m^", std::nullopt},
        {"m2", std::nullopt},
        {"/s", std::nullopt},
        {"m/", std::nullopt},
        {"m s", std::nullopt},
        {"(m)", std::nullopt},
        {"KB", std::nullopt},
        {"Kb", std::nullopt},
        {"~", std::nullopt},
        {"~EU", std::nullopt},
        {"~eur", std::nullopt},
        {"~EURO", std::nullopt},
        {"12", std::nullopt},
        {"m^99999999999999999999", std::nullopt},
        {"m^9223372036854775807*m", std::nullopt},
        {"m^-9223372036854775807", "1/m^9223372036854775807"},
        {"m^-9223372036854775808", std::nullopt},  // its digits alone overflow
        {"m^-9223372036854775807/m^2", std::nullopt},
        {"Tbps^1", "Tb/s"},  // a merge that leaves an alias whole
    };
    for (const auto& c : cases) {
        EXPECT_EQ(canonical_unit_text(c.text), c.canonical) << c.text;
    }
}

TEST(UnitExpression, ZeroSumsStayInTheMap) {
    auto expr = parse_unit_expression("m/m*s");
    ASSERT_TRUE(expr);
    EXPECT_EQ(expr->terms, (std::map<std::string, std::int64_t, std::less<>>{{"m", 0}, {"s", 1}}));
}

TEST(KnownUnits, BuiltinsPrefixesAndUserNames) {
    struct Case {
        std::string_view text;
        bool known;
    };
    const Case cases[] = {
        {"kbps", true},  {"dam", true},   {"MPa", true},     {"uF", true},      {"GiB", true},    {"nmi", true},
        {"mm", true},    {"ms", true},    {"cd", true},      {"kat", true},     {"kg", true},     {"mg", true},
        {"PB", true},    {"Tib", true},   {"kWb", true},     {"~EUR", true},    {"1", true},      {"m/s^2", true},
        {"mkg", false},  {"kmin", false}, {"mb", false},     {"Mt", false},     {"KiKib", false}, {"foot", false},
        {"kKiB", false}, {"dakg", false}, {"kbps*s", false}, {"m*foot", false}, {"~EU", false},   {"", false},
    };
    const UnitNames none;
    for (const auto& c : cases) {
        EXPECT_EQ(is_known_unit(c.text, none), c.known) << c.text;
    }
    EXPECT_TRUE(is_known_unit("foot/s", UnitNames{"foot"}));
    EXPECT_TRUE(is_known_unit("foot/s", UserUnits{{"foot", defined("m", "0.3048")}}));
    EXPECT_FALSE(is_builtin_unit_symbol("~EUR"));
    EXPECT_FALSE(is_builtin_unit_symbol("1"));
}

TEST(ConvertQuantity, ExactResults) {
    struct Case {
        std::string_view value;
        std::string_view from;
        std::string_view to;
        std::string result;
    };
    const Case cases[] = {
        {"1.50", "m", "m", "1.5"},
        {"1.5", "km", "m", "1500"},
        {"1", "in", "cm", "2.54"},
        {"1", "L", "m^3", "0.001"},
        {"1", "KiB", "b", "8192"},
        {"1", "kB", "B", "1000"},
        {"2", "h", "min", "120"},
        {"-3", "km", "m", "-3000"},
        {"0", "m", "mm", "0"},
        {"-0", "m", "mm", "0"},
        {"0e-5000", "m", "km", "0"},
        {"0e2147483647", "km", "mm", "0"},
        {"3", "rad", "1", "3"},
        {"1", "m/s", "km/h", "3.6"},
        {"90", "km/h", "m/s", "25"},
        {"1", "ft", "in", "12"},
        {"1", "lb", "g", "453.59237"},
        {"1", "Hz", "Bq", "1"},
        {"1", "MiB", "kB", "1048.576"},
        {"1", "mi", "km", "1.609344"},
        {"1", "dam", "m", "10"},
        {"1", "kb/s", "b/s", "1000"},
        {"1", "J", "N*m", "1"},
        {"1", "m/s/s", "m/s^2", "1"},
        {"1", "1/m^2", "1/cm^2", "0.0001"},
        {"1e4000", "mm", "m", "1" + std::string(3997, '0')},
        {"1000e4094", "m", "m", "1" + std::string(4097, '0')},
        // Intermediate products beyond 128 bits, exact results that fit.
        {"718.2849", "b", "GiB", "0.0000000836193677969276905059814453125"},
        {"-718.2849", "b", "GiB", "-0.0000000836193677969276905059814453125"},
        {"123456789", "kB", "GiB", "114.978094585239887237548828125"},
        {"12000000000000000000000000000000000000", "in", "ft", "1" + std::string(36, '0')},
        {"1", "b", "PiB", "0.00000000000000011102230246251565404236316680908203125"},
        {"15", "b", "PiB", "0.00000000000000166533453693773481063544750213623046875"},
        {"10633823966279326983230456482242756608", "B", "b", "85070591730234615865843651857942052864"},
        {"170141183460469231731687303715884105727", "m", "m", "170141183460469231731687303715884105727"},
        {"100000000000000000000000000000000000000e-3", "m", "km", "1" + std::string(32, '0')},
    };
    const UserUnits none;
    for (const auto& c : cases) {
        auto converted = convert_quantity(c.value, c.from, c.to, none);
        ASSERT_TRUE(converted) << c.value << " " << c.from << " -> " << c.to;
        EXPECT_EQ(*converted, c.result) << c.value << " " << c.from << " -> " << c.to;
    }
}

TEST(ConvertQuantity, Failures) {
    struct Case {
        std::string_view value;
        std::string_view from;
        std::string_view to;
        ConversionFailure failure;
    };
    const Case cases[] = {
        {"1", "m", "s", ConversionFailure::Incompatible},
        {"1", "m", "foot", ConversionFailure::Incompatible},
        {"abc", "m", "km", ConversionFailure::Incompatible},
        {"1", "~EUR", "~EUR", ConversionFailure::Incompatible},
        {"1", "kbps", "b/s", ConversionFailure::Incompatible},
        {"1", "m", "ft", ConversionFailure::Inexact},
        {"1", "min", "d", ConversionFailure::Inexact},
        {"1e5000", "m", "m", ConversionFailure::Inexact},
        {"1e4091", "km", "mm", ConversionFailure::Inexact},
        {"170141183460469231731687303715884105727", "ft", "in", ConversionFailure::Inexact},
        {"1", "Ym^99", "ym^99", ConversionFailure::Inexact},
        {"20", "s", "min", ConversionFailure::Inexact},
        {"-1", "m", "in", ConversionFailure::Inexact},
        // Exact, but the digits do not fit 127 bits.
        {"31", "b", "PiB", ConversionFailure::Inexact},
        {"21267647932558653966460912964485513216", "B", "b", ConversionFailure::Inexact},
        // Decimals the type cannot hold, and texts that are no decimal.
        {"1111111111111111111111111111111111111111", "km", "m", ConversionFailure::Inexact},
        {"-1.000000000000000000000000000000000000001", "km", "m", ConversionFailure::Inexact},
        {"1e99999999999", "km", "m", ConversionFailure::Inexact},
        {"1e2147483647", "km", "m", ConversionFailure::Inexact},
        {"+1", "km", "m", ConversionFailure::Incompatible},
        {"1_000", "km", "m", ConversionFailure::Incompatible},
        {"1e", "km", "m", ConversionFailure::Incompatible},
        {"", "km", "m", ConversionFailure::Incompatible},
    };
    const UserUnits none;
    for (const auto& c : cases) {
        auto converted = convert_quantity(c.value, c.from, c.to, none);
        ASSERT_FALSE(converted) << c.value << " " << c.from << " -> " << c.to << " gave " << *converted;
        EXPECT_EQ(converted.error(), c.failure) << c.value << " " << c.from << " -> " << c.to;
    }
}

struct ConversionCase {
    std::string_view value;
    std::string_view from;
    std::string_view to;
    std::expected<std::string, ConversionFailure> result;
};

void expect_conversions(std::span<const ConversionCase> cases, const UserUnits& units) {
    for (const auto& c : cases) {
        EXPECT_EQ(convert_quantity(c.value, c.from, c.to, units), c.result)
            << c.value << " " << c.from << " -> " << c.to;
    }
}

TEST(UserUnits, DefinitionsAliasesAndSizelessUnits) {
    UserUnits units;
    units["foot"] = defined("m", "0.3048");
    units["ft"] = alias(units, "foot");
    units["percent"] = defined("1", "0.01");
    units["EUR"] = UnitDef{"$", std::nullopt, "rates", std::nullopt};
    units["link"] = defined("1000 kbps", "1");
    units["mbit"] = defined("kbps", "1000");
    units["zero"] = defined("m", "0");
    units["negative"] = defined("m", "-2");
    units["spaced"] = defined("m", " 2 ");

    using Failure = std::unexpected<ConversionFailure>;
    const ConversionCase cases[] = {
        {"10", "foot", "in", "120"},
        {"10", "ft", "foot", "10"},
        {"50", "percent", "1", "0.5"},
        {"2", "mbit", "kb/s", "2000"},
        {"1", "mbit/s", "b/s^2", "1000000"},
        {"3", "spaced", "m", "6"},
        {"1", "EUR", "EUR", Failure(ConversionFailure::Incompatible)},
        {"1", "link", "b/s", Failure(ConversionFailure::Incompatible)},
        {"1", "zero", "m", Failure(ConversionFailure::Incompatible)},
        {"1", "negative", "m", Failure(ConversionFailure::Incompatible)},
        {"1", "missing", "m", Failure(ConversionFailure::Incompatible)},
    };
    expect_conversions(cases, units);
    EXPECT_TRUE(is_known_unit("EUR*foot", units));
}

// Factors of 5 and of other primes in both units' scales cancel before any
// product is formed, and a quotient may need more than 64 fraction digits.
TEST(UserUnits, FactorsCancelAcrossBothUnits) {
    UserUnits units;
    units["quint"] = defined("m", "5");
    units["tri"] = defined("m", "3");
    units["sev"] = defined("m", "7");
    units["big"] = defined("m", "170141183460469231731687303715884105727");
    using Failure = std::unexpected<ConversionFailure>;
    const ConversionCase cases[] = {
        {"1", "m^55/quint^54", "quint^54/m^53", "0." + std::string(75, '0') + "324518553658426726783156020576256"},
        {"3", "m", "tri", "1"},
        {"1", "tri^40/m^39", "tri^40/m^39", "1"},
        {"1", "m^41/tri^40", "tri^40/m^39", Failure(ConversionFailure::Inexact)},
        {"170141183460469231731687303715884105727", "m", "big", "1"},
        {"2", "big", "big", "2"},
        {"2", "big", "m", Failure(ConversionFailure::Inexact)},
        {"147808829414345923316083210206383297601", "m^41/tri^40", "tri^40/m^39", "1"},
        // A factor of 3^40 x 7^40 between the units fits no 128 bits.
        {"0", "m^41/tri^40", "sev^40/m^39", Failure(ConversionFailure::Inexact)},
    };
    expect_conversions(cases, units);
}

// xa is defined through xb, xb through xc, ..., the last one through "m".
UserUnits unit_chain(int length) {
    UserUnits units;
    for (int i = 0; i < length; ++i) {
        std::string next = i + 1 == length ? "m" : "x" + std::string(1, static_cast<char>('a' + i + 1));
        units["x" + std::string(1, static_cast<char>('a' + i))] = defined(next, "2");
    }
    return units;
}

TEST(UserUnits, NestingIsBounded) {
    EXPECT_EQ(convert_quantity("1", "xa", "m", unit_chain(8)), "256");
    EXPECT_EQ(convert_quantity("1", "xa", "m", unit_chain(9)), std::unexpected(ConversionFailure::Incompatible));

    UserUnits cycle{{"qa", defined("qb", "1")}, {"qb", defined("qa", "1")}};
    EXPECT_FALSE(resolve_unit("qa", cycle));
    EXPECT_FALSE(unit_expression_scale("qa", cycle));
}

// Eight levels of sixteen units, each unit defined through all sixteen of the
// level below (alternately multiplied and divided) and the lowest level through
// "m": every unit is resolved once per depth, not once per path through the
// levels (sixteen to the eighth power).
TEST(UserUnits, WideNestingResolvesEachUnitOnce) {
    constexpr int kLevels = 8;
    constexpr int kWidth = 16;
    auto name = [](int level, int index) {
        return std::string{'q', static_cast<char>('a' + level), static_cast<char>('a' + index)};
    };
    UserUnits units;
    for (int level = kLevels - 1; level >= 0; --level) {
        for (int index = 0; index < kWidth; ++index) {
            std::string expression = level + 1 == kLevels ? "m" : "";
            for (int below = 0; level + 1 < kLevels && below < kWidth; ++below) {
                expression += (below == 0 ? "" : below % 2 == 1 ? "/" : "*") + name(level + 1, below);
            }
            units[name(level, index)] = defined(expression, "1e1");
        }
    }
    EXPECT_EQ(convert_quantity("3", "qaa", "1", units), "30");
    EXPECT_EQ(convert_quantity("3", "qaa*qha", "m", units), "300");
}

TEST(UserUnits, AliasHopsAreBounded) {
    UserUnits units;
    units["base"] = defined("m", "3");
    std::string previous = "base";
    for (int i = 0; i < 9; ++i) {
        std::string name = "al" + std::string(1, static_cast<char>('a' + i));
        units[name] = alias(units, previous);
        previous = name;
    }
    // Aliases carry a copy of their target, so a chain longer than the hop
    // limit still finds a sized definition.
    EXPECT_EQ(convert_quantity("1", previous, "m", units), "3");
    units["dangling"] = UnitDef{"m", "1", std::nullopt, "gone"};
    EXPECT_EQ(convert_quantity("1", "dangling", "m", units), std::unexpected(ConversionFailure::Incompatible));
}

TEST(UnitResolution, DimensionsAndScales) {
    const UserUnits none;
    auto dimension = [&](std::string_view text) {
        auto resolved = resolve_unit(text, none);
        return resolved ? merge_unit_terms(*resolved) : std::string("none");
    };
    EXPECT_EQ(dimension("N"), "kg*m/s^2");
    EXPECT_EQ(dimension("ohm"), "kg*m^2/A^2/s^3");
    EXPECT_EQ(dimension("F*V"), "A*s");
    EXPECT_EQ(dimension("GiB/h"), "b/s");
    EXPECT_EQ(dimension("sr"), "1");
    EXPECT_EQ(dimension("m/m"), "1");
    EXPECT_EQ(dimension("m^2147483648"), "none");
    EXPECT_EQ(dimension("m*nope^0"), "none");

    EXPECT_EQ(unit_expression_scale("km/h", none), (UnitScale{1, 3600, 3}));
    EXPECT_EQ(unit_expression_scale("GiB", none), (UnitScale{8LL * 1024 * 1024 * 1024, 1, 0}));
    EXPECT_EQ(unit_expression_scale("mg", none), (UnitScale{1, 1, -6}));
    EXPECT_EQ(unit_expression_scale("m^4294967296", none), std::nullopt);
    EXPECT_EQ(unit_expression_scale("h^20", none), std::nullopt);
}

TEST(SubstituteUnitSymbols, ReplacesAliasesOnly) {
    const UnitAliasTable table{{"ft", "foot"}, {"pct", "percent"}, {"kbit", "kb"}};
    struct Case {
        std::string_view text;
        std::optional<std::string> result;
    };
    const Case cases[] = {
        {"ft/s", "foot/s"}, {"pct", "percent"},    {"ft*foot", "foot^2"},  {"ft/foot", "1"},
        {"kbit/s", "kb/s"}, {"m/s", std::nullopt}, {"kbps", std::nullopt}, {"ft s", std::nullopt},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(substitute_unit_symbols(c.text, table), c.result) << c.text;
    }
}

TEST(QuantityLines, DimensionLineGrammar) {
    struct Case {
        std::string_view line;
        std::optional<QuantityLine> parsed;
    };
    const Case cases[] = {
        {"m 0.3048", QuantityLine{"m", "0.3048", std::nullopt}},
        {"km 1.5", QuantityLine{"km", "1.5", std::nullopt}},
        {"\tkg*m/s/s \t 2e-3 ", QuantityLine{"kg*m/s/s", "2e-3", std::nullopt}},
        {"1 0.01", QuantityLine{"1", "0.01", std::nullopt}},
        {"kbps 1E+3", QuantityLine{"kbps", "1E+3", std::nullopt}},
        {"$", QuantityLine{"$", std::nullopt, std::nullopt}},
        {"$ @rates", QuantityLine{"$", std::nullopt, "rates"}},
        {"$ @", std::nullopt},
        {"$ rates", std::nullopt},
        {"$ @a b", std::nullopt},
        {"km -1.5", std::nullopt},
        {"km 1.", std::nullopt},
        {"km .5", std::nullopt},
        {"km 1e", std::nullopt},
        {"km 1.5 x", std::nullopt},
        {"km", std::nullopt},
        {"km @x", std::nullopt},
        {"m/ 1", std::nullopt},
        {"", std::nullopt},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(parse_quantity_line(c.line), c.parsed) << c.line;
    }
}

}  // namespace
}  // namespace bezo
