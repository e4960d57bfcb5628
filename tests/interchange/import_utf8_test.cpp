#include <gtest/gtest.h>

#include <string_view>

#include "interchange/json_import.hpp"
#include "interchange/toml_import.hpp"
#include "interchange/xml_import.hpp"
#include "interchange/yaml_import.hpp"

namespace bezo {
namespace {

struct Importer {
    std::string_view name;
    Result<std::string> (*import)(std::string_view text, Utf8State state);
    std::string_view valid;  // a document holding a non-ASCII text
};

const Importer kImporters[] = {
    {"json", import_json_entry, "{\"a\":\"caf\xC3\xA9\"}"},
    {"yaml", import_yaml, "a: caf\xC3\xA9\n"},
    {"toml", import_toml, "a = \"caf\xC3\xA9\"\n"},
    {"xml", import_xml, "<a>caf\xC3\xA9</a>"},
};

// Text of unknown origin is checked whatever the importer; text already
// known to be UTF-8 (a str's) reads the same either way.
TEST(ImportUtf8, UncheckedTextIsRefusedUnlessUtf8AndKnownTextReadsTheSame) {
    for (const Importer& importer : kImporters) {
        for (std::string_view bad : {"\xFF", "\xC0\xAF", "\xED\xA0\x80", "a\xE2\x82"}) {
            auto refused = importer.import(bad, Utf8State::Unchecked);
            ASSERT_FALSE(refused) << importer.name;
            EXPECT_EQ(refused.error().other(), "input is not valid UTF-8") << importer.name;
        }
        auto unchecked = importer.import(importer.valid, Utf8State::Unchecked);
        auto known = importer.import(importer.valid, Utf8State::Valid);
        ASSERT_TRUE(unchecked && known) << importer.name;
        EXPECT_EQ(*unchecked, *known) << importer.name;
    }
}

}  // namespace
}  // namespace bezo
