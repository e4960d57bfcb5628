#include "interchange/asn1_export.hpp"

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

TEST(DerOid, ContentOctets) {
    const std::tuple<std::string, bool, std::string> cases[] = {
        {"1.2.840.113549", false, "2a864886f70d"},
        {"0.0", false, "00"},
        {"1.39.0", false, "4f00"},
        {"2.340282366920938463463374607431768211375", false, "83ffffffffffffffffffffffffffffffffff7f"},
        {"340282366920938463463374607431768211455", true, "83ffffffffffffffffffffffffffffffffff7f"},
        {"5.300", true, "05822c"},
        {"0", true, "00"},
        {"1..2", true, "malformed OID: 1..2"},
        {"1.2.", false, "malformed OID: 1.2."},
        {"1.-2", false, "malformed OID: 1.-2"},
        {"340282366920938463463374607431768211456", true, "malformed OID: 340282366920938463463374607431768211456"}};
    for (const auto& [text, relative, expected] : cases) {
        const auto content = encode_oid(text, relative);
        EXPECT_EQ(content ? hex(*content) : content.error().other(), expected) << text;
    }
}

}  // namespace
}  // namespace bezo
