#include "schema/collate_icu.hpp"

#include <algorithm>
#include <array>
#include <vector>

#include <unicode/coll.h>
#include <unicode/locid.h>
#include <unicode/stringpiece.h>
#include <unicode/unistr.h>

#include "core/fault.hpp"
#include "core/text.hpp"
#include "schema/bcp47.hpp"

namespace bezo {
namespace {

struct CollationOptions {
    UColAttributeValue strength = UCOL_TERTIARY;
    UColAttributeValue alternate = UCOL_NON_IGNORABLE;
    UColAttributeValue case_level = UCOL_OFF;
};

struct OptionValue {
    std::string_view text;
    UColAttributeValue value;
};

constexpr std::array kStrengthValues{
    OptionValue{"level1", UCOL_PRIMARY},
    OptionValue{"level2", UCOL_SECONDARY},
    OptionValue{"level3", UCOL_TERTIARY},
    OptionValue{"identic", UCOL_IDENTICAL},
};
constexpr std::array kAlternateValues{
    OptionValue{"shifted", UCOL_SHIFTED},
    OptionValue{"noignore", UCOL_NON_IGNORABLE},
};
constexpr std::array kCaseLevelValues{
    OptionValue{"true", UCOL_ON},
    OptionValue{"false", UCOL_OFF},
};

// A keyword of the Unicode extension: its key and its type subtags.
struct Keyword {
    std::string_view key;
    std::span<const std::string_view> types;
};

template <std::size_t N>
bool set_option(const std::array<OptionValue, N>& table, std::span<const std::string_view> types,
                UColAttributeValue& option) {
    // A key without type subtags stands for "true".
    const std::string_view text = types.empty() ? std::string_view("true") : types.front();
    if (types.size() > 1) return false;
    for (const OptionValue& entry : table) {
        if (ascii_iequals(entry.text, text)) {
            option = entry.value;
            return true;
        }
    }
    return false;
}

bool apply_keyword(const Keyword& keyword, CollationOptions& options) {
    if (ascii_iequals(keyword.key, "ks")) return set_option(kStrengthValues, keyword.types, options.strength);
    if (ascii_iequals(keyword.key, "ka")) return set_option(kAlternateValues, keyword.types, options.alternate);
    if (ascii_iequals(keyword.key, "kc")) return set_option(kCaseLevelValues, keyword.types, options.case_level);
    // The collation type goes to ICU with the rest of the locale.
    return ascii_iequals(keyword.key, "co");
}

// Reads the keywords of a Unicode extension: each two-character subtag is a
// key, the longer subtags after it are its types. Attributes (longer subtags
// before the first key) and repeated keys are refused.
bool apply_unicode_extension(std::span<const std::string_view> subtags, CollationOptions& options) {
    std::vector<std::string_view> seen_keys;
    std::size_t at = 0;
    while (at < subtags.size()) {
        const std::string_view key = subtags[at];
        if (key.size() != 2) return false;
        for (const std::string_view seen : seen_keys) {
            if (ascii_iequals(seen, key)) return false;
        }
        seen_keys.push_back(key);
        std::size_t end = at + 1;
        while (end < subtags.size() && subtags[end].size() != 2) ++end;
        if (!apply_keyword({key, subtags.subspan(at + 1, end - at - 1)}, options)) return false;
        at = end;
    }
    return true;
}

// The collation options that a tag asks for, read from our own parse of it
// (ICU's canonical form renames values and maps legacy tags).
std::optional<CollationOptions> read_collation_options(const LanguageTag& tag) {
    if (!tag.private_use.empty()) return std::nullopt;
    CollationOptions options;
    for (const TagExtension& extension : tag.extensions) {
        if (extension.singleton != 'u' || !apply_unicode_extension(extension.subtags, options)) return std::nullopt;
    }
    return options;
}

std::optional<CollatorHandle> build_collator(std::string_view tag_text, const CollationOptions& options) {
    UErrorCode status = U_ZERO_ERROR;
    const icu::Locale locale =
        icu::Locale::forLanguageTag(icu::StringPiece(tag_text.data(), static_cast<int32_t>(tag_text.size())), status);
    if (U_FAILURE(status) || locale.isBogus()) return std::nullopt;
    std::unique_ptr<icu::Collator> collator(icu::Collator::createInstance(locale, status));
    if (U_FAILURE(status) || !collator) return std::nullopt;
    // All three are set every time, so no locale's tailored default (Thai
    // shifts alternates, for one) takes the place of an absent key.
    collator->setAttribute(UCOL_STRENGTH, options.strength, status);
    collator->setAttribute(UCOL_ALTERNATE_HANDLING, options.alternate, status);
    collator->setAttribute(UCOL_CASE_LEVEL, options.case_level, status);
    if (U_FAILURE(status)) return std::nullopt;
    return CollatorHandle(std::shared_ptr<const icu::Collator>(std::move(collator)));
}

// The collators of one thread by tag text, failures included. Tags come
// from the texts of calls, so the cache keeps only the most recently used
// ones: a long run of distinct tags cannot grow it without bound.
class CollatorCache {
public:
    static constexpr std::size_t kCapacity = 64;

    // The cached answer for the tag, else the one built now and cached.
    std::optional<CollatorHandle> lookup(std::string_view tag) {
        const auto hit = std::ranges::find(entries_, tag, &Entry::tag);
        if (hit != entries_.end()) {
            std::rotate(hit, hit + 1, entries_.end());
            return entries_.back().collator;
        }
        auto built = validate_collation_locale(tag);
        if (entries_.size() == kCapacity) entries_.erase(entries_.begin());
        entries_.push_back({std::string(tag), built});
        return built;
    }

    std::size_t size() const { return entries_.size(); }

private:
    struct Entry {
        std::string tag;
        std::optional<CollatorHandle> collator;
    };
    std::vector<Entry> entries_;  // the least recently used first
};

CollatorCache& thread_cache() {
    thread_local CollatorCache cache;
    return cache;
}

// No tag this long gives a collator, and none is kept as a cache key.
constexpr std::size_t kMaxTagBytes = 256;

}  // namespace

std::weak_ordering CollatorHandle::compare(std::string_view a, std::string_view b) const {
    UErrorCode status = U_ZERO_ERROR;
    const UCollationResult result =
        collator_->compareUTF8(icu::StringPiece(a.data(), static_cast<int32_t>(a.size())),
                               icu::StringPiece(b.data(), static_cast<int32_t>(b.size())), status);
    if (U_FAILURE(status)) raise_fault(std::string("collator comparison failed: ") + u_errorName(status));
    if (result == UCOL_LESS) return std::weak_ordering::less;
    if (result == UCOL_GREATER) return std::weak_ordering::greater;
    return std::weak_ordering::equivalent;
}

std::string CollatorHandle::sort_key(std::string_view text) const {
    const icu::UnicodeString unicode =
        icu::UnicodeString::fromUTF8(icu::StringPiece(text.data(), static_cast<int32_t>(text.size())));
    std::string key(std::max<std::size_t>(text.size() * 4, 32), '\0');
    for (;;) {
        const int32_t length = collator_->getSortKey(unicode, reinterpret_cast<std::uint8_t*>(key.data()),
                                                     static_cast<int32_t>(key.size()));
        if (length <= 0) raise_fault("collator gave no sort key");
        // The length counts the final zero byte, which is left out.
        if (static_cast<std::size_t>(length) <= key.size()) {
            key.resize(static_cast<std::size_t>(length) - 1);
            return key;
        }
        key.resize(static_cast<std::size_t>(length));
    }
}

std::optional<CollatedSetIndex> CollatedSetIndex::build(std::string_view tag, std::span<const std::string> members) {
    auto collator = collator_for_locale(tag);
    if (!collator) return std::nullopt;
    std::vector<std::string> keys;
    keys.reserve(members.size());
    for (const std::string& member : members) keys.push_back(collator->sort_key(member));
    std::ranges::sort(keys);
    const auto [last, end] = std::ranges::unique(keys);
    keys.erase(last, end);
    return CollatedSetIndex(std::move(*collator), std::move(keys));
}

bool CollatedSetIndex::contains(std::string_view value) const {
    return std::ranges::binary_search(keys_, collator_.sort_key(value));
}

std::optional<CollatorHandle> validate_collation_locale(std::string_view tag) {
    if (tag.size() > kMaxTagBytes) return std::nullopt;
    const auto parsed = parse_language_tag(tag);
    if (!parsed) return std::nullopt;
    const auto options = read_collation_options(*parsed);
    if (!options) return std::nullopt;
    if (!ascii_iequals(parsed->language, "und") && !is_known_language(parsed->language)) return std::nullopt;
    return build_collator(tag, *options);
}

std::optional<CollatorHandle> collator_for_locale(std::string_view tag) {
    if (tag.size() > kMaxTagBytes) return std::nullopt;
    return thread_cache().lookup(tag);
}

std::size_t cached_collator_count() { return thread_cache().size(); }

CollatedAnswer collated_set_contains(std::string_view tag, std::string_view value,
                                     std::span<const std::string> members) {
    const auto collator = collator_for_locale(tag);
    if (!collator) return CollatedAnswer::NoCollator;
    for (const std::string& member : members) {
        if (collator->compare(member, value) == 0) return CollatedAnswer::In;
    }
    return CollatedAnswer::Out;
}

CollatedAnswer collated_range_contains(std::string_view tag, std::string_view value,
                                       std::optional<std::string_view> low, std::optional<std::string_view> high) {
    const auto collator = collator_for_locale(tag);
    if (!collator) return CollatedAnswer::NoCollator;
    const bool above_low = !low || collator->compare(*low, value) <= 0;
    const bool below_high = !high || collator->compare(value, *high) <= 0;
    return above_low && below_high ? CollatedAnswer::In : CollatedAnswer::Out;
}

}  // namespace bezo
