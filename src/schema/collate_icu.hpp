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

// In when neither present bound compares beyond `value`: low <= value <= high.
CollatedAnswer collated_range_contains(std::string_view tag, std::string_view value,
                                       std::optional<std::string_view> low, std::optional<std::string_view> high);

}  // namespace bezo
