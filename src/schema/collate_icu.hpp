// Comparison of texts under a locale's collation, for the "..lex[tag]"
// comparison domain. A tag's Unicode extension chooses the collation options
// (ks strength, ka alternate handling, kc case level, co collation type).
// Collators are built once per tag and thread and kept in a per-thread cache
// of the 64 most recently used tags; tags that give no collator are cached as
// such too. A tag longer than 256 bytes gives no collator and is not cached.
#pragma once

#include <compare>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include <unicode/uversion.h>

U_NAMESPACE_BEGIN
class Collator;
U_NAMESPACE_END

namespace bezo {

// A shared handle to one collator. It stays usable however long the caller
// keeps it, cache or no cache.
class CollatorHandle {
public:
    explicit CollatorHandle(std::shared_ptr<const icu::Collator> collator) : collator_(std::move(collator)) {}

    // Orders two UTF-8 texts; equivalent means equal under the collator's
    // strength, not identical bytes.
    std::weak_ordering compare(std::string_view a, std::string_view b) const;

    // The sort key of a UTF-8 text: two texts compare equivalent exactly
    // when their keys are equal bytes, and keys order as the texts do.
    std::string sort_key(std::string_view text) const;

private:
    std::shared_ptr<const icu::Collator> collator_;
};

// The answer of a collated question; NoCollator when the tag gives none.
enum class CollatedAnswer : std::uint8_t { Out = 0, In = 1, NoCollator = 2 };

// Builds a collator for a tag, uncached. No value when the tag is not a
// well-formed locale, carries an extension other than the Unicode one (or a
// private-use part, or Unicode-extension attributes), uses a keyword other
// than ks/ka/kc/co, repeats a keyword, gives one of ks/ka/kc a value outside
// its table, names a language the locale data does not know ("und" aside),
// or when ICU cannot build the collator.
std::optional<CollatorHandle> validate_collation_locale(std::string_view tag);

// The calling thread's cached collator for a tag (exact bytes, no folding).
std::optional<CollatorHandle> collator_for_locale(std::string_view tag);

// The number of tags the calling thread's cache holds.
std::size_t cached_collator_count();

// In when some member (in order) compares equal to `value`.
CollatedAnswer collated_set_contains(std::string_view tag, std::string_view value,
                                     std::span<const std::string> members);

// The members of a set under one tag's collator, as their sorted sort keys,
// so that membership costs one key and a binary search however many
// members the set has. Answers as collated_set_contains does.
class CollatedSetIndex {
public:
    // No value when the tag gives no collator.
    static std::optional<CollatedSetIndex> build(std::string_view tag, std::span<const std::string> members);

    bool contains(std::string_view value) const;

private:
    CollatedSetIndex(CollatorHandle collator, std::vector<std::string> keys)
        : collator_(std::move(collator)), keys_(std::move(keys)) {}

    CollatorHandle collator_;
    std::vector<std::string> keys_;  // sorted, duplicates dropped
};

// In when neither present bound compares beyond `value`: low <= value <= high.
CollatedAnswer collated_range_contains(std::string_view tag, std::string_view value,
                                       std::optional<std::string_view> low, std::optional<std::string_view> high);

}  // namespace bezo
