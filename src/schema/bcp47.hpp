// Language tags: the syntax check of BCP 47 tags used by collation domains,
// and whether the locale data knows a language.
#pragma once

#include <optional>
#include <string_view>
#include <vector>

namespace bezo {

// One extension of a tag: its singleton and the subtags after it.
struct TagExtension {
    char singleton;
    std::vector<std::string_view> subtags;
};

// A well-formed tag split into its parts. Every view points into the parsed
// text and keeps the case it was written in. A private-use-only tag
// ("x-...") has an empty language.
struct LanguageTag {
    std::string_view language;
    std::vector<std::string_view> extlangs;
    std::string_view script;
    std::string_view region;
    std::vector<std::string_view> variants;
    std::vector<TagExtension> extensions;
    std::vector<std::string_view> private_use;
};

// Splits a tag into its parts; no value when it is not well-formed.
std::optional<LanguageTag> parse_language_tag(std::string_view tag);

// True when the text is a well-formed tag (case is ignored).
bool is_valid_language_tag(std::string_view tag);

// True when the likely-subtags data can add a script or region to the
// language subtag alone. "und" and "root" are not known languages here.
bool is_known_language(std::string_view language);

}  // namespace bezo
