#include "interchange/toml_prescan.hpp"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace bezo {
namespace {

TEST(TomlPrescan, FindsTheElementsOfAFileOfRecords) {
    struct Case {
        std::string text;
        std::string_view key;  // empty: not read in pieces
        std::vector<std::size_t> starts;
    };
    const Case cases[] = {
        {"t = 1\n[[r]]\na = 1\n[r.c]\nb = 2\n  [[r]]\n[[r.d]]\n", "r", {6, 30}},
        {"[[r]]\ns = \"\"\"\n[[r]]\n\"\"\"\n[[r]]\n", "r", {0, 24}},
        {"a = [\n[1],\n]\n[[r]]\n", "r", {13}},
        {"\xEF\xBB\xBF[[r]]\n", "r", {3}},
        {"t = 1\r\n[[r]]\r\n  [[ r ]] # [[s]]\r\n[[r.s]]\r\n", "r", {7, 14}},
        {"a = '''\n[[r]]\n'''\n# [[r]]\nb = { c = \"[[r]]\" }\n[[r]]\n", "r", {46}},
        // Shapes whose pieces would not read alone.
        {"a = 1\n", "", {}},
        {"[r]\nx = 1\n", "", {}},
        {"[[r]]\n[r]\n", "", {}},
        {"[[r]]\n[s]\n[[r]]\n", "", {}},
        {"[[r.s]]\n[[r]]\n", "", {}},
        {"[[\"r\"]]\n[[r]]\n", "", {}},
        {"[[r]]\n[[\"r\".s]]\n", "", {}},
        {"[[r]]\n[[rs]]\n", "", {}},
    };
    for (const auto& [text, key, starts] : cases) {
        TomlElementRun elements;
        ASSERT_TRUE(prescan_toml(text, &elements)) << text;
        EXPECT_EQ(elements.key, key) << text;
        EXPECT_EQ(elements.starts, starts) << text;
    }
}

}  // namespace
}  // namespace bezo
