#include "schema_import/xsd_import.hpp"

#include <gtest/gtest.h>

#include <string>

#include "lang/resolve.hpp"
#include "schema/schema_compiler.hpp"
#include "schema_import/number_spelling.hpp"
#include "schema_import/xsd_simple_type.hpp"

namespace bezo {
namespace {

// The imported schema, or "error: " and the message; a schema that the
// compiler refuses fails the test.
std::string imported(const std::string& text) {
    auto schema = import_xsd(text, std::nullopt, "t");
    if (!schema) return "error: " + schema.error().other();
    Resolver resolver;
    const auto compiled = compile_schema_text(*schema, resolver);
    EXPECT_TRUE(compiled) << *schema;
    return *schema;
}

std::string body_of(const std::string& schema) { return schema.substr(schema.find("\n\n") + 2); }

// The body of a root R holding one element e of an anonymous simple type
// made of `restriction`.
std::string simple_type_body(const std::string& restriction) {
    return body_of(imported(R"(<xs:schema xmlns:xs="http://www.w3.org/2001/XMLSchema"><xs:element name="R">)"
                            R"(<xs:complexType><xs:sequence><xs:element name="e"><xs:simpleType>)" +
                            restriction + "</xs:simpleType></xs:element></xs:sequence></xs:complexType>" +
                            "</xs:element></xs:schema>"));
}

// The lexical patterns of the "str" member that numeric annotations end in.
constexpr std::string_view kIntegerText = R"(/^[+-]?[0-9]+$/)";
constexpr std::string_view kDecimalText = R"(/^[+-]?([0-9]+(\.[0-9]*)?|\.[0-9]+)$/)";
constexpr std::string_view kFloatText = R"(/^([+-]?([0-9]+(\.[0-9]*)?|\.[0-9]+)([Ee][+-]?[0-9]+)?|[+-]?INF|NaN)$/)";

// A numeric annotation line: `typed`, then the "str" member with the
// lexical pattern and the checks compared as numbers.
std::string numeric_line(std::string_view typed, std::string_view lexical, std::string_view checks) {
    std::string line(typed);
    line += "|str(";
    line += lexical;
    line += checks;
    if (!checks.empty()) line += "..num";
    line += ")\n";
    return line;
}

TEST(XsdBuiltins, MapLocalNamesCaseSensitively) {
    const std::pair<std::string_view, std::string_view> cases[] = {
        {"byte", "!int[-128,127]"},
        {"unsignedLong", "!int[0,18446744073709551615]"},
        {"double", "!float|std/num/inf|std/num/nan"},
        {"boolean", "!bool|str{true,false,1,0}"},
        {"dateTime", R"(!std/time/datetime|std/time/localdatetime|str(/^-?[0-9]{4,}-[0-9]{2}-[0-9]{2})"
                     R"(T[0-9]{2}:[0-9]{2}:[0-9]{2}(\.[0-9]+)?(Z|[+-][0-9]{2}:[0-9]{2})?$/))"},
        {"anyURI", "!std/net/uri|str"},
        {"hexBinary", "!null|str(/^([0-9A-Fa-f]{2})*$/)"},
        {"string", ""},
    };
    for (const auto& [name, annotation] : cases) {
        const XsdBuiltin* builtin = find_xsd_builtin(name);
        ASSERT_NE(builtin, nullptr) << name;
        EXPECT_EQ(builtin->annotation, annotation) << name;
    }
    for (const std::string_view name : {"String", "anyType", "anySimpleType", "ENTITIES"}) {
        EXPECT_EQ(find_xsd_builtin(name), nullptr) << name;
    }
}

TEST(XsdBuiltins, ALibraryStaysListedForADroppedField) {
    const std::string schema =
        imported(R"(<xs:schema><xs:element name="R"><xs:complexType><xs:sequence><xs:element name="t" maxOccurs="9">)"
                 R"(<xs:complexType><xs:sequence><xs:element name="d" type="xs:date" maxOccurs="2"/></xs:sequence>)"
                 R"(</xs:complexType></xs:element></xs:sequence></xs:complexType></xs:element></xs:schema>)");
    EXPECT_EQ(schema,
              ".!hezo t\n.!types std/time\n\n"
              "[/R/@t min=1 max=9]\n// dropped: non-scalar element field d at /R/t\n[]\n");
}

TEST(XsdSimpleTypes, FacetsBecomeConstraintsInStepOrder) {
    const std::pair<std::string, std::string> cases[] = {
        {R"(<xs:restriction base="xs:string"><xs:enumeration value="red"/><xs:enumeration value="green"/>)"
         R"(<xs:pattern value="x"/><xs:length value="2"/></xs:restriction>)",
         "!str{red,green}\n"},
        {R"(<xs:restriction base="xs:string"><xs:enumeration value="a b"/><xs:whiteSpace value="collapse"/>)"
         R"(<xs:maxLength value="3"/><xs:totalDigits value="1"/><xs:pattern value="a/b"/></xs:restriction>)",
         "// dropped: enumeration with unspellable members\n// dropped: totalDigits facet\n"
         "// dropped: whiteSpace facet\n!str/^(a\\/b)$/#[,3]\n"},
        {R"(<xs:restriction base="xs:integer"><xs:minExclusive value="+5"/></xs:restriction>)",
         numeric_line("!int[6,]", kIntegerText, "[6,]")},
        {R"(<xs:restriction base="xs:integer"><xs:minExclusive value="9223372036854775807"/>)"
         R"(<xs:maxExclusive value="-9223372036854775807"/></xs:restriction>)",
         "// dropped: minExclusive out of i64 range\n" +
             numeric_line("!int[,-9223372036854775808]", kIntegerText, "[,-9223372036854775808]")},
        {R"(<xs:restriction base="xs:long"><xs:maxExclusive value="-9223372036854775808"/></xs:restriction>)",
         "// dropped: maxExclusive out of i64 range\n" +
             numeric_line("!int[-9223372036854775808,9223372036854775807]",
                          std::string(kIntegerText) + plus_sign_bound_patterns("", "9223372036854775807"),
                          "[-9223372036854775808,9223372036854775807]")},
        {R"(<xs:restriction base="xs:byte"><xs:minInclusive value="1"/><xs:maxInclusive value="+10"/>)"
         R"(<xs:maxExclusive value="+"/></xs:restriction>)",
         "// dropped: maxExclusive out of i64 range\n" + numeric_line("!int[1,127]", kIntegerText, "[1,127]")},
        {R"(<xs:restriction base="xs:decimal"><xs:minExclusive value="0"/></xs:restriction>)",
         "// dropped: minExclusive (inexact for bezo inclusive ranges)\n" + numeric_line("!float", kDecimalText, "")},
        {R"(<xs:restriction base="xs:double"><xs:minInclusive value="-.5E+3"/></xs:restriction>)",
         numeric_line("!float[-.5E+3,]", kFloatText, "[-.5E+3,]")},
        // Numbers compare by value: every spelling of a member is taken.
        {R"(<xs:restriction base="xs:int"><xs:enumeration value="5"/><xs:enumeration value="-07"/></xs:restriction>)",
         numeric_line(R"(!int(/^(\+?0*((5))|-0*((7)))$/))", R"(/^(\+?0*((5))|-0*((7)))$/)", "")},
        {R"(<xs:restriction base="xs:date"><xs:maxLength value="3"/></xs:restriction>)",
         "// dropped: facets on xs:date (base type kept)\n"
         "!std/time/date|str(/^-?[0-9]{4,}-[0-9]{2}-[0-9]{2}(Z|[+-][0-9]{2}:[0-9]{2})?$/)\n"},
        {R"(<xs:restriction base="Mine"/>)",
         "// dropped: restriction on non-built-in base Mine\n"
         "// dropped: element e at /R has no resolvable type\n"},
        {R"(<xs:list itemType="xs:int"/>)", "// dropped: element e at /R has no resolvable type\n"},
    };
    for (const auto& [restriction, lines] : cases) {
        const std::string body = simple_type_body(restriction);
        EXPECT_EQ(body.substr(0, body.find("/R::e=")), lines) << restriction;
    }
}

TEST(XsdSimpleTypes, PatternsMatchTheWholeValueAndKeepXsdLiterals) {
    const std::pair<std::string, std::string> cases[] = {
        {"[a-z]{3}", "!str/^([a-z]{3})$/\n"},
        {"ab|cd", "!str/^(ab|cd)$/\n"},
        // "^" and "$" are characters in XSD: escaped outside classes, kept
        // where a class reads them as XSD does.
        {"^a$", R"(!str/^(\^a\$)$/)"
                "\n"},
        {"[^$]x[a^]", R"(!str/^([^$]x[a^])$/)"
                      "\n"},
        {R"(\^)", R"(!str/^(\^)$/)"
                  "\n"},
        {"[]^]", "!str/^([]^])$/\n"},
        // "." matches no line end; a "." in a class or escaped is a dot.
        {"a.b", R"(!str/^(a[^\x0A\x0D]b)$/)"
                "\n"},
        {R"([.]\.[].])", R"(!str/^([.]\.[].])$/)"
                         "\n"},
        {"a)|(b", "// dropped: pattern outside the bezo regex dialect: a)|(b\n"},
    };
    for (const auto& [pattern, lines] : cases) {
        const std::string body = simple_type_body(R"(<xs:restriction base="xs:string"><xs:pattern value=")" + pattern +
                                                  R"("/></xs:restriction>)");
        EXPECT_EQ(body.substr(0, body.find("/R::e=")), lines) << pattern;
    }
}

TEST(XsdParticles, OccurrencesAndRepeatedNames) {
    const std::string head = R"(<xs:schema><xs:element name="R"><xs:complexType>)";
    const std::string tail = "</xs:complexType></xs:element></xs:schema>";
    const std::pair<std::string, std::string> cases[] = {
        // A count beyond 64 bits repeats as "unbounded" does.
        {R"(<xs:sequence><xs:element name="v" type="xs:string" maxOccurs="99999999999999999999"/></xs:sequence>)",
         "[/R/@v min=1]\n[]\n/R/@v;=\n"},
        {R"(<xs:sequence><xs:element name="t" maxOccurs="99999999999999999999" minOccurs="2">)"
         R"(<xs:complexType/></xs:element></xs:sequence>)",
         "[/R/@t min=2]\n[]\n"},
        {R"(<xs:sequence><xs:element name="v" type="xs:string" maxOccurs="1x"/></xs:sequence>)", "/R::v=\n"},
        // An element named like an attribute's key is the second of one field.
        {R"(<xs:sequence><xs:element name="@a" type="xs:int"/></xs:sequence><xs:attribute name="a"/>)",
         "/R::\"@a\"?=\n// dropped: duplicate element @a at /R\n"},
        {R"(<xs:simpleContent><xs:extension base="xs:boolean"><xs:attribute name="u" use="required"/>)"
         R"(</xs:extension></xs:simpleContent>)",
         "/R::\"@u\"=\n!bool|str{true,false,1,0}\n/R::\"#text\"=\n"},
    };
    for (const auto& [content, lines] : cases) {
        EXPECT_EQ(body_of(imported(head + content + tail)), lines) << content;
    }
}

TEST(XsdImport, FindsTheVocabularyPrefix) {
    const std::string ns = R"("http://www.w3.org/2001/XMLSchema")";
    const std::pair<std::string, std::string> cases[] = {
        {"<schema xmlns=" + ns + R"(><element name="a"><complexType/></element></schema>)", ".!hezo t\n\n"},
        {"<any xmlns:q=" + ns + R"(><q:element name="a"><q:complexType/></q:element></any>)", ".!hezo t\n\n"},
        {R"(<foo:schema><foo:element name="a"><foo:complexType/></foo:element></foo:schema>)", ".!hezo t\n\n"},
        {R"(<xs:schema xmlns="other"><xs:element name="a"><xs:complexType/></xs:element></xs:schema>)", ".!hezo t\n\n"},
        {"<xs:schema/>", "error: empty schema document"},
        {"<xsd:schema xmlns:xsd=" + ns + R"(><xs:element name="a"/></xsd:schema>)",
         "error: the schema declares no top-level elements"},
        {"<xs:schemas/>", "error: the document root is not an XSD schema element"},
        {R"(<x xmlns="other"/>)", "error: the document root is not an XSD schema element"},
    };
    for (const auto& [text, result] : cases) EXPECT_EQ(imported(text), result) << text;
}

}  // namespace
}  // namespace bezo
