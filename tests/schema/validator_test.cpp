#include "schema/validator.hpp"

#include <gtest/gtest.h>

#include <string>

#include "schema/compiled.hpp"

namespace bezo {
namespace {

TEST(ParseCanonicalLines, KeepsLineNumbersAndTheMetadataThatMatters) {
    const auto lines =
        parse_canonical_lines(".!nezo\n# c\n\n  !int:km?src@t'/a::d=5\r\n!str'::\"k=v\"=x=y\n!str[0,1]?'::e=\n");
    ASSERT_TRUE(lines) << error_display(lines.error());
    ASSERT_EQ(lines->size(), 3u);
    const CanonicalLine& quantity = (*lines)[0];
    EXPECT_EQ(quantity.line, 4u);
    EXPECT_EQ(quantity.type_name, "int");
    EXPECT_EQ(quantity.path, "/a::d");
    EXPECT_EQ(quantity.value, "5");
    EXPECT_EQ(quantity.unit, "km");
    EXPECT_EQ(quantity.provenance, "src@t");
    EXPECT_EQ((*lines)[1].path, "::\"k=v\"");
    EXPECT_EQ((*lines)[1].value, "x=y");
    EXPECT_EQ((*lines)[1].provenance, std::nullopt);
    EXPECT_EQ((*lines)[2].type_name, "str");
    EXPECT_EQ((*lines)[2].provenance, "");
}

TEST(ParseCanonicalLines, RefusesLinesItCannotRead) {
    const struct {
        std::string_view text;
        std::string_view message;
    } cases[] = {
        {".!nezo\n\tplain\n", "canonical line without ' (line 2): plain"},
        {".!nezo\n!str'::\"a=1\n", "canonical line without = (line 2): !str'::\"a=1"},
        {".!nezo\n!str'::a=1\nint'::b=2\n", "bad metadata prefix (line 3): int"},
    };
    for (const auto& c : cases) {
        const auto lines = parse_canonical_lines(c.text);
        ASSERT_FALSE(lines) << c.text;
        EXPECT_EQ(error_display(lines.error()), c.message);
    }
}

// The verdict of a canonical text under a compiled schema text, as its text
// form; "pass" when it passes.
std::string verdict_of(std::string_view canonical, std::string_view compiled) {
    const auto schema = parse_compiled_schema(compiled);
    EXPECT_TRUE(schema) << compiled;
    if (!schema) return "unreadable schema";
    const Verdict verdict = validate_stream(canonical, *schema);
    return verdict ? "pass"
                   : error_display(Error::App(verdict.error().error, verdict.error().line, verdict.error().context));
}

// A canonical text, the compiled schema it is checked against, and the
// verdict expected.
struct VerdictCase {
    std::string_view schema;
    std::string_view canonical;
    std::string_view verdict;
};

template <std::size_t N>
void expect_verdicts(const VerdictCase (&cases)[N]) {
    for (const auto& c : cases) EXPECT_EQ(verdict_of(c.canonical, c.schema), c.verdict) << c.canonical;
}

TEST(ValidateStream, UniqueKeysAndReferencesOverQuotedColumns) {
    constexpr std::string_view kUnique = ".!whezo s\n/r/@x [unique::\"a b\"]\n/^/'/r/@x/::\"a b\"=\n";
    constexpr std::string_view kReference =
        ".!whezo s\n/^/'/c/@c/::\"k y\"=\n/o/@r [ref::\"c u\"=/c/@c/*::\"k y\"]\n/^/'/o/@r/::\"c u\"=\n";
    constexpr std::string_view kMixed = ".!whezo s\n/r/@x [unique::id,\"a-b\"]\n/^/'/r/@x/::id=\n/^/'/r/@x/::a-b=\n";
    const VerdictCase cases[] = {
        {kUnique, ".!nezo\n!int'/r/@x/0::\"a b\"=1\n!int'/r/@x/1::\"a b\"=2\n", "pass"},
        {kUnique, ".!nezo\n!int'/r/@x/0::\"a b\"=1\n!int'/r/@x/1::\"a b\"=1\n",
         "UniquenessViolationError: /r/@x: duplicate value (1) for unique key (a b)"},
        {kReference, ".!nezo\n!str'/c/@c/0::\"k y\"=a\n!str'/o/@r/0::\"c u\"=a\n", "pass"},
        {kReference, ".!nezo\n!str'/c/@c/0::\"k y\"=a\n!str'/o/@r/0::\"c u\"=b\n",
         "ReferentialIntegrityError: /o/@r: c u=b has no match in /c/@c/*::k y"},
        // a name that needs quotes as a column but not as a path segment
        {kMixed, ".!nezo\n!int'/r/@x/0::id=1\n!str'/r/@x/0::a-b=p\n!int'/r/@x/1::id=1\n!str'/r/@x/1::a-b=q\n", "pass"},
        {kMixed, ".!nezo\n!int'/r/@x/0::id=1\n!str'/r/@x/0::a-b=p\n!int'/r/@x/1::id=1\n!str'/r/@x/1::a-b=p\n",
         "UniquenessViolationError: /r/@x: duplicate value (1, p) for unique key (id, a-b)"},
    };
    expect_verdicts(cases);
}

TEST(ValidateStream, EntriesWithoutOwnFieldsMeetTheRequiredOnes) {
    constexpr std::string_view kRows = ".!whezo s\n/@r [min=2]\n/^/'/@r/::a=\n";
    constexpr std::string_view kOptional = ".!whezo s\n/^/'/@r/::b?=\n";
    const VerdictCase cases[] = {
        {kRows, ".!nezo\n!str'/@r/0::a=1\n!str'/@r/1::a=2\n!str'/@r/1/o::k=1\n", "pass"},
        // an entry of nested members only, first or last
        {kRows, ".!nezo\n!str'/@r/0::a=1\n!str'/@r/1/o::k=1\n",
         "RequiredFieldSchemaError: element /@r/1 missing declared field /@r/::a"},
        {kRows, ".!nezo\n!str'/@r/0/o::k=1\n!str'/@r/1::a=1\n",
         "RequiredFieldSchemaError: element /@r/0 missing declared field /@r/::a"},
        // an item that is no record: an embedded empty object, a null
        {kRows, ".!nezo\n!std/enc/json'/@r::0=e30\n!str'/@r/1::a=1\n",
         "RequiredFieldSchemaError: element /@r/0 missing declared field /@r/::a"},
        {kRows, ".!nezo\n!str'/@r/0::a=1\n!null'/@r::1=\n",
         "RequiredFieldSchemaError: element /@r/1 missing declared field /@r/::a"},
        {kOptional, ".!nezo\n!std/enc/json'/@r::0=e30\n!str'/@r/1::b=1\n", "pass"},
        {kRows, ".!nezo\n!str'/@r/0::a=1\n", "CardinalityViolationError: /@r has 1 elements, schema requires min=2"},
    };
    expect_verdicts(cases);
}

TEST(ValidateStream, AValueWhereARecordIsDeclaredIsRefused) {
    constexpr std::string_view kRecord = ".!whezo s\n/^/'/o/\"p q\"::x?=\n";
    const VerdictCase cases[] = {
        {kRecord, ".!nezo\n!str'/o/\"p q\"::x=1\n", "pass"},
        {kRecord, ".!nezo\n!null'::o=\n!str'/o/\"p q\"::x=1\n",
         "TypeMismatchError: ::o holds a value where the schema declares the record /o (line 2)"},
        {kRecord, ".!nezo\n!str'/o/\"p q\"::x=1\n!std/enc/json'/o::\"p q\"=e30\n",
         "TypeMismatchError: /o::\"p q\" holds a value where the schema declares the record /o/\"p q\" (line 3)"},
        {kRecord, ".!nezo\n!str'/o/\"p q\"::x=1\n!str'/o::p=1\n", "pass"},
    };
    expect_verdicts(cases);
}

TEST(ValidateStream, NoRecordOrListBesideADeclaredValueOrList) {
    // Lines that no export can write together: a record or list where a
    // value is declared, a value or record beside a declared list's lines.
    constexpr std::string_view kSchema = ".!whezo s\n/^/'/o::\"x y\"=\n/@r [min=0]\n/^/'/@r/::a?=\n/^/'/@v::=\n";
    const struct {
        std::string_view canonical;
        std::string_view verdict;
    } cases[] = {
        {".!nezo\n!str'/o::\"x y\"=1\n!str'/@r/0::a=1\n!str'/@v::0=1\n", "pass"},
        {".!nezo\n!str'/o::\"x y\"=1\n!str'/o/\"x y\"::q=1\n",
         "TypeMismatchError: /o/\"x y\"::q holds a record or list where the schema declares the value /o::\"x y\" "
         "(line 3)"},
        {".!nezo\n!str'/o/@\"x y\"::0=1\n!str'/o::\"x y\"=1\n",
         "TypeMismatchError: /o/@\"x y\"::0 holds a record or list where the schema declares the value /o::\"x y\" "
         "(line 2)"},
        {".!nezo\n!str'/o::\"x y\"=1\n!str'/@r/0/a::q=1\n",
         "TypeMismatchError: /@r/0/a::q holds a record or list where the schema declares the value /@r/0::a (line 3)"},
        {".!nezo\n!str'/o::\"x y\"=1\n!str'::v=1\n!str'/@v::0=2\n",
         "TypeMismatchError: ::v stands beside the lines of the list /@v (line 3)"},
        {".!nezo\n!str'/o::\"x y\"=1\n!str'/@r/0::a=1\n!str'/r::a=2\n",
         "TypeMismatchError: /r::a stands beside the lines of the list /@r (line 4)"},
        // without the list's lines, a lone value or record still stands where the list is declared
        {".!nezo\n!str'/o::\"x y\"=1\n!str'::v=1\n",
         "TypeMismatchError: ::v holds a value where the schema declares the vector /@v (line 3)"},
        {".!nezo\n!str'/o::\"x y\"=1\n!str'/r::a=2\n",
         "TypeMismatchError: /r::a holds a record where the schema declares the table /@r (line 3)"},
    };
    for (const auto& c : cases) EXPECT_EQ(verdict_of(c.canonical, kSchema), c.verdict) << c.canonical;
}

TEST(ValidateStream, ADeclaredCollectionTakesOnlyItsOwnShape) {
    // A table /@t, a vector /o/@"v w", a map /m, a record /o and a table
    // whose section declares no field, /@e.
    constexpr std::string_view kSchema =
        ".!whezo s\n/@t [min=0]\n/^/'/@t/::a?=\n/^/'/o/@\"v w\"::=\n/^/'/o::x?=\n/^/'/m::=\n/@e [min=0]\n";
    const VerdictCase cases[] = {
        {kSchema, ".!nezo\n!str'/@t/0::a=1\n!str'/o/@\"v w\"::0=1\n!str'/o::x=1\n!str'/m::k=1\n", "pass"},
        // the empty collection, and lines no declaration covers
        {kSchema, ".!nezo\n!std/enc/json'::t=W10\n!std/enc/json'/o::\"v w\"=W10\n!str'/o::x=1\n!std/enc/json'::m=e30\n",
         "pass"},
        {kSchema, ".!nezo\n!null'::u=\n!str'/@u/0::a=1\n!str'/q::a=1\n!str'/o::x=1\n", "pass"},
        // a value, null or record where a table or vector is declared
        {kSchema, ".!nezo\n!int'::t=5\n",
         "TypeMismatchError: ::t holds a value where the schema declares the table /@t (line 2)"},
        {kSchema, ".!nezo\n!null'::t=\n",
         "TypeMismatchError: ::t holds null where the schema declares the table /@t (line 2)"},
        {kSchema, ".!nezo\n!std/enc/json'::t=e30\n",
         "TypeMismatchError: ::t holds a record where the schema declares the table /@t (line 2)"},
        {kSchema, ".!nezo\n!str'/t::a=x\n",
         "TypeMismatchError: /t::a holds a record where the schema declares the table /@t (line 2)"},
        {kSchema, ".!nezo\n!str'/t/u::a=x\n",
         "TypeMismatchError: /t/u::a holds a record where the schema declares the table /@t (line 2)"},
        {kSchema, ".!nezo\n!int'::e=5\n",
         "TypeMismatchError: ::e holds a value where the schema declares the table /@e (line 2)"},
        {kSchema, ".!nezo\n!null'/o::\"v w\"=\n",
         "TypeMismatchError: /o::\"v w\" holds null where the schema declares the vector /o/@\"v w\" (line 2)"},
        {kSchema, ".!nezo\n!int'/o/\"v w\"::a=1\n",
         "TypeMismatchError: /o/\"v w\"::a holds a record where the schema declares the vector /o/@\"v w\" (line 2)"},
        // a value, null or list where a map is declared
        {kSchema, ".!nezo\n!int'::m=5\n",
         "TypeMismatchError: ::m holds a value where the schema declares the map /m (line 2)"},
        {kSchema, ".!nezo\n!null'::m=\n",
         "TypeMismatchError: ::m holds null where the schema declares the map /m (line 2)"},
        {kSchema, ".!nezo\n!std/enc/json'::m=W10\n",
         "TypeMismatchError: ::m holds a list where the schema declares the map /m (line 2)"},
        {kSchema, ".!nezo\n!int'/@m::0=1\n",
         "TypeMismatchError: /@m::0 holds a list where the schema declares the map /m (line 2)"},
        // a record or list as the entry of a map
        {kSchema, ".!nezo\n!int'/m/k::a=1\n",
         "TypeMismatchError: /m/k::a holds a record or list where the schema declares the value /m::k (line 2)"},
        {kSchema, ".!nezo\n!int'/m/@k::0=1\n",
         "TypeMismatchError: /m/@k::0 holds a record or list where the schema declares the value /m::k (line 2)"},
        // a list where a record is declared
        {kSchema, ".!nezo\n!str'/@o/0::x=1\n",
         "TypeMismatchError: /@o/0::x holds a list where the schema declares the record /o (line 2)"},
        {kSchema, ".!nezo\n!str'/@o::0=1\n",
         "TypeMismatchError: /@o::0 holds a list where the schema declares the record /o (line 2)"},
    };
    expect_verdicts(cases);
}

TEST(ValidateStream, ARecordOfCollectionsOnlyRefusesAList) {
    constexpr std::string_view kSchema = ".!whezo s\n/^/'/o/@v::=\n";
    const VerdictCase cases[] = {
        {kSchema, ".!nezo\n!str'/o/@v::0=1\n", "pass"},
        {kSchema, ".!nezo\n!str'/@o/0/@v::0=1\n",
         "TypeMismatchError: /@o/0/@v::0 holds a list where the schema declares the record /o (line 2)"},
        {kSchema, ".!nezo\n!std/enc/json'::o=W10\n",
         "TypeMismatchError: ::o holds a list where the schema declares the record /o (line 2)"},
        // an empty XML element stands for the empty record
        {kSchema, ".!nezo\n!null'::o=\n", "pass"},
    };
    expect_verdicts(cases);
}

}  // namespace
}  // namespace bezo
