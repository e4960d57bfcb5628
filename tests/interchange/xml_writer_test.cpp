#include "interchange/xml_writer.hpp"

#include <gtest/gtest.h>

namespace bezo {
namespace {

TEST(XmlWriter, NamesFollowTheXmlNameProduction) {
    const std::pair<std::string_view, bool> cases[] = {
        {"a", true},
        {"_a-1.b:c", true},
        {":", true},
        {"caf\xC3\xA9", true},
        {"a\xC2\xB7"
         "b",
         true},
        {"\xE6\x97\xA5\xE6\x9C\xAC", true},
        {"a\xCC\x81", true},
        {"", false},
        {"1a", false},
        {"-a", false},
        {"\xC2\xB7"
         "a",
         false},
        {"a b", false},
        {"a\xC3\x97"
         "b",
         false},
        {"a\xC2\xA0"
         "b",
         false},
        {"a\xEF\xBF\xBE", false},
        {"a\xFF", false},
    };
    for (const auto& [name, valid] : cases) EXPECT_EQ(is_xml_name(name), valid) << name;
}

}  // namespace
}  // namespace bezo
