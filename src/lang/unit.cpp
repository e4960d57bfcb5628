#include "lang/unit.hpp"

#include <algorithm>
#include <array>
#include <limits>
#include <span>
#include <utility>
#include <vector>

#include "core/error.hpp"
#include "core/text.hpp"

namespace bezo {

namespace {

// Nested user definitions and alias hops followed before giving up.
constexpr int kMaxUnitDepth = 8;
constexpr int kMaxAliasHops = 8;
// Largest magnitude of the power of ten of a converted value.
constexpr std::int64_t kMaxResultExponent = 4096;

struct BaseTerm {
    std::string_view symbol;
    std::int8_t exponent = 0;
};

// One unprefixed built-in unit: its dimension over the base symbols (unused
// slots have an empty symbol) and its exact scale, mantissa x 10^exponent.
struct BuiltinUnit {
    std::string_view symbol;
    std::array<BaseTerm, 4> dimension;
    std::int64_t scale_mantissa;
    std::int32_t scale_exponent;
    bool prefixable;
};

constexpr BuiltinUnit kBuiltinUnits[] = {
    {"m", {{{"m", 1}}}, 1, 0, true},
    {"g", {{{"kg", 1}}}, 1, -3, true},
    {"kg", {{{"kg", 1}}}, 1, 0, false},
    {"s", {{{"s", 1}}}, 1, 0, true},
    {"A", {{{"A", 1}}}, 1, 0, true},
    {"K", {{{"K", 1}}}, 1, 0, true},
    {"mol", {{{"mol", 1}}}, 1, 0, true},
    {"cd", {{{"cd", 1}}}, 1, 0, true},
    {"rad", {}, 1, 0, true},
    {"sr", {}, 1, 0, true},
    {"Hz", {{{"s", -1}}}, 1, 0, true},
    {"N", {{{"kg", 1}, {"m", 1}, {"s", -2}}}, 1, 0, true},
    {"Pa", {{{"kg", 1}, {"m", -1}, {"s", -2}}}, 1, 0, true},
    {"J", {{{"kg", 1}, {"m", 2}, {"s", -2}}}, 1, 0, true},
    {"W", {{{"kg", 1}, {"m", 2}, {"s", -3}}}, 1, 0, true},
    {"C", {{{"A", 1}, {"s", 1}}}, 1, 0, true},
    {"V", {{{"kg", 1}, {"m", 2}, {"A", -1}, {"s", -3}}}, 1, 0, true},
    {"F", {{{"A", 2}, {"s", 4}, {"kg", -1}, {"m", -2}}}, 1, 0, true},
    {"ohm", {{{"kg", 1}, {"m", 2}, {"A", -2}, {"s", -3}}}, 1, 0, true},
    {"S", {{{"A", 2}, {"s", 3}, {"kg", -1}, {"m", -2}}}, 1, 0, true},
    {"Wb", {{{"kg", 1}, {"m", 2}, {"A", -1}, {"s", -2}}}, 1, 0, true},
    {"T", {{{"kg", 1}, {"A", -1}, {"s", -2}}}, 1, 0, true},
    {"H", {{{"kg", 1}, {"m", 2}, {"A", -2}, {"s", -2}}}, 1, 0, true},
    {"lm", {{{"cd", 1}}}, 1, 0, true},
    {"lx", {{{"cd", 1}, {"m", -2}}}, 1, 0, true},
    {"Bq", {{{"s", -1}}}, 1, 0, true},
    {"Gy", {{{"m", 2}, {"s", -2}}}, 1, 0, true},
    {"Sv", {{{"m", 2}, {"s", -2}}}, 1, 0, true},
    {"kat", {{{"mol", 1}, {"s", -1}}}, 1, 0, true},
    {"L", {{{"m", 3}}}, 1, -3, true},
    {"min", {{{"s", 1}}}, 60, 0, false},
    {"h", {{{"s", 1}}}, 3600, 0, false},
    {"d", {{{"s", 1}}}, 86400, 0, false},
    {"t", {{{"kg", 1}}}, 1000, 0, false},
    {"in", {{{"m", 1}}}, 254, -4, false},
    {"ft", {{{"m", 1}}}, 3048, -4, false},
    {"yd", {{{"m", 1}}}, 9144, -4, false},
    {"mi", {{{"m", 1}}}, 1609344, -3, false},
    {"nmi", {{{"m", 1}}}, 1852, 0, false},
    {"lb", {{{"kg", 1}}}, 45359237, -8, false},
    {"oz", {{{"kg", 1}}}, 28349523125, -12, false},
    {"gal", {{{"m", 3}}}, 3785411784, -12, false},
    {"b", {{{"b", 1}}}, 1, 0, false},
    {"B", {{{"b", 1}}}, 8, 0, false},
};

struct SiPrefix {
    std::string_view text;
    std::int32_t power;
};

// In the order they are tried: "da" before "d".
constexpr SiPrefix kSiPrefixes[] = {
    {"da", 1}, {"Y", 24}, {"Z", 21}, {"E", 18}, {"P", 15}, {"T", 12},  {"G", 9},   {"M", 6},   {"k", 3},   {"h", 2},
    {"d", -1}, {"c", -2}, {"m", -3}, {"u", -6}, {"n", -9}, {"p", -12}, {"f", -15}, {"a", -18}, {"z", -21}, {"y", -24},
};

// Information-unit prefixes: a power of ten or a power of 1024.
struct InformationPrefix {
    std::string_view text;
    std::int32_t decimal_power;
    int binary_power;
};

constexpr InformationPrefix kInformationPrefixes[] = {
    {"k", 3, 0},  {"M", 6, 0},  {"G", 9, 0},  {"T", 12, 0}, {"P", 15, 0},
    {"Ki", 0, 1}, {"Mi", 0, 2}, {"Gi", 0, 3}, {"Ti", 0, 4}, {"Pi", 0, 5},
};

struct DataRateAlias {
    std::string_view alias;
    std::string_view unit;
};

constexpr DataRateAlias kDataRateAliases[] = {
    {"bps", "b/s"}, {"kbps", "kb/s"}, {"Mbps", "Mb/s"}, {"Gbps", "Gb/s"}, {"Tbps", "Tb/s"},
};

const BuiltinUnit* find_unprefixed(std::string_view symbol) {
    for (const BuiltinUnit& unit : kBuiltinUnits) {
        if (unit.symbol == symbol) {
            return &unit;
        }
    }
    return nullptr;
}

// What a built-in symbol stands for: a table unit times 10^power times
// `factor` (the 1024^n of a binary information prefix).
struct BuiltinMeaning {
    const BuiltinUnit* unit = nullptr;
    std::int32_t power = 0;
    Int128 factor = 1;
};

std::optional<BuiltinMeaning> find_si_prefixed(std::string_view symbol) {
    for (const SiPrefix& prefix : kSiPrefixes) {
        if (!symbol.starts_with(prefix.text)) {
            continue;
        }
        const BuiltinUnit* unit = find_unprefixed(symbol.substr(prefix.text.size()));
        if (unit != nullptr && unit->prefixable) {
            return BuiltinMeaning{unit, prefix.power, 1};
        }
    }
    return std::nullopt;
}

std::optional<BuiltinMeaning> find_information_unit(std::string_view symbol) {
    if (symbol.size() < 2 || symbol.size() > 3 || !(symbol.back() == 'b' || symbol.back() == 'B')) {
        return std::nullopt;
    }
    std::string_view prefix_text = symbol.substr(0, symbol.size() - 1);
    for (const InformationPrefix& prefix : kInformationPrefixes) {
        if (prefix.text == prefix_text) {
            Int128 factor = 1;
            for (int i = 0; i < prefix.binary_power; ++i) {
                factor *= 1024;
            }
            return BuiltinMeaning{find_unprefixed(symbol.substr(prefix_text.size())), prefix.decimal_power, factor};
        }
    }
    return std::nullopt;
}

std::optional<BuiltinMeaning> find_builtin(std::string_view symbol) {
    if (symbol.starts_with('~')) {
        return std::nullopt;
    }
    if (const BuiltinUnit* unit = find_unprefixed(symbol)) {
        return BuiltinMeaning{unit, 0, 1};
    }
    if (auto meaning = find_information_unit(symbol)) {
        return meaning;
    }
    return find_si_prefixed(symbol);
}

// The definition a user symbol finally stands for, following at most
// kMaxAliasHops aliases; null when a name is missing or the unit has no size.
const UnitDef* find_sized_user_unit(std::string_view symbol, const UserUnits& units) {
    auto found = units.find(symbol);
    for (int hops = 0; found != units.end() && found->second.alias_of && hops < kMaxAliasHops; ++hops) {
        found = units.find(*found->second.alias_of);
    }
    if (found == units.end() || !found->second.quantity) {
        return nullptr;
    }
    return &found->second;
}

bool add_exponent(std::int64_t& entry, std::int64_t exponent) {
    return !__builtin_add_overflow(entry, exponent, &entry);
}

bool is_currency_code(std::string_view symbol) {
    return symbol.size() == 4 && symbol.front() == '~' && std::ranges::all_of(symbol.substr(1), is_ascii_upper);
}

// The symbol of the term starting at `pos`, which is moved past it.
std::optional<std::string_view> read_symbol(std::string_view text, std::size_t& pos) {
    std::size_t start = pos;
    if (text[pos] == '1') {
        ++pos;
        return text.substr(start, 1);
    }
    if (text[pos] == '~') {
        ++pos;
    }
    std::size_t letters = pos;
    while (pos < text.size() && is_ascii_letter(text[pos])) {
        ++pos;
    }
    if (pos == letters) {
        return std::nullopt;
    }
    std::string_view symbol = text.substr(start, pos - start);
    if (symbol == "KB" || symbol == "Kb" || (symbol.starts_with('~') && !is_currency_code(symbol))) {
        return std::nullopt;
    }
    return symbol;
}

// The exponent after a symbol: "^", an optional "-", digits, not zero; 1
// when no "^" follows. The digits themselves must fit a signed 64-bit
// integer, so every exponent prints back as digits that parse again. `pos` is
// moved past it.
std::optional<std::int64_t> read_exponent(std::string_view text, std::size_t& pos) {
    if (pos >= text.size() || text[pos] != '^') {
        return 1;
    }
    const bool negative = ++pos < text.size() && text[pos] == '-';
    if (negative) {
        ++pos;
    }
    const std::size_t digits = pos;
    while (pos < text.size() && is_ascii_digit(text[pos])) {
        ++pos;
    }
    const auto magnitude = parse_ascii_unsigned(text.substr(digits, pos - digits));
    if (!magnitude || *magnitude == 0 || *magnitude > std::numeric_limits<std::int64_t>::max()) {
        return std::nullopt;
    }
    const auto value = static_cast<std::int64_t>(*magnitude);
    return negative ? -value : value;
}

void append_term(std::string& out, std::string_view symbol, std::uint64_t magnitude) {
    out += symbol;
    if (magnitude != 1) {
        out += '^';
        append_decimal(magnitude, out);
    }
}

std::uint64_t magnitude_of(std::int64_t value) {
    auto bits = static_cast<std::uint64_t>(value);
    return value < 0 ? 0 - bits : bits;
}

// User symbols already resolved during one resolution, by symbol and nesting
// depth. Units that each name several units of the level below would
// otherwise be resolved once per path through the levels, a cost that grows
// as the fan-out to the power of the depth.
template <class Value>
using UserSymbolMemo = std::map<std::pair<std::string, int>, std::optional<Value>>;

// The memo's answer for the symbol at this depth, or `resolve()` kept there.
template <class Value, class Resolve>
std::optional<Value> memoized(UserSymbolMemo<Value>& memo, std::string_view symbol, int depth, Resolve resolve) {
    std::pair<std::string, int> key{std::string(symbol), depth};
    if (auto found = memo.find(key); found != memo.end()) {
        return found->second;
    }
    std::optional<Value> value = resolve();
    memo.emplace(std::move(key), value);
    return value;
}

std::optional<UnitExpr> expression_dimension(std::string_view text, const UserUnits& units, int depth,
                                             UserSymbolMemo<UnitExpr>& memo);
std::optional<UnitScale> expression_scale(std::string_view text, const UserUnits& units, int depth,
                                          UserSymbolMemo<UnitScale>& memo);

// The dimension of one symbol of an expression.
std::optional<UnitExpr> symbol_dimension(std::string_view symbol, const UserUnits& units, int depth,
                                         UserSymbolMemo<UnitExpr>& memo) {
    if (auto builtin = find_builtin(symbol)) {
        UnitExpr dimension;
        for (const BaseTerm& term : builtin->unit->dimension) {
            if (!term.symbol.empty()) {
                dimension.terms.emplace(term.symbol, term.exponent);
            }
        }
        return dimension;
    }
    return memoized(memo, symbol, depth, [&]() -> std::optional<UnitExpr> {
        const UnitDef* user = find_sized_user_unit(symbol, units);
        if (user == nullptr) {
            return std::nullopt;
        }
        return expression_dimension(data_rate_alias(user->unit), units, depth + 1, memo);
    });
}

std::optional<UnitScale> multiply_scale(const UnitScale& scale, Int128 numerator, std::int32_t exponent) {
    auto product = checked_mul(scale.numerator, numerator);
    auto power = checked_add(scale.exponent, exponent);
    if (!product || !power) {
        return std::nullopt;
    }
    return UnitScale{*product, scale.denominator, *power};
}

std::optional<UnitScale> user_unit_scale(const UnitDef& def, const UserUnits& units, int depth,
                                         UserSymbolMemo<UnitScale>& memo) {
    std::string_view text = *def.quantity;
    while (!text.empty() && (is_blank_or_tab(text.front()) || text.front() == '\r' || text.front() == '\n')) {
        text.remove_prefix(1);
    }
    while (!text.empty() && (is_blank_or_tab(text.back()) || text.back() == '\r' || text.back() == '\n')) {
        text.remove_suffix(1);
    }
    auto quantity = parse_exact_decimal(text);
    if (!quantity || quantity->mantissa == 0 || quantity->negative) {
        return std::nullopt;
    }
    auto expression = expression_scale(data_rate_alias(def.unit), units, depth + 1, memo);
    if (!expression) {
        return std::nullopt;
    }
    return multiply_scale(*expression, static_cast<Int128>(quantity->mantissa), quantity->exponent);
}

// The exact scale of one symbol of an expression.
std::optional<UnitScale> symbol_scale(std::string_view symbol, const UserUnits& units, int depth,
                                      UserSymbolMemo<UnitScale>& memo) {
    if (auto builtin = find_builtin(symbol)) {
        UnitScale unit{builtin->unit->scale_mantissa, 1, builtin->unit->scale_exponent};
        return multiply_scale(unit, builtin->factor, builtin->power);
    }
    return memoized(memo, symbol, depth, [&]() -> std::optional<UnitScale> {
        const UnitDef* user = find_sized_user_unit(symbol, units);
        if (user == nullptr) {
            return std::nullopt;
        }
        return user_unit_scale(*user, units, depth, memo);
    });
}

std::optional<Int128> checked_pow(Int128 base, std::uint32_t power) {
    Int128 result = 1;
    while (power != 0) {
        if ((power & 1U) != 0) {
            auto product = checked_mul(result, base);
            if (!product) {
                return std::nullopt;
            }
            result = *product;
        }
        power >>= 1U;
        if (power != 0) {
            auto square = checked_mul(base, base);
            if (!square) {
                return std::nullopt;
            }
            base = *square;
        }
    }
    return result;
}

// Divides both numbers by their greatest common divisor. Both are positive.
void cancel_common_factor(Int128& a, Int128& b) {
    auto x = static_cast<UInt128>(a);
    auto y = static_cast<UInt128>(b);
    while (y != 0) {
        x = std::exchange(y, x % y);
    }
    a /= static_cast<Int128>(x);
    b /= static_cast<Int128>(x);
}

struct TwosAndFives {
    std::int64_t twos = 0;
    std::int64_t fives = 0;
};

// Divides every factor by all its factors 2 and 5 and counts them.
TwosAndFives take_twos_and_fives(std::span<Int128> factors) {
    TwosAndFives taken;
    for (Int128& factor : factors) {
        for (; factor % 2 == 0; factor /= 2) ++taken.twos;
        for (; factor % 5 == 0; factor /= 5) ++taken.fives;
    }
    return taken;
}

// value x base^power (power >= 0), or no value when it does not fit.
std::optional<Int128> times_power(std::optional<Int128> value, Int128 base, std::int64_t power) {
    if (!value || power > std::numeric_limits<std::uint32_t>::max()) return std::nullopt;
    const auto raised = checked_pow(base, static_cast<std::uint32_t>(power));
    return raised ? checked_mul(*value, *raised) : std::nullopt;
}

std::optional<UnitScale> raise_scale(const UnitScale& scale, std::uint32_t power) {
    auto numerator = checked_pow(scale.numerator, power);
    auto denominator = checked_pow(scale.denominator, power);
    auto exponent = checked_add(0, static_cast<std::int64_t>(scale.exponent) * power);
    if (!numerator || !denominator || !exponent) {
        return std::nullopt;
    }
    return UnitScale{*numerator, *denominator, *exponent};
}

// Multiplies the running scale by `factor` (or divides by it).
bool combine_scale(UnitScale& running, const UnitScale& factor, bool divide) {
    auto numerator = checked_mul(running.numerator, divide ? factor.denominator : factor.numerator);
    auto denominator = checked_mul(running.denominator, divide ? factor.numerator : factor.denominator);
    auto exponent = checked_add(running.exponent, divide ? -std::int64_t{factor.exponent} : factor.exponent);
    if (!numerator || !denominator || !exponent) {
        return false;
    }
    running = UnitScale{*numerator, *denominator, *exponent};
    return true;
}

std::optional<UnitExpr> expression_dimension(std::string_view text, const UserUnits& units, int depth,
                                             UserSymbolMemo<UnitExpr>& memo) {
    if (depth > kMaxUnitDepth) {
        return std::nullopt;
    }
    auto expr = parse_unit_expression(text);
    if (!expr) {
        return std::nullopt;
    }
    UnitExpr dimension;
    for (const auto& [symbol, exponent] : expr->terms) {
        if (exponent < std::numeric_limits<std::int32_t>::min() ||
            exponent > std::numeric_limits<std::int32_t>::max()) {
            return std::nullopt;
        }
        auto base = symbol_dimension(symbol, units, depth, memo);
        if (!base) {
            return std::nullopt;
        }
        for (const auto& [base_symbol, base_exponent] : base->terms) {
            std::int64_t product = 0;
            if (__builtin_mul_overflow(base_exponent, exponent, &product) ||
                !add_exponent(dimension.terms[base_symbol], product)) {
                return std::nullopt;
            }
        }
    }
    return dimension;
}

std::optional<UnitScale> expression_scale(std::string_view text, const UserUnits& units, int depth,
                                          UserSymbolMemo<UnitScale>& memo) {
    if (depth > kMaxUnitDepth) {
        return std::nullopt;
    }
    auto expr = parse_unit_expression(text);
    if (!expr) {
        return std::nullopt;
    }
    UnitScale running;
    for (const auto& [symbol, exponent] : expr->terms) {
        auto factor = symbol_scale(symbol, units, depth, memo);
        std::uint64_t magnitude = magnitude_of(exponent);
        if (!factor || magnitude > std::numeric_limits<std::uint32_t>::max()) {
            return std::nullopt;
        }
        auto raised = raise_scale(*factor, static_cast<std::uint32_t>(magnitude));
        if (!raised || !combine_scale(running, *raised, exponent <= 0)) {
            return std::nullopt;
        }
    }
    return running;
}

// The decimal of a dimension line: digits, optionally "." and digits,
// optionally "E"/"e", a sign and digits.
bool is_quantity_decimal(std::string_view text) {
    auto skip_digits = [&](std::size_t pos) {
        while (pos < text.size() && is_ascii_digit(text[pos])) {
            ++pos;
        }
        return pos;
    };
    std::size_t pos = skip_digits(0);
    if (pos == 0) {
        return false;
    }
    if (pos < text.size() && text[pos] == '.') {
        std::size_t fraction = pos + 1;
        pos = skip_digits(fraction);
        if (pos == fraction) {
            return false;
        }
    }
    if (pos < text.size() && (text[pos] == 'E' || text[pos] == 'e')) {
        ++pos;
        if (pos < text.size() && (text[pos] == '+' || text[pos] == '-')) {
            ++pos;
        }
        std::size_t digits = pos;
        pos = skip_digits(digits);
        if (pos == digits) {
            return false;
        }
    }
    return pos == text.size();
}

template <class Names>
bool all_symbols_known(std::string_view text, const Names& names) {
    auto expr = parse_unit_expression(data_rate_alias(text));
    if (!expr) {
        return false;
    }
    for (const auto& [symbol, exponent] : expr->terms) {
        if (!symbol.starts_with('~') && !is_builtin_unit_symbol(symbol) && !names.contains(symbol)) {
            return false;
        }
    }
    return true;
}

}  // namespace

std::string_view data_rate_alias(std::string_view text) {
    for (const DataRateAlias& entry : kDataRateAliases) {
        if (entry.alias == text) {
            return entry.unit;
        }
    }
    return text;
}

std::optional<UnitExpr> parse_unit_expression(std::string_view text) {
    if (text.empty()) {
        return std::nullopt;
    }
    UnitExpr expr;
    bool divide = false;
    std::size_t pos = 0;
    while (true) {
        auto symbol = read_symbol(text, pos);
        if (!symbol) {
            return std::nullopt;
        }
        auto exponent = read_exponent(text, pos);
        if (!exponent) {
            return std::nullopt;
        }
        if (*symbol != "1") {
            auto entry = expr.terms.try_emplace(std::string(*symbol), 0).first;
            if (divide ? __builtin_sub_overflow(entry->second, *exponent, &entry->second)
                       : !add_exponent(entry->second, *exponent)) {
                return std::nullopt;
            }
        }
        if (pos == text.size()) {
            return expr;
        }
        if (text[pos] != '*' && text[pos] != '/') {
            return std::nullopt;
        }
        divide = text[pos] == '/';
        if (++pos == text.size()) {
            return std::nullopt;
        }
    }
}

std::string merge_unit_terms(const UnitExpr& expr) {
    std::string out;
    for (const auto& [symbol, exponent] : expr.terms) {
        if (exponent > 0) {
            if (!out.empty()) {
                out += '*';
            }
            append_term(out, symbol, magnitude_of(exponent));
        }
    }
    if (out.empty()) {
        out = "1";
    }
    for (const auto& [symbol, exponent] : expr.terms) {
        if (exponent < 0) {
            out += '/';
            append_term(out, symbol, magnitude_of(exponent));
        }
    }
    return out;
}

std::optional<std::string> canonical_unit_text(std::string_view text) {
    auto expr = parse_unit_expression(data_rate_alias(text));
    if (!expr) {
        return std::nullopt;
    }
    // A merge may leave an alias whole ("Tbps^1" gives "Tbps"); it is spelled
    // as what it stands for, so that a canonical spelling is its own.
    std::string merged = merge_unit_terms(*expr);
    if (const std::string_view meant = data_rate_alias(merged); meant != merged) return std::string(meant);
    return merged;
}

bool is_builtin_unit_symbol(std::string_view symbol) { return find_builtin(symbol).has_value(); }

bool is_known_unit(std::string_view text, const UnitNames& user_names) { return all_symbols_known(text, user_names); }

bool is_known_unit(std::string_view text, const UserUnits& user_units) { return all_symbols_known(text, user_units); }

std::optional<UnitExpr> resolve_unit(std::string_view text, const UserUnits& units, int depth) {
    UserSymbolMemo<UnitExpr> memo;
    return expression_dimension(text, units, depth, memo);
}

std::optional<UnitScale> unit_expression_scale(std::string_view text, const UserUnits& units, int depth) {
    UserSymbolMemo<UnitScale> memo;
    return expression_scale(text, units, depth, memo);
}

std::expected<QuantityConversion, ConversionFailure> QuantityConversion::between(std::string_view from_unit,
                                                                                 std::string_view to_unit,
                                                                                 const UserUnits& units) {
    using Failure = std::unexpected<ConversionFailure>;
    auto from_dimension = resolve_unit(from_unit, units);
    auto to_dimension = resolve_unit(to_unit, units);
    if (!from_dimension || !to_dimension || merge_unit_terms(*from_dimension) != merge_unit_terms(*to_dimension)) {
        return Failure(ConversionFailure::Incompatible);
    }
    auto from_scale = unit_expression_scale(from_unit, units);
    auto to_scale = unit_expression_scale(to_unit, units);
    if (!from_scale || !to_scale) {
        return Failure(ConversionFailure::Incompatible);
    }
    // P / Q = (from numerator x to denominator) / (from denominator x to
    // numerator), reduced factor by factor before anything is multiplied.
    std::array<Int128, 2> p{from_scale->numerator, to_scale->denominator};
    std::array<Int128, 2> q{from_scale->denominator, to_scale->numerator};
    for (Int128& numerator : p) {
        for (Int128& denominator : q) {
            cancel_common_factor(numerator, denominator);
        }
    }
    QuantityConversion conversion;
    const TwosAndFives p_powers = take_twos_and_fives(p);
    const TwosAndFives q_powers = take_twos_and_fives(q);
    auto multiplier = checked_mul(p[0], p[1]);
    auto divisor = checked_mul(q[0], q[1]);
    if (!multiplier || !divisor) {
        return Failure(ConversionFailure::Inexact);
    }
    conversion.multiplier_ = *multiplier;
    conversion.divisor_ = *divisor;
    conversion.twos_ = p_powers.twos - q_powers.twos;
    conversion.fives_ = p_powers.fives - q_powers.fives;
    conversion.exponent_shift_ = std::int64_t{from_scale->exponent} - to_scale->exponent;
    return conversion;
}

std::expected<std::string, ConversionFailure> QuantityConversion::apply(std::string_view value) const {
    using Failure = std::unexpected<ConversionFailure>;
    auto number = read_exact_decimal(value);
    if (!number) {
        return Failure(number.error() == DecimalRefusal::NotDecimal ? ConversionFailure::Incompatible
                                                                    : ConversionFailure::Inexact);
    }
    // Zero is zero in every unit, whatever power of ten it was written with.
    if (number->mantissa == 0) {
        return "0";
    }
    // value x P / Q = digits x 2^twos x 5^fives x 10^exponent with `digits`
    // coprime to 10; the quotient has a finite decimal expansion only when
    // the value's digits take up the whole of the divisor.
    auto digits = static_cast<Int128>(number->mantissa);
    Int128 divisor = divisor_;
    cancel_common_factor(digits, divisor);
    if (divisor != 1) {
        return Failure(ConversionFailure::Inexact);
    }
    const TwosAndFives value_powers = take_twos_and_fives(std::span(&digits, 1));
    const std::int64_t twos = twos_ + value_powers.twos;
    const std::int64_t fives = fives_ + value_powers.fives;
    auto exponent = checked_add(number->exponent, exponent_shift_);
    if (!exponent) {
        return Failure(ConversionFailure::Inexact);
    }
    // The power of ten of the quotient written with the fewest fraction
    // digits that hold it exactly bounds the length of the text.
    const std::int64_t fraction_digits = std::max({std::int64_t{0}, -twos, -fives});
    const std::int64_t written_exponent = std::int64_t{*exponent} - fraction_digits;
    if (written_exponent > kMaxResultExponent || written_exponent < -kMaxResultExponent) {
        return Failure(ConversionFailure::Inexact);
    }
    // 2^twos x 5^fives = 2^(twos - tens) x 5^(fives - tens) x 10^tens, one of
    // the two powers left being 2 or 5 to the power 0.
    const std::int64_t tens = std::min(twos, fives);
    const auto result = times_power(times_power(checked_mul(digits, multiplier_), 2, twos - tens), 5, fives - tens);
    if (!result) {
        return Failure(ConversionFailure::Inexact);
    }
    return format_exact_decimal(number->negative, static_cast<UInt128>(*result),
                                static_cast<std::int32_t>(*exponent + tens));
}

std::expected<std::string, ConversionFailure> convert_quantity(std::string_view value, std::string_view from_unit,
                                                               std::string_view to_unit, const UserUnits& units) {
    const auto conversion = QuantityConversion::between(from_unit, to_unit, units);
    if (!conversion) return forward_error(conversion);
    return conversion->apply(value);
}

std::optional<std::string> substitute_unit_symbols(std::string_view text, const UnitAliasTable& replacements) {
    auto expr = parse_unit_expression(data_rate_alias(text));
    if (!expr) {
        return std::nullopt;
    }
    UnitExpr substituted;
    bool changed = false;
    for (const auto& [symbol, exponent] : expr->terms) {
        auto replacement = replacements.find(symbol);
        bool replaced = replacement != replacements.end();
        changed = changed || replaced;
        const std::string& name = replaced ? replacement->second : symbol;
        if (!add_exponent(substituted.terms[name], exponent)) {
            return std::nullopt;
        }
    }
    if (!changed) {
        return std::nullopt;
    }
    std::erase_if(substituted.terms, [](const auto& term) { return term.second == 0; });
    return merge_unit_terms(substituted);
}

std::optional<QuantityLine> parse_quantity_line(std::string_view line) {
    auto words = split_words(line, " \t");
    if (words.empty() || words.size() > 2) {
        return std::nullopt;
    }
    if (words[0] == "$") {
        if (words.size() == 1) {
            return QuantityLine{"$", std::nullopt, std::nullopt};
        }
        if (words[1].size() < 2 || !words[1].starts_with('@')) {
            return std::nullopt;
        }
        return QuantityLine{"$", std::nullopt, std::string(words[1].substr(1))};
    }
    if (!canonical_unit_text(words[0]) || words.size() < 2 || words[1].starts_with('@') ||
        !is_quantity_decimal(words[1])) {
        return std::nullopt;
    }
    return QuantityLine{std::string(words[0]), std::string(words[1]), std::nullopt};
}

UnitDef clone_unit_def(const UnitDef& def) { return def; }

}  // namespace bezo
