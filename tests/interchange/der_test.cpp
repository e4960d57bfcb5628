#include "interchange/der.hpp"

#include <gtest/gtest.h>

#include <string>

#include "interchange/bytes_hex.hpp"

namespace bezo {
namespace {

TEST(DerHeader, HighTagNumbersAndLongLengths) {
    struct Case {
        DerClass tag_class;
        std::uint32_t number;
        std::size_t length;
        std::string header;
    };
    const Case cases[] = {
        {DerClass::ContextSpecific, 30, 1, "be01"},  {DerClass::ContextSpecific, 31, 0, "bf1f00"},
        {DerClass::Application, 128, 0, "7f810000"}, {DerClass::Private, 4294967295, 0, "ff8fffffff7f00"},
        {DerClass::Universal, 4, 127, "247f"},       {DerClass::Universal, 4, 128, "248180"},
        {DerClass::Universal, 4, 256, "24820100"},   {DerClass::Universal, 4, 65536, "2483010000"}};
    for (const auto& c : cases) {
        const std::vector<std::uint8_t> content(c.length, 0xAB);
        std::vector<std::uint8_t> out;
        write_der_header(c.tag_class, true, c.number, content, out);
        EXPECT_EQ(hex(out), c.header + hex(content)) << c.header;
    }
}

}  // namespace
}  // namespace bezo
