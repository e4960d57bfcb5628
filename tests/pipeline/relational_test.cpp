#include "pipeline/relational.hpp"

#include <gtest/gtest.h>

#include <optional>
#include <string>
#include <vector>

#include "pipeline/compile_line.hpp"

namespace bezo {
namespace {

struct KeyCase {
    std::string key;
    std::string expected;
};

TEST(NormalizeKey, SpellsEveryKeyForm) {
    const std::vector<KeyCase> cases = {
        {"alice", "alice"},
        {"_x9", "_x9"},
        {"a b", "\"a b\""},
        {"9lives", "\"9lives\""},
        {"x-y", "\"x-y\""},
        {"\"q\"", "q"},          // quoted plain identifier loses its quotes
        {"\"a b\"", "\"a b\""},  // well-quoted key kept
        {"\"a\"\"b\"", "\"a\"\"b\""},
        {"a\"b", "\"a\"\"b\""},              // inner quote doubled
        {"\"a\"b\"", "\"\"\"a\"\"b\"\"\""},  // unpaired inner quote: quoted whole
        {"\"\"", "\"\"\"\"\"\""},            // too short to be a quoted key
        {"", "\"\""},
        {"a'b", "\"a'b\""},
    };
    for (const auto& c : cases) EXPECT_EQ(normalize_key(c.key), c.expected) << c.key;
}

Annotation annotation(std::string_view text) {
    auto parsed = parse_annotation(text);
    if (!parsed) ADD_FAILURE() << "annotation does not parse: " << text;
    return parsed.value_or(Annotation{});
}

struct SignatureCase {
    std::optional<std::string> annotation;  // none: a field without annotation
    std::optional<std::string> provenance_line;
    std::string expected;
};

TEST(RenderTypeSignature, WritesTypeConstraintsUnitAndProvenance) {
    const std::vector<SignatureCase> cases = {
        {std::nullopt, std::nullopt, "!str"},
        {std::nullopt, "src@20240131T235959Z", "!str?src@2024-01-31T23:59:59Z"},
        {"!int", std::nullopt, "!int"},
        {"!:m", std::nullopt, "!:m"},
        {"!:km?p", std::nullopt, "!:km?p"},
        {"!int(..num)[0,5]/^[0-9]+$/", std::nullopt, "!int/^[0-9]+$/[0,5]..num"},
        {"!str#{3}{a,,b}[,10](..lex[de])/x/", std::nullopt, "!str/x/[,10]{a,,b}#{3}..lex[de]"},
        {"!float[0,]:m/s/s", std::nullopt, "!float[0,]:m/s^2"},
        {"!std/time/date", std::nullopt, "!std/time/date"},
        {"!int?", std::nullopt, "!int?"},
        {"!int?a", "b", "!int?b"},  // the provenance line wins
        {"!map<int>", std::nullopt, "!int"},
        {"!map", std::nullopt, "!str"},
        {"!map<int>?p@20240131T235959Z", std::nullopt, "!int?p@20240131T235959Z"},  // not rewritten
        {"!map<int>?p", "q", "!int?q"},
    };
    for (const auto& c : cases) {
        std::optional<Annotation> parsed;
        if (c.annotation) parsed = annotation(*c.annotation);
        EXPECT_EQ(render_type_signature(parsed ? &*parsed : nullptr, c.provenance_line), c.expected)
            << c.annotation.value_or("(none)");
    }
}

TEST(RenderTypeSignature, UnitWithoutCanonicalSpellingIsWrittenAsAuthored) {
    Annotation unit_only;
    unit_only.unit = "m s";
    EXPECT_EQ(render_type_signature(&unit_only, std::nullopt), "!:m s");
}

struct ProvenanceCase {
    std::string text;
    std::string expected;
};

TEST(AppendProvenanceItems, ExpandsCompactTimestampsItemByItem) {
    const std::vector<ProvenanceCase> cases = {
        {"", ""},
        {"src", "src"},
        {"src@20240131T235959Z#rev", "src@2024-01-31T23:59:59Z#rev"},
        {"a,b@20240131T235959Z,c", "a,b@2024-01-31T23:59:59Z,c"},
        {"a@2024-01-31T23:59:59Z", "a@2024-01-31T23:59:59Z"},
        {"a#x@20240131T235959Z", "a#x@20240131T235959Z"},  // after "#" nothing is rewritten
        {"a@b@20240131T235959Z", "a@b@20240131T235959Z"},  // only the text after the first "@"
        {"a,,b", "a,,b"},
    };
    for (const auto& c : cases) {
        std::string out;
        append_provenance_items(out, c.text);
        EXPECT_EQ(out, c.expected) << c.text;
    }
}

struct PlacementCase {
    std::vector<std::string> lines;
    std::string expected;
};

TEST(RelationalText, PlacesDelegationsAfterTheLeadingHeaderBlock) {
    const std::vector<std::string> delegations = {".!schema:/a s", ".!schema:/b t"};
    const std::vector<PlacementCase> cases = {
        {{}, ".!lezo\n.!schema:/a s\n.!schema:/b t\n"},
        {{"!str'::x=1"}, ".!lezo\n.!schema:/a s\n.!schema:/b t\n!str'::x=1\n"},
        {{".!units u", ".?x", "!str'::x=1", ".!fk f"},
         ".!lezo\n.!units u\n.?x\n.!schema:/a s\n.!schema:/b t\n!str'::x=1\n.!fk f\n"},
        {{" \t.!units u", "."}, ".!lezo\n \t.!units u\n.!schema:/a s\n.!schema:/b t\n.\n"},
    };
    for (const auto& c : cases) {
        RelationalText text;
        for (const auto& line : c.lines) text.append_line(line);
        EXPECT_EQ(std::move(text).finish(delegations), c.expected);
    }
}

TEST(RelationalText, ContentLineEndsTheHeaderBlock) {
    RelationalText text;
    text.begin_line() += "!str'::x=1";
    text.end_line();
    text.append_line(".!fk f");
    const std::vector<std::string> delegations = {".!schema:/a s"};
    EXPECT_EQ(std::move(text).finish(delegations), ".!lezo\n.!schema:/a s\n!str'::x=1\n.!fk f\n");
}

struct PathCase {
    std::string text;
    std::vector<std::string> segments;
};

TEST(ParsePath, SkipsLeadingSlashesAndSpellsSegments) {
    const std::vector<PathCase> cases = {
        {"", {}},
        {"/a/@b/.c", {"a", "@b", ".c"}},
        {"//a", {"a"}},
        {"@\"row\"/\"a b\"", {"@row", "\"a b\""}},
        {"\"a::b\"/c", {"\"a::b\"", "c"}},
    };
    for (const auto& c : cases) {
        auto segments = parse_path(c.text);
        ASSERT_TRUE(segments.has_value()) << c.text;
        EXPECT_EQ(*segments, c.segments) << c.text;
    }
}

TEST(ParsePath, RefusesNamespaceSeparator) {
    for (std::string_view text : {"a::b", "/x/y::", "::"}) {
        auto segments = parse_path(text);
        ASSERT_FALSE(segments.has_value()) << text;
        EXPECT_EQ(error_display(segments.error()),
                  "'::' is not allowed in a path (namespace/array/map-assign) position");
    }
}

}  // namespace
}  // namespace bezo
