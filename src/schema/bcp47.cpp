#include "schema/bcp47.hpp"

#include <algorithm>
#include <string>

#include <unicode/locid.h>

#include "core/text.hpp"

namespace bezo {
namespace {

constexpr std::size_t kMaxSubtagLength = 8;

bool is_alnum(char c) { return is_ascii_letter(c) || is_ascii_digit(c); }

// Cuts the tag at every '-'; no value when a subtag is empty, too long or
// holds anything but ASCII letters and digits.
std::optional<std::vector<std::string_view>> split_subtags(std::string_view tag) {
    std::vector<std::string_view> subtags;
    std::size_t start = 0;
    while (true) {
        const std::size_t dash = tag.find('-', start);
        const std::string_view subtag = tag.substr(start, dash == std::string_view::npos ? dash : dash - start);
        if (subtag.empty() || subtag.size() > kMaxSubtagLength ||
            !std::all_of(subtag.begin(), subtag.end(), is_alnum)) {
            return std::nullopt;
        }
        subtags.push_back(subtag);
        if (dash == std::string_view::npos) return subtags;
        start = dash + 1;
    }
}

// Two to eight letters; split_subtags already bounds the length.
bool is_language(std::string_view s) { return s.size() >= 2 && is_ascii_letters(s); }
bool is_extlang(std::string_view s) { return s.size() == 3 && is_ascii_letters(s); }
bool is_script(std::string_view s) { return s.size() == 4 && is_ascii_letters(s); }
bool is_region(std::string_view s) {
    return (s.size() == 2 && is_ascii_letters(s)) || (s.size() == 3 && is_ascii_digits(s));
}
bool is_variant(std::string_view s) { return s.size() >= 5 || (s.size() == 4 && is_ascii_digit(s.front())); }
bool is_private_use_mark(std::string_view s) { return s.size() == 1 && to_ascii_lower(s.front()) == 'x'; }

// Walks the subtags of a tag from left to right, filling a LanguageTag.
class TagReader {
public:
    explicit TagReader(std::vector<std::string_view> subtags) : subtags_(std::move(subtags)) {}

    std::optional<LanguageTag> read() {
        if (is_private_use_mark(peek())) return read_private_use() ? std::optional(tag_) : std::nullopt;
        if (!is_language(peek())) return std::nullopt;
        tag_.language = take();
        if (tag_.language.size() <= 3) {
            while (tag_.extlangs.size() < 3 && is_extlang(peek())) tag_.extlangs.push_back(take());
        }
        if (is_script(peek())) tag_.script = take();
        if (is_region(peek())) tag_.region = take();
        while (is_variant(peek())) tag_.variants.push_back(take());
        if (!read_extensions()) return std::nullopt;
        if (is_private_use_mark(peek()) && !read_private_use()) return std::nullopt;
        if (!done()) return std::nullopt;
        return tag_;
    }

private:
    bool done() const { return next_ == subtags_.size(); }
    std::string_view peek() const { return done() ? std::string_view{} : subtags_[next_]; }
    std::string_view take() { return subtags_[next_++]; }

    bool read_extensions() {
        while (peek().size() == 1 && !is_private_use_mark(peek())) {
            const char singleton = to_ascii_lower(take().front());
            const bool repeated = std::any_of(tag_.extensions.begin(), tag_.extensions.end(),
                                              [&](const TagExtension& e) { return e.singleton == singleton; });
            if (repeated) return false;
            TagExtension extension{singleton, {}};
            while (peek().size() >= 2) extension.subtags.push_back(take());
            if (extension.subtags.empty()) return false;
            tag_.extensions.push_back(std::move(extension));
        }
        return true;
    }

    // "x" and at least one subtag; it takes the rest of the tag.
    bool read_private_use() {
        take();
        while (!done()) tag_.private_use.push_back(take());
        return !tag_.private_use.empty();
    }

    std::vector<std::string_view> subtags_;
    std::size_t next_ = 0;
    LanguageTag tag_;
};

}  // namespace

std::optional<LanguageTag> parse_language_tag(std::string_view tag) {
    auto subtags = split_subtags(tag);
    if (!subtags) return std::nullopt;
    return TagReader(std::move(*subtags)).read();
}

bool is_valid_language_tag(std::string_view tag) { return parse_language_tag(tag).has_value(); }

bool is_known_language(std::string_view language) {
    if (!is_ascii_letters(language)) return false;
    std::string lower(language);
    std::transform(lower.begin(), lower.end(), lower.begin(), to_ascii_lower);
    icu::Locale locale(lower.c_str());
    // ICU reads "root" and "und" as the empty language and would then expand
    // them to its default, so an empty language is not known. A language
    // that ICU respells ("deu" as "de") is asked under its new spelling.
    if (locale.isBogus() || locale.getLanguage()[0] == '\0') return false;
    UErrorCode status = U_ZERO_ERROR;
    locale.addLikelySubtags(status);
    if (U_FAILURE(status)) return false;
    return locale.getScript()[0] != '\0' || locale.getCountry()[0] != '\0';
}

}  // namespace bezo
