#include "pipeline/denorm.hpp"

#include <gtest/gtest.h>

#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

namespace bezo {
namespace {

// Relational texts around a line padded to `pad` bytes, so that what the
// reference pass rewrites moves across every place of a sixteen-byte block
// and of several in a row.
struct MarkedText {
    std::string_view name;
    std::string_view before;  // the text before the pad
    std::string_view after;   // the text after it
    bool rewritten;           // whether the pass changes more than the declaration
};

std::string with_pad(const MarkedText& marked, std::size_t pad) {
    return std::string(".!lezo\n").append(marked.before).append(pad, 'x').append(marked.after);
}

// Calls `check` with each text padded to every size, and what names the
// case in a failure.
template <class Check>
void for_each_padded(const std::vector<MarkedText>& texts, Check check) {
    for (const auto& marked : texts) {
        for (std::size_t pad = 0; pad < 150; ++pad) {
            check(marked, with_pad(marked, pad), std::string(marked.name) + " " + std::to_string(pad));
        }
    }
}

TEST(DenormalizeCompiled, KeepsInPlaceWhatThePassKeepsWhereverTheMarkStands) {
    const std::vector<MarkedText> texts = {
        {"reference", "!str'::a=", "\n!str'::b=$a\n", true},
        {"escaped dollar", "!str'::a=", "$$5\n", true},
        {"dollar at the end", "!str'::a=", "$", false},
        {"unit shorthand line", "!str'::a=", "\n!:km\n", true},
        {"unit shorthand line at the end", "!str'::a=", "\n!:", true},
        {"verbatim line", ".!registry x=", "\n.!verbatim\n!str'::a=1\n", true},
        {"declaration line", "!str'::a=", "\n.!lezo\n", true},
        {"other directive", ".!registry x=", "\n.!fk a\n!str'::a=1\n", false},
        {"bang and dot apart", "!str'::a=", "!.:\n", false},
        {"nothing to rewrite", "!str'::a=", "\n!int'::b=1\n", false},
    };
    for_each_padded(texts, [](const MarkedText& marked, const std::string& text, const std::string& name) {
        const auto passed = resolve_references(text);
        Resolver resolver;
        const auto in_place = denormalize_compiled(text, resolver);
        ASSERT_EQ(passed.has_value(), in_place.has_value()) << name;
        if (!passed) return;
        EXPECT_EQ(*in_place, *passed) << name;
        std::string declaration_only = text;
        declaration_only.replace(2, 4, "nezo");
        EXPECT_EQ(*passed != declaration_only, marked.rewritten) << name;
    });
}

// Build hands the compiled text to both passes at once, and skips the
// schema step when the text is kept in place and holds no ".!schema": each
// row must come out as the denormalizer gives it, an error included.
TEST(DenormalizeCompiled, GivesWhatTheDenormalizerGives) {
    const std::vector<MarkedText> texts = {
        {"schema line", "!str'::a=", "\n.!schema:s\n", false},
        {"schema line kept in place", ".!registry x=", "\n.!schema:s\n!str'::a=1\n", false},
        {"schema in a value", "!str'::a=", ".!schema:s\n", false},
        {"schema line and a reference", "!str'::a=", "\n.!schema:s\n!str'::b=$a\n", true},
        {"reference", "!str'::a=", "\n!str'::b=$a\n", true},
        {"nothing to rewrite", "!str'::a=", "\n!int'::b=1\n", false},
    };
    for_each_padded(texts, [](const MarkedText&, const std::string& text, const std::string& name) {
        Resolver expected_resolver;
        Resolver resolver;
        const auto expected = denormalize_document(text, expected_resolver);
        const auto compiled = denormalize_compiled(text, resolver);
        ASSERT_EQ(compiled.has_value(), expected.has_value()) << name;
        if (compiled) {
            EXPECT_EQ(*compiled, *expected) << name;
        } else {
            EXPECT_EQ(error_display(compiled.error()), error_display(expected.error())) << name;
        }
    });
}

}  // namespace
}  // namespace bezo
