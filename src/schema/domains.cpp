#include "schema/domains.hpp"

#include <span>

#include "core/calendar.hpp"
#include "core/decimal_float.hpp"
#include "core/text.hpp"

namespace bezo {

std::optional<std::string_view> collation_domain_tag(std::string_view domain) {
    constexpr std::string_view opening = "..lex[";
    if (domain.size() <= opening.size() || !domain.starts_with(opening) || !domain.ends_with(']')) {
        return std::nullopt;
    }
    return domain.substr(opening.size(), domain.size() - opening.size() - 1);
}

namespace {

// ---- numbers -------------------------------------------------------------

bool is_integer_text(std::string_view text) {
    if (text.starts_with('-')) {
        text.remove_prefix(1);
    }
    return is_ascii_digits(text);
}

// Magnitudes without leading zeros: the shorter is smaller, equal lengths
// compare digit by digit.
std::strong_ordering compare_magnitudes(std::string_view a, std::string_view b) {
    if (a.size() != b.size()) {
        return a.size() <=> b.size();
    }
    return a.compare(b) <=> 0;
}

bool integer_less_equal(const NumericText& a, const NumericText& b) {
    if (a.negative != b.negative) {
        return a.negative;
    }
    const auto order = compare_magnitudes(a.magnitude, b.magnitude);
    return a.negative ? order >= 0 : order <= 0;
}

// The double of a text read without one: only integers are read lazily.
std::optional<double> real_of(const NumericText& number) {
    if (number.real || !number.integer) return number.real;
    return parse_decimal_double(number.text);
}

// ---- versions ------------------------------------------------------------

// Walks the "."-separated pieces of a text, empty pieces included.
class PieceReader {
public:
    explicit PieceReader(std::string_view text) : rest_(text) {}
    // A reader with no pieces at all.
    PieceReader() : done_(true) {}

    std::optional<std::string_view> next() {
        if (done_) {
            return std::nullopt;
        }
        const auto dot = rest_.find('.');
        const std::string_view piece = rest_.substr(0, dot);
        if (dot == std::string_view::npos) {
            done_ = true;
        } else {
            rest_.remove_prefix(dot + 1);
        }
        return piece;
    }

    // The text after the pieces read so far; none once the last was read.
    std::optional<std::string_view> rest() const { return done_ ? std::nullopt : std::optional(rest_); }

private:
    std::string_view rest_;
    bool done_ = false;
};

VersionText::Piece read_piece(std::string_view text) { return {text, read_unsigned_decimal(text)}; }

// The pieces of a version: those read ahead first, then the rest of its text.
class VersionPieces {
public:
    explicit VersionPieces(std::string_view text) : reader_(text) {}
    explicit VersionPieces(const VersionText& read)
        : read_(read.pieces), reader_(read.rest ? PieceReader(*read.rest) : PieceReader()) {}

    std::optional<VersionText::Piece> next() {
        if (!read_.empty()) {
            const VersionText::Piece piece = read_.front();
            read_ = read_.subspan(1);
            return piece;
        }
        const auto text = reader_.next();
        if (!text) return std::nullopt;
        return read_piece(*text);
    }

private:
    std::span<const VersionText::Piece> read_;
    PieceReader reader_;
};

// Numerically when both pieces read as numbers, bytewise otherwise.
std::weak_ordering compare_version_pieces(const VersionText::Piece& a, const VersionText::Piece& b) {
    if (a.number && b.number) {
        return *a.number <=> *b.number;
    }
    return a.text.compare(b.text) <=> 0;
}

// a <= b piece by piece; a version that runs out first is the smaller. A
// side is read no further than the other needs.
bool version_less_equal(VersionPieces a, VersionPieces b) {
    while (true) {
        const auto x = a.next();
        if (!x) {
            return true;
        }
        const auto y = b.next();
        if (!y) {
            return false;
        }
        const auto order = compare_version_pieces(*x, *y);
        if (order != 0) {
            return order < 0;
        }
    }
}

// ---- instants ------------------------------------------------------------

// The value of `count` digits at `pos`, or no value when any is not a digit.
std::optional<unsigned> read_digits(std::string_view text, std::size_t pos, std::size_t count) {
    if (pos + count > text.size()) {
        return std::nullopt;
    }
    unsigned value = 0;
    for (std::size_t i = pos; i < pos + count; ++i) {
        if (!is_ascii_digit(text[i])) {
            return std::nullopt;
        }
        value = value * 10 + static_cast<unsigned>(text[i] - '0');
    }
    return value;
}

// Seconds from 1970-01-01 to the start of the day «YYYY-MM-DD».
std::optional<std::int64_t> read_date(std::string_view text) {
    const auto year = read_digits(text, 0, 4);
    const auto month = read_digits(text, 5, 2);
    const auto day = read_digits(text, 8, 2);
    if (!year || !month || !day || text[7] != '-' || *month < 1 || *month > 12 || *day < 1 || *day > 31) {
        return std::nullopt;
    }
    return days_from_civil(*year, *month, *day) * 86400;
}

struct TimeOfDay {
    std::int64_t seconds;
    std::uint32_t nanos;
    std::size_t end;  // the position after the time
};

// «HH:MM:SS» with an optional fraction, at `pos`.
std::optional<TimeOfDay> read_time(std::string_view text, std::size_t pos) {
    const auto hour = read_digits(text, pos, 2);
    const auto minute = read_digits(text, pos + 3, 2);
    const auto second = read_digits(text, pos + 6, 2);
    if (!hour || !minute || !second || text[pos + 2] != ':' || text[pos + 5] != ':' || *hour > 23 || *minute > 59 ||
        *second > 60) {
        return std::nullopt;
    }
    TimeOfDay time{*hour * 3600 + *minute * 60 + *second, 0, pos + 8};
    if (time.end < text.size() && text[time.end] == '.') {
        std::size_t digits = 0;
        std::uint32_t scale = 100'000'000;
        while (time.end + 1 + digits < text.size() && is_ascii_digit(text[time.end + 1 + digits])) {
            time.nanos += static_cast<std::uint32_t>(text[time.end + 1 + digits] - '0') * scale;
            scale /= 10;
            ++digits;
        }
        if (digits == 0) {
            return std::nullopt;
        }
        time.end += 1 + digits;
    }
    return time;
}

// The zone after a date and time: nothing, "Z", or «+HH:MM» / «-HH:MM»;
// gives the seconds to add to reach UTC.
std::optional<std::int64_t> read_zone_correction(std::string_view zone) {
    if (zone.empty() || zone == "Z" || zone == "z") {
        return 0;
    }
    if (zone.size() != 6 || (zone[0] != '+' && zone[0] != '-') || zone[3] != ':') {
        return std::nullopt;
    }
    const auto hours = read_digits(zone, 1, 2);
    const auto minutes = read_digits(zone, 4, 2);
    if (!hours || !minutes || *hours >= 24 || *minutes > 59) {
        return std::nullopt;
    }
    const std::int64_t offset = *hours * 3600 + *minutes * 60;
    return zone[0] == '+' ? -offset : offset;
}

}  // namespace

std::optional<std::uint64_t> read_unsigned_decimal(std::string_view text) {
    if (text.starts_with('+')) {
        text.remove_prefix(1);
    }
    // More than twenty significant digits cannot fit, digits or not: the
    // rest of a long text need not be read.
    constexpr std::size_t kMaxSignificant = 20;
    const auto significant = text.find_first_not_of('0');
    if (significant != std::string_view::npos && text.size() - significant > kMaxSignificant) {
        return std::nullopt;
    }
    return parse_ascii_unsigned(text);
}

NumericText read_numeric_text(std::string_view text, bool with_real) {
    NumericText number;
    number.text = text;
    number.integer = is_integer_text(text);
    if (number.integer) {
        const bool minus = text.starts_with('-');
        const std::string_view digits = minus ? text.substr(1) : text;
        const auto first = digits.find_first_not_of('0');
        number.magnitude = first == std::string_view::npos ? "0" : digits.substr(first);
        number.negative = minus && number.magnitude != "0";
    }
    if (!number.integer || with_real) number.real = parse_decimal_double(text);
    return number;
}

bool numeric_less_equal(const NumericText& a, const NumericText& b) {
    if (a.integer && b.integer) {
        return integer_less_equal(a, b);
    }
    const auto x = real_of(a);
    const auto y = real_of(b);
    return x && y && *x <= *y;
}

bool compare_numeric_text(std::string_view a, std::string_view b) {
    return numeric_less_equal(read_numeric_text(a), read_numeric_text(b));
}

bool compare_version_text(std::string_view a, std::string_view b) {
    return version_less_equal(VersionPieces(a), VersionPieces(b));
}

VersionText read_version_text(std::string_view text) {
    VersionText read;
    PieceReader reader(text);
    while (read.pieces.size() < VersionText::kReadPieces) {
        const auto piece = reader.next();
        if (!piece) break;
        read.pieces.push_back(read_piece(*piece));
    }
    read.rest = reader.rest();
    return read;
}

bool version_less_equal(const VersionText& a, std::string_view b) {
    return version_less_equal(VersionPieces(a), VersionPieces(b));
}

bool version_less_equal(std::string_view a, const VersionText& b) {
    return version_less_equal(VersionPieces(a), VersionPieces(b));
}

std::optional<DateInstant> parse_date_value(std::string_view text) {
    std::int64_t day_start = 0;
    std::size_t time_at = 0;
    const bool dated = text.size() >= 10 && text[4] == '-';
    if (dated) {
        const auto date = read_date(text);
        if (!date) {
            return std::nullopt;
        }
        if (text.size() == 10) {
            return DateInstant{*date, 0};
        }
        if (text[10] != ' ' && text[10] != 't' && text[10] != 'T') {
            return std::nullopt;
        }
        day_start = *date;
        time_at = 11;
    }
    const auto time = read_time(text, time_at);
    if (!time) {
        return std::nullopt;
    }
    const std::string_view zone = text.substr(time->end);
    if (!dated && !zone.empty()) {
        return std::nullopt;
    }
    const auto correction = read_zone_correction(zone);
    if (!correction) {
        return std::nullopt;
    }
    return DateInstant{day_start + time->seconds + *correction, time->nanos};
}

}  // namespace bezo
