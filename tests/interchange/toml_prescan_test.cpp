#include "interchange/toml_prescan.hpp"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace bezo {
namespace {

// Cuts as "S6" (Statement at byte 6), "E30" (Element) or "I12:a" (Item of
// the array of key a), every place offered (pieces of one byte).
std::vector<std::string> cut_names(std::string_view text) {
    std::vector<TomlCut> cuts;
    EXPECT_TRUE(prescan_toml(text, &cuts, 1)) << text;
    std::vector<std::string> names;
    for (const TomlCut& cut : cuts) {
        const char kind = cut.kind == TomlCutKind::Statement ? 'S' : cut.kind == TomlCutKind::Element ? 'E' : 'I';
        std::string name = kind + std::to_string(cut.start);
        if (!cut.array_key.empty()) name += ":" + std::string(cut.array_key);
        names.push_back(std::move(name));
    }
    return names;
}

TEST(TomlPrescan, CutsTheTextWherePiecesReadAlone) {
    struct Case {
        std::string text;
        std::vector<std::string> cuts;
    };
    const Case cases[] = {
        // Files of records: the elements of one array of tables.
        {"t = 1\n[[r]]\na = 1\n[r.c]\nb = 2\n  [[r]]\n[[r.d]]\n", {"S6", "E32"}},
        {"[[r]]\ns = \"\"\"\n[[r]]\n\"\"\"\n[[r]]\n", {"E24"}},
        {"a = [\n[1],\n]\n[[r]]\n", {"I10:a", "S13"}},
        {"\xEF\xBB\xBF[[r]]\n", {"S3"}},
        {"t = 1\r\n[[r]]\r\n  [[ r ]] # [[s]]\r\n[[r.s]]\r\n", {"S7", "E16"}},
        {"a = '''\n[[r]]\n'''\n# [[r]]\nb = { c = \"[[r]]\" }\n[[r]]\n", {"S26", "S46"}},
        // Root entries, and groups of tables under one first key.
        {"a = 1\nb.c = 2\n", {"S6"}},
        {"[r]\nx = 1\n[r.s]\n[t]\n[[u]]\n[[u]]\n", {"S16", "S20", "E26"}},
        {"[[r]]\n[r]\n", {}},
        {"[[r]]\n[s]\n[[r]]\n", {"S6", "S10"}},
        {"[[r.s]]\n[[r]]\n", {}},
        {"[[\"r\"]]\n[[r]]\n", {"S8"}},
        {"[[r]]\n[[\"r\".s]]\n[[r]]\n", {"S16"}},
        {"[[r]]\n[[rs]]\n", {"S6"}},
        // Items of a long array of one bare key at the root, cut after the
        // commas between them only.
        {"a = [1, [2, 3], {x = 4, y = 5}, \"6,\" # 7,\n, 8,]\n", {"I7:a", "I15:a", "I31:a", "I43:a", "I46:a"}},
        // Not after a comma with no item before it: the pieces would read
        // alone where the whole text does not.
        {"a = [, 1,, 2, ,3]\n", {"I9:a", "I13:a"}},
        {"a.b = [1, 2]\n\"c\" = [3, 4]\nd = 1 [5, 6]\n", {"S13", "S26"}},
        {"[t]\na = [1, 2]\n", {}},
        {"a = {b = [1, 2]}\n", {}},
    };
    for (const auto& [text, cuts] : cases) EXPECT_EQ(cut_names(text), cuts) << text;
}

TEST(TomlPrescan, KeepsCutsAPieceApart) {
    std::string text = "a = [";
    for (int i = 0; i < 10; ++i) text += "1000,";
    text += "]\n";
    EXPECT_EQ(cut_names(text).size(), 10u);
    std::vector<TomlCut> cuts;
    ASSERT_TRUE(prescan_toml(text, &cuts, 12));
    ASSERT_EQ(cuts.size(), 3u);
    EXPECT_EQ(cuts[0].start, 15u);
    EXPECT_EQ(cuts[1].start, 30u);
    EXPECT_EQ(cuts[2].start, 45u);
}

}  // namespace
}  // namespace bezo
