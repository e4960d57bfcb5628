#include "interchange/asn1_export.hpp"

#include <gtest/gtest.h>

#include <string>

#include "interchange/bytes_hex.hpp"

namespace bezo {
namespace {

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
