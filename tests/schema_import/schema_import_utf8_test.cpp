#include <gtest/gtest.h>

#include <optional>
#include <string>
#include <string_view>

#include "avro/avsc_import.hpp"
#include "schema_import/graphql_import.hpp"
#include "schema_import/jsonschema_import.hpp"
#include "schema_import/xsd_import.hpp"

namespace bezo {
namespace {

// Every schema importer that checks its text as UTF-8, with a schema that
// holds a non-ASCII text and a spot where a byte can stand that the importer
// reads past (a description or a comment): "{}" in `valid`.
struct Importer {
    std::string_view name;
    Result<std::string> (*import)(std::string_view text, Utf8State utf8);
    std::string_view valid;
};

const Importer kImporters[] = {
    {"jsonschema", [](std::string_view text, Utf8State utf8) { return import_jsonschema(text, "s", utf8); },
     R"({"type":"object","description":"{}","properties":{"caf)"
     "\xC3\xA9"
     R"(":{"type":"string"}}})"},
    {"xsd", [](std::string_view text, Utf8State utf8) { return import_xsd(text, std::nullopt, "s", utf8); },
     R"(<xs:schema xmlns:xs="http://www.w3.org/2001/XMLSchema"><!--{}--><xs:element name="r"><xs:complexType>)"
     R"(<xs:sequence><xs:element name="caf)"
     "\xC3\xA9"
     R"(" type="xs:string"/></xs:sequence></xs:complexType></xs:element></xs:schema>)"},
    {"graphql", [](std::string_view text, Utf8State utf8) { return import_graphql(text, std::nullopt, "s", utf8); },
     "# {}\n\"\"\"caf\xC3\xA9\"\"\"\ntype R { name: String }\n"},
    {"avsc", [](std::string_view text, Utf8State utf8) { return import_avsc(text, "s", utf8); },
     R"({"type":"record","name":"R","doc":"{}","fields":[{"name":"caf)"
     "\xC3\xA9"
     R"(","type":"string"}]})"},
};

std::string with(std::string_view pattern, std::string_view filling) {
    std::string text(pattern);
    text.replace(text.find("{}"), 2, filling);
    return text;
}

// Text of unknown origin is refused unless it is UTF-8, with the message as
// before; text said to be UTF-8 is not checked as such again, and reads as
// the same text unchecked does.
TEST(SchemaImportUtf8, UncheckedTextIsRefusedUnlessUtf8AndKnownTextReadsTheSame) {
    for (const Importer& importer : kImporters) {
        for (std::string_view bad : {"\xFF", "\xC0\xAF", "\xED\xA0\x80", "\xF4\x90\x80\x80", "\xE2\x82"}) {
            const std::string text = with(importer.valid, bad);
            auto refused = importer.import(text, Utf8State::Unchecked);
            ASSERT_FALSE(refused) << importer.name;
            EXPECT_EQ(refused.error().other(), "input is not valid UTF-8") << importer.name;
            auto known = importer.import(text, Utf8State::Valid);
            EXPECT_TRUE(known || known.error().other() != "input is not valid UTF-8") << importer.name;
        }
        const std::string text = with(importer.valid, "na\xC3\xAFve \xF0\x9F\x98\x80");
        auto unchecked = importer.import(text, Utf8State::Unchecked);
        auto known = importer.import(text, Utf8State::Valid);
        ASSERT_TRUE(unchecked && known) << importer.name;
        EXPECT_EQ(*unchecked, *known) << importer.name;
    }
}

}  // namespace
}  // namespace bezo
