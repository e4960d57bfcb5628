#include "schema/check.hpp"

#include <gtest/gtest.h>

#include "interchange/base64url.hpp"

#include <algorithm>
#include <optional>
#include <string>
#include <vector>

namespace bezo {
namespace {

constexpr CheckResult kPass = CheckResult::pass();
constexpr CheckResult kViolation = CheckResult::fail(AppErrorKind::ConstraintViolation);
constexpr CheckResult kMismatch = CheckResult::fail(AppErrorKind::TypeMismatch);
constexpr CheckResult kNoCollation = CheckResult::fail(AppErrorKind::CollationUnsupported);
constexpr CheckResult kCollision = CheckResult::fail(AppErrorKind::DelimiterCollision);

std::string describe(CheckResult result) {
    return result.passed() ? "pass" : std::string(app_error_kind_name(result.kind()));
}

std::vector<AnnotationItem> items_of(std::string_view line) {
    auto items = split_annotation_line(line);
    EXPECT_TRUE(items.has_value()) << line;
    return items.value_or(std::vector<AnnotationItem>{});
}

Constraint constraint_of(std::string_view text) {
    const auto items = items_of(text);
    EXPECT_EQ(items.size(), 1u) << text;
    return std::get<Constraint>(items.at(0).value);
}

struct ConstraintCase {
    std::string_view constraint;
    std::string_view domain;
    std::string_view value;
    CheckResult expected;
};

void expect_constraint_cases(std::span<const ConstraintCase> cases) {
    PatternCache patterns;
    for (const ConstraintCase& c : cases) {
        const CheckResult result = check_constraint(constraint_of(c.constraint), c.domain, c.value, patterns);
        EXPECT_EQ(result, c.expected) << c.constraint << " in " << c.domain << " on «" << c.value << "» gave "
                                      << describe(result);
    }
}

TEST(CheckConstraint, PatternsSpansAndBytewiseOrder) {
    const ConstraintCase cases[] = {
        {"/^a/", "..lex", "abc", kPass},
        {"/^a/", "..num", "abc", kPass},
        {"/^a/", "..lex", "bac", kViolation},
        {"/b/", "..lex", "abc", kPass},
        {"/a{2,1}/", "..lex", "aa", kViolation},  // does not compile
        {"/a\\/b/", "..lex", "a/b", kPass},
        {"..num", "..lex", "anything", kPass},
        {"[a,m]", "..lex", "b", kPass},
        {"[a,m]", "..lex", "z", kViolation},
        {"[a,m]", "..lex", "m", kPass},
        {"[a,m]", "..lex", "ma", kViolation},
        {"[,]", "..lex", "", kPass},
        {"[a,m]", "..other", "b", kPass},
        {"[9,]", "..lex", "10", kViolation},
        {"{a,,b}", "..lex", "", kPass},
        {"{a,b}", "..lex", "c", kViolation},
    };
    expect_constraint_cases(cases);
}

TEST(CheckConstraint, NumericVersionAndTimeDomains) {
    const ConstraintCase cases[] = {
        {"[0,10]", "..num", "7", kPass},
        {"[0,10]", "..num", "11", kViolation},
        {"[0,10]", "..num", "abc", kViolation},
        {"[,]", "..num", "abc", kPass},
        {"[1000000000000000000000000000000000000000,1000000000000000000000000000000000000001]", "..num",
         "1000000000000000000000000000000000000001", kPass},
        {"[1000000000000000000000000000000000000000,1000000000000000000000000000000000000001]", "..num",
         "1000000000000000000000000000000000000002", kViolation},
        {"[0,0]", "..num", "-0", kPass},
        {"[7,7]", "..num", "007", kPass},
        {"[0.5,1]", "..num", ".5", kPass},
        {"[,0.5]", "..num", ".6", kViolation},
        {"[0.5,]", "..num", "abc", kViolation},
        {"{7}", "..num", "7.0", kViolation},
        {"{7}", "..num", "7", kPass},
        {"[1.2,2]", "..ver", "1.10", kPass},
        {"[,1.2]", "..ver", "1.2.0", kViolation},
        {"{1.2}", "..ver", "1.02", kViolation},
        {"[1.4,]", "..ver", "1.+5", kPass},
        {"[2024-01-01T08:00:00Z,2024-01-01T08:00:00Z]", "..time", "2024-01-01T10:00:00+02:00", kPass},
        {"[2024-03-01,2024-03-01]", "..time", "2024-02-30", kPass},
        {"[,10:00:00.5]", "..time", "10:00:00.25", kPass},
        {"[,10:00:00.5]", "..time", "10:00:00.75", kViolation},
        {"[2024-01-01T00:00:00-01:00,]", "..time", "2024-01-01T00:30:00Z", kViolation},
        {"[b,c]", "..time", "bb", kPass},  // neither side reads as a date: bytes
    };
    expect_constraint_cases(cases);
}

TEST(CheckConstraint, LengthsCountCharactersAsNumbers) {
    const ConstraintCase cases[] = {
        {"#[1,3]", "..lex", "\u00e4\u00f6\u00fc", kPass},  // six bytes, three characters
        {"#[1,3]", "..lex", "abcd", kViolation},
        {"#[1,]", "..lex", "", kViolation},
        {"#{3,5}", "..lex", "abc", kPass},
        {"#{3,5}", "..lex", "abcd", kViolation},
        {"#[2,10]", "..ver", "abcde", kPass},  // 5 <= 10 as numbers, not as bytes
        {"#[2,10]", "..lex[de]", "abcde", kPass},
    };
    expect_constraint_cases(cases);
}

TEST(CheckConstraint, CollationDomains) {
    const ConstraintCase cases[] = {
        {"[a,b]", "..lex[de]", "\u00e4", kPass}, {"[a,b]", "..lex", "\u00e4", kViolation},
        {"[a,b]", "..lex[de]", "c", kViolation}, {"{A}", "..lex[de-u-ks-level1]", "a", kPass},
        {"{A}", "..lex[de]", "a", kViolation},
    };
    expect_constraint_cases(cases);
}

TEST(CheckConstraint, UnusableCollationFailsEveryConstraint) {
    for (std::string_view constraint : {"/x/", "[a,b]", "{x}", "#[1,2]", "..num"}) {
        for (std::string_view domain : {"..lex[de-u-ks-level4]", "..lex[zz-u-xx-yes]", "..lex[]"}) {
            const ConstraintCase c{constraint, domain, "x", kNoCollation};
            expect_constraint_cases({&c, 1});
        }
    }
}

struct FieldCase {
    std::string_view items;
    std::string_view type;
    std::optional<std::string> unit;
    std::string_view value;
    CheckResult expected;
};

void expect_field_cases(std::span<const FieldCase> cases) {
    PatternCache patterns;
    // A field's items stay in place while the cache that serves them lives.
    std::vector<std::vector<AnnotationItem>> fields;
    for (const FieldCase& c : cases) fields.push_back(items_of(c.items));
    for (std::size_t k = 0; k < cases.size(); ++k) {
        const FieldCase& c = cases[k];
        const CanonicalLine line{c.type, "/::f", c.value, c.unit, std::nullopt, 3};
        const CheckResult result = check_field_value(fields[k], line, patterns);
        EXPECT_EQ(result, c.expected) << c.items << " vs !" << c.type << (c.unit ? ":" + *c.unit : "") << "=" << c.value
                                      << " gave " << describe(result);
    }
}

constexpr std::string_view kInt = "!int /^-?[0-9]+$/ ..num [0,10]";

TEST(CheckFieldValue, TypesAndConstraints) {
    const FieldCase cases[] = {
        {kInt, "int", {}, "5", kPass},
        {kInt, "int", {}, "11", kViolation},
        {kInt, "int", {}, "x", kViolation},
        {kInt, "str", {}, "5", kPass},  // another plain name: constraints decide
        {kInt, "acme/x", {}, "11", kViolation},
        {kInt, "null", {}, "5", kMismatch},
        {kInt, "text", {}, "5", kMismatch},
        {kInt, "std/enc/bin", {}, "5", kMismatch},
        {kInt, "", {}, "5", kMismatch},
        {"!str", "int", {}, "5", kMismatch},
        {"!null /^$/", "str", {}, "", kMismatch},
        {"!std/enc/json /^[A-Za-z0-9_-]*$/", "str", {}, "abc", kMismatch},
        {"!text", "str", {}, "a|:|b", kCollision},
        {"!text", "str", {}, "a|b", kPass},
        {"!text", "text", {}, "a|:|b", kPass},
        {"!int [5,10] ..num", "int", {}, "7", kPass},  // the list's domain reaches the annotation
        {"", "anything", {}, "x", kPass},
        {"/^/ &ref", "anything", {}, "x", kPass},
    };
    expect_field_cases(cases);
}

TEST(CheckFieldValue, Units) {
    const FieldCase cases[] = {
        {"!float:km/h ..num", "float", "km/h", "5", kPass},
        {"!float:km/h ..num", "float", "h^-1*km", "5", kPass},
        {"!float:km/h ..num", "float", "m/s", "5", kMismatch},
        {"!float:km/h ..num", "float", {}, "5", kMismatch},
        {"!int ..num", "int", "km", "5", kMismatch},
        {"/^/", "str", "km", "5", kMismatch},
        {"", "str", "km", "5", kMismatch},
        {"!int ..num", "int", "k m", "5", kMismatch},
    };
    expect_field_cases(cases);
}

constexpr std::string_view kIntOrFloat = "!int(/^-?[0-9]+$/..num)|float(/^-?[0-9]*\\.?[0-9]+$/..num)";

TEST(CheckFieldValue, UnionMembers) {
    const FieldCase cases[] = {
        {kIntOrFloat, "float", {}, "1.5", kPass},
        {kIntOrFloat, "float", {}, "x", kViolation},
        {kIntOrFloat, "int", {}, "1.5", kViolation},
        {kIntOrFloat, "int", {}, "15", kPass},
        {kIntOrFloat, "str", {}, "15", kPass},  // int takes it alone, so it does here
        {"!int:km(..num)|float:m(..num)", "float", "m", "1", kPass},
        {"!int:km(..num)|float:m(..num)", "float", "km", "1", kPass},  // as !int:km alone takes it
        {"!int:km(/^[0-9]+$/..num)|float:m(..num)", "float", "km", "1.5", kMismatch},
        {"!int:km(..num)|float:m(..num)", "int", "km", "1", kPass},
        {"!int:km(..num)|float:m(..num)", "int", {}, "1", kMismatch},
        {"!int([5,10]..num)|str", "int", {}, "7", kPass},   // the member's own domain
        {"!int([5,10])|str ..num", "int", {}, "7", kPass},  // else the list's
        {"!int([5,10])|str", "int", {}, "7", kViolation},
        {"!text|int", "str", {}, "a|:|b", kCollision},
    };
    expect_field_cases(cases);
}

constexpr std::string_view kNullOrInt = "!null(/^$/)|int(/^-?[0-9]+$/..num)";
constexpr std::string_view kNullOrFloat = "!null(/^$/)|float(/^-?[0-9]*\\.?[0-9]+$/..num)";
constexpr std::string_view kExtendedReal =
    "!float(/^-?[0-9]*\\.?[0-9]+$/..num)|std/num/inf({inf,-inf})|std/num/nan({nan})";

TEST(CheckFieldValue, UnionMembersTakeWhatTheyTakeAlone) {
    const FieldCase cases[] = {
        {kNullOrInt, "str", {}, "3", kPass},
        {kNullOrInt, "str", {}, "abc", kMismatch},
        {kNullOrInt, "str", {}, "", kMismatch},  // str never meets null
        {kNullOrInt, "null", {}, "", kPass},
        {kNullOrInt, "null", {}, "3", kViolation},  // the exact name wins, then its constraints
        {kNullOrInt, "acme/id", {}, "3", kPass},
        {kNullOrInt, "text", {}, "3", kMismatch},
        {kNullOrInt, "std/enc/bin", {}, "AA", kMismatch},
        {kNullOrFloat, "str", {}, "3", kPass},
        {kNullOrFloat, "int", {}, "2", kPass},
        {kNullOrFloat, "int", "m", "2", kMismatch},  // no member has the unit
        {kExtendedReal, "int", {}, "2", kPass},
        {kExtendedReal, "str", {}, "-inf", kPass},
        {kExtendedReal, "str", {}, "nan", kPass},
        {kExtendedReal, "str", {}, "infinity", kMismatch},
        {"!int(..num[0,5])|float(..num[10,20])", "str", {}, "15", kPass},  // the first member that passes
        {"!int(..num[0,5])|float(..num[10,20])", "str", {}, "7", kMismatch},
        {"!null|text", "str", {}, "a", kMismatch},        // str meets text only as the annotation's own name
        {"!null|str([a,c])", "int", {}, "b", kMismatch},  // a str member takes only str lines
        {"!null|std/enc/json", "str", {}, "IiQ1Ig", kMismatch},
        {"!int:km(..num)|float(..num)", "str", {}, "1", kPass},    // float has no unit, as the line
        {"!int:km(..num)|float(..num)", "str", "km", "1", kPass},  // int by its unit
    };
    expect_field_cases(cases);
}

// A base64url value whose payload is the JSON text.
std::string embedded(std::string_view json) { return base64url_encode(json); }

TEST(CheckFieldValue, EmbeddedJsonStringsMeetStringFields) {
    const std::string dollar = embedded(R"("$5")");
    const std::string crlf = embedded(R"("a\r\nb")");
    const std::string bar = embedded(R"("a\n|:|b")");
    const std::string uri = embedded(R"("http://x/$y")");
    const std::string number = embedded("5");
    const std::string object = embedded(R"({"a":"$5"})");
    const std::string spaced = embedded(" \"$5\"\n");
    const std::string number_text = embedded(R"("7\r")");
    const FieldCase cases[] = {
        {"!str #[,10]", "std/enc/json", {}, dollar, kPass},
        {"!str #[,1]", "std/enc/json", {}, dollar, kViolation},  // the decoded text has two characters
        {"!str /^\\$[0-9]+$/", "std/enc/json", {}, dollar, kPass},
        {"!str /^[0-9]+$/", "std/enc/json", {}, dollar, kViolation},
        {"!str #[4,4]", "std/enc/json", {}, crlf, kPass},
        {"!text", "std/enc/json", {}, crlf, kPass},
        {"!text", "std/enc/json", {}, bar, kCollision},
        {"!std/net/uri /^[a-z]+:\\/\\/[a-z]+\\/[$a-z]*$/", "std/enc/json", {}, uri, kPass},
        {"!null(/^$/)|str(#[,10])", "std/enc/json", {}, dollar, kPass},
        {"!str", "std/enc/json", {}, spaced, kPass},
        {"!std/enc/json /^[A-Za-z0-9_-]*$/", "std/enc/json", {}, dollar, kPass},  // taken as is
        {"!std/enc/json #[,2]", "std/enc/json", {}, dollar, kViolation},          // on the encoded text
        {"!str", "std/enc/json", {}, number, kMismatch},                          // only a string payload is a string
        {"!str", "std/enc/json", {}, object, kMismatch},
        {"!str", "std/enc/json", {}, "not base64!", kMismatch},
        {"!str", "std/enc/json", "m", dollar, kMismatch},
        {"!str", "std/enc/bin", {}, dollar, kMismatch},      // only embedded JSON is read
        {kInt, "std/enc/json", {}, number_text, kMismatch},  // a number field expects no string
        {kNullOrInt, "std/enc/json", {}, dollar, kMismatch},
        {"!std/enc/bin", "std/enc/json", {}, dollar, kMismatch},
        // A text member of a union takes the string as a text field does,
        // wherever it stands among the members.
        {"!null(/^$/)|text", "std/enc/json", {}, crlf, kPass},
        {"!text|null(/^$/)", "std/enc/json", {}, crlf, kPass},
        {"!null(/^$/)|text(#[,3])", "std/enc/json", {}, crlf, kMismatch},
        {"!null(/^$/)|text", "std/enc/json", {}, bar, kMismatch},
        {"!null(/^$/)|text:m", "std/enc/json", {}, crlf, kMismatch},
    };
    expect_field_cases(cases);
}

TEST(CheckFieldValue, MultiLineTextMeetsStringFields) {
    const FieldCase cases[] = {
        {"!str #[,20]", "text", {}, "x|:|y", kPass},
        {"!str #[3,3]", "text", {}, "x|:|y", kPass},  // the line feed is one character
        {"!str #[,2]", "text", {}, "x|:|y", kViolation},
        {"!str /^x\\x0Ay$/", "text", {}, "x|:|y", kPass},
        {"!str /\\|/", "text", {}, "x|:|y", kViolation},  // the delimiter is gone
        {"!str", "text", {}, "|:||:|", kPass},
        {"!null(/^$/)|str(#[,5])", "text", {}, "a|:|b", kPass},
        {"!null(/^$/)|str(#[,2])", "text", {}, "a|:|b", kViolation},
        {"!std/net/uri /^[a-z]+$/", "text", {}, "a|:|b", kViolation},  // checked on the decoded text
        {"!text #[,4]", "text", {}, "x|:|y", kViolation},              // a text field takes the line as is
        {"!text", "text", {}, "x|:|y", kPass},
        {"!str", "text", "m", "x|:|y", kMismatch},
        {kInt, "text", {}, "7", kMismatch},  // a number field expects no string
        {kNullOrInt, "text", {}, "7", kMismatch},
        {"!null(/^$/)|float(/^[0-9]+$/..num)|str(/^[a-z]$/)", "text", {}, "7", kViolation},  // the exact member decides
        {"!null(/^$/)|bool({true,false})|std/time/date(/^[0-9]/)", "text", {}, "1|:|2", kPass},
        {"!null(/^$/)|bool({true,false})", "text", {}, "true", kMismatch},
        {"!bool {true,false}", "text", {}, "true", kMismatch},
        {"!std/enc/json", "text", {}, "IiQ1Ig", kMismatch},
        {"!null /^$/", "text", {}, "", kMismatch},
    };
    expect_field_cases(cases);
}

TEST(EmbeddedJsonString, DecodesOnlyOneString) {
    const struct {
        std::string value;
        std::optional<std::string> text;
    } cases[] = {
        {embedded(R"("$5")"), "$5"},
        {embedded(R"("a\u0000b")"), std::string("a\0b", 3)},
        {embedded(R"("")"), ""},
        {embedded(R"( "x" )"), "x"},
        {embedded(R"("x" "y")"), std::nullopt},
        {embedded(R"("x)"), std::nullopt},
        {embedded("null"), std::nullopt},
        {embedded(R"(["x"])"), std::nullopt},
        {"", std::nullopt},
        {"IiQ1Ig==", std::nullopt},
    };
    for (const auto& c : cases) EXPECT_EQ(embedded_json_string(c.value), c.text) << c.value;
}

TEST(CheckFieldValue, UnusableCollationComesFirst) {
    const FieldCase cases[] = {
        {"!str ..lex[de-u-ks-level4]", "str", {}, "x", kNoCollation},
        {"!str ..lex[de-u-ks-level4]", "", "km", "x", kNoCollation},
        {"!str ..lex[de] [a,b]", "str", {}, "\u00e4", kPass},
        {"!str(..lex[de-u-ks-level4]) [a,b]", "str", {}, "a", kNoCollation},
    };
    expect_field_cases(cases);
}

TEST(SatisfiesConstraints, ItemLists) {
    const struct {
        std::string_view items;
        std::string_view value;
        bool satisfied;
    } cases[] = {
        {kInt, "5", true},
        {kInt, "x", false},
        {"", "x", true},
        {"&ref", "x", true},
        {"!int([5,10]..num)", "7", false},  // a plain annotation uses the list's domain
        {"!int([5,10]..num) ..num", "7", true},
        {"!int(/^[0-9]+$/)|bool({true,false})", "true", true},
        {"!int(/^[0-9]+$/)|bool({true,false})", "12", true},
        {"!int(/^[0-9]+$/)|bool({true,false})", "x", false},
        {"!int([5,10]..num)|str([a,b])", "7", true},
        {"..lex[de-u-ks-level4] /x/", "x", false},
        {"..lex[de] [a,b]", "\u00e4", true},
    };
    PatternCache patterns;
    for (const auto& c : cases) {
        EXPECT_EQ(satisfies_constraints(items_of(c.items), c.value, patterns), c.satisfied)
            << c.items << " on " << c.value;
    }
}

TEST(MatchUnionAlternative, FirstAcceptingMember) {
    const struct {
        std::string_view annotation;
        std::string_view value;
        std::optional<std::string> member;
    } cases[] = {
        {"!int(/^[0-9]+$/)|float(/^[0-9.]+$/)|str", "5", "int"},
        {"!int(/^[0-9]+$/)|float(/^[0-9.]+$/)|str", "1.5", "float"},
        {"!int(/^[0-9]+$/)|float(/^[0-9.]+$/)|str", "x", "str"},
        {"!int(/^[0-9]+$/)|bool({true,false})", "x", std::nullopt},
        {"!int([5,10]..num)|str([a,b])", "7", "int"},
        {"!int([5,10])|str([0,9])", "7", "str"},
        // A member shadowed by an earlier one of its name is passed over
        // while another member accepts the value.
        {"!int(/^[0-9]+$/)|text(/^x/)|text|float(/^[0-9.]+$/)", "1.5", "float"},
        {"!text(/^x/)|text|int(/^[0-9]+$/)", "5", "int"},
        {"!text(/^x/)|text|int(/^[0-9]+$/)", "ab", "text"},
    };
    PatternCache patterns;
    for (const auto& c : cases) {
        const auto annotation = parse_annotation(c.annotation);
        ASSERT_TRUE(annotation.has_value()) << c.annotation;
        const auto member = match_union_alternative(*annotation, c.value, patterns);
        EXPECT_EQ(member ? std::optional<std::string>(member->name) : std::nullopt, c.member)
            << c.annotation << " " << c.value;
    }
}

TEST(TypeViolationMessage, VerbsUnitsAndCutValues) {
    const SchemaField field{items_of("!int ..num"), "/::a", false, "", "!int ..num"};
    const std::string forty(40, 'x');
    const std::string forty_accents = [] {
        std::string text;
        for (int i = 0; i < 41; ++i) text += "\u00e9";
        return text;
    }();
    const struct {
        AppErrorKind kind;
        std::string value;
        std::optional<std::string> unit;
        std::string context;
    } cases[] = {
        {AppErrorKind::TypeMismatch, "5", "km", "/::a=5 (type !int:km) does not satisfy !int ..num"},
        {AppErrorKind::ConstraintViolation, "5", {}, "/::a=5 (type !int) violates !int ..num"},
        {AppErrorKind::DelimiterCollision, "5", {}, "/::a=5 (type !int) violates !int ..num"},
        {AppErrorKind::CollationUnsupported, "5", {}, "/::a=5 (type !int) needs a collation unavailable in !int ..num"},
        {AppErrorKind::ConstraintViolation, forty, {}, "/::a=" + forty + " (type !int) violates !int ..num"},
        {AppErrorKind::ConstraintViolation,
         forty + "y",
         {},
         "/::a=" + forty + "\u2026 (type !int) violates !int ..num"},
        {AppErrorKind::ConstraintViolation,
         forty_accents,
         {},
         "/::a=" + forty_accents.substr(0, 80) + "\u2026 (type !int) violates !int ..num"},
    };
    for (const auto& c : cases) {
        const CanonicalLine line{"int", "/::a", c.value, c.unit, std::nullopt, 7};
        const AppErrorAt verdict = type_violation_message(c.kind, field, line);
        EXPECT_EQ(verdict.context, c.context);
        EXPECT_EQ(verdict, (AppErrorAt{c.kind, 7, c.context}));
    }
}

// Long bounds and large sets are prepared once per call for the fields that
// check_field_value sees; each row also goes through satisfies_constraints,
// which reads them as written, and both must give the row's verdict.
TEST(CheckFieldValue, LongBoundsAndLargeSetsAnswerAsWritten) {
    const std::string nines(40, '9');
    const std::string zeros(40, '0');
    std::string members = "m0";
    for (int k = 1; k < 20; ++k) members += ",m" + std::to_string(k);
    const std::string digits = "0,1,2,3,4,5,6,7,8,9";
    const std::string fruits = "Apfel,Birne,Kirsche,Pflaume,Quitte,Traube,Feige,Dattel,Mango,Banane";
    // A version bound of more pieces than are read ahead.
    std::string deep_version = "1";
    for (int k = 0; k < 100; ++k) deep_version += ".1";
    const std::string longer_version = deep_version + ".1.9";
    const struct {
        std::string items;
        std::string value;
        CheckResult expected;
    } cases[] = {
        // Integers compare exactly, whatever the spelling.
        {"..num [-" + nines + ",]", "5", kPass},
        {"..num [-" + nines + ",]", "-" + nines, kPass},
        {"..num [-" + nines + ",]", "-1" + zeros, kViolation},
        {"..num [-" + nines + ",]", "-000" + nines, kPass},
        {"..num [" + zeros + "5,]", "5", kPass},
        {"..num [" + zeros + "5,]", "005", kPass},
        {"..num [" + zeros + "5,]", "4", kViolation},
        {"..num [" + zeros + "5,]", "-0", kViolation},
        {"..num [-" + zeros + ",0]", "-0", kPass},
        {"..num [-" + zeros + ",0]", "0", kPass},
        {"..num [-" + zeros + ",0]", "1", kViolation},
        {"..num [," + nines + "]", "1" + zeros, kViolation},
        {"..num [," + nines + "]", nines, kPass},
        // Decimals meet bounds as doubles; a value that is no number fails.
        {"..num [0," + nines + ".5]", "0.25", kPass},
        {"..num [0," + nines + ".5]", "1e39", kPass},
        {"..num [0," + nines + ".5]", "1e45", kViolation},
        {"..num [0," + nines + ".5]", "-0.5", kViolation},
        {"..num [0," + nines + ".5]", "abc", kViolation},
        {"..num [0," + nines + "]", "2.5", kPass},
        {"..num [0," + nines + "]", "1e41", kViolation},
        // Lengths count characters, compared as numbers.
        {"#[0," + nines + "]", "abc", kPass},
        {"#[" + nines + ",]", "abc", kViolation},
        {"#{" + digits + "}", "\u00e4\u00f6\u00fc", kPass},
        {"#{" + digits + "}", "0123456789x", kViolation},
        // Instants when both sides read as one, bytes otherwise.
        {"..time [2024-01-01T00:00:00." + zeros + "Z,]", "2024-01-01T08:00:00+02:00", kPass},
        {"..time [2024-01-01T00:00:00." + zeros + "Z,]", "2023-12-31", kViolation},
        {"..time [2024-01-01T00:00:00." + zeros + "Z,]", "zzz", kPass},
        {"..time [,2024-01-01T00:00:00." + zeros + "1Z]", "2024-01-01T00:00:00Z", kPass},
        {"..time [,2024-01-01T00:00:00." + zeros + "1Z]", "2024-01-01T00:00:01Z", kViolation},
        // Versions piece by piece, numerically where both pieces are numbers.
        {"..ver [1.2." + nines + ",]", "1.10", kPass},
        {"..ver [1.2." + nines + ",]", "1.2", kViolation},
        {"..ver [1.2." + nines + ",]", "1.02.99999999999999999999999999999999999999999", kPass},
        {"..ver [," + zeros + "2.1]", "2.1", kPass},
        {"..ver [," + zeros + "2.1]", "2.1.0", kViolation},
        {"..ver [," + zeros + "2.1]", "2.a", kViolation},
        {"..ver [," + longer_version + "]", deep_version, kPass},
        {"..ver [," + longer_version + "]", deep_version + ".1", kPass},
        {"..ver [," + longer_version + "]", deep_version + ".2", kViolation},
        // Collated ranges by the collator's order.
        {"..lex[de] [a,z" + nines + "]", "\u00e4", kPass},
        {"..lex[de] [a,z" + nines + "]", "Z", kPass},
        {"..lex[de] [a,z" + nines + "]", "z" + nines + "9", kViolation},
        {"..lex[de-u-ks-level1] [A" + zeros + ",]", "a" + zeros, kPass},
        {"..lex[de] [A" + zeros + ",]", "a" + zeros, kViolation},
        // Sets match bytes in every domain but collation.
        {"{" + members + "}", "m19", kPass},
        {"{" + members + "}", "m20", kViolation},
        {"{" + members + "}", "", kViolation},
        {"..num {" + digits + "}", "7", kPass},
        {"..num {" + digits + "}", "7.0", kViolation},
        {"..num {" + digits + "}", "07", kViolation},
        {"..ver {" + digits + "}", "7.", kViolation},
        // Collated sets: members equal under the collation.
        {"..lex[de] {" + fruits + "}", "Mango", kPass},
        {"..lex[de] {" + fruits + "}", "mango", kViolation},
        {"..lex[de] {" + fruits + "}", "Kiwi", kViolation},
        {"..lex[de-u-ks-level1] {" + fruits + "}", "MANGO", kPass},
        {"..lex[de-u-ks-level1] {" + fruits + "}", "\u00c4pfel", kPass},
        {"..lex[de] {a\u0308," + digits + "}", "\u00e4", kPass},
        {"..lex[de] {a\u0308," + digits + "}", "A\u0308", kViolation},
    };
    // The field items stay in place while the cache lives, as a compiled
    // schema's do; every value is checked twice.
    std::vector<std::vector<AnnotationItem>> fields;
    for (const auto& c : cases) fields.push_back(items_of("!str " + c.items));
    PatternCache patterns;
    for (std::size_t k = 0; k < std::size(cases); ++k) {
        const auto& c = cases[k];
        const CanonicalLine line{"str", "/::f", c.value, std::nullopt, std::nullopt, 1};
        for (int round = 0; round < 2; ++round) {
            const CheckResult result = check_field_value(fields[k], line, patterns);
            EXPECT_EQ(result, c.expected) << c.items << " on «" << c.value << "» gave " << describe(result);
        }
        PatternCache fresh;
        EXPECT_EQ(satisfies_constraints(fields[k], c.value, fresh), c.expected.passed())
            << c.items << " on «" << c.value << "»";
        EXPECT_EQ(satisfies_constraints(fields[k], c.value, patterns, ItemsStay::Yes), c.expected.passed())
            << c.items << " on «" << c.value << "» prepared";
    }
}

// Lowered union members are checked with their prepared forms kept; when the
// items are replaced in place, the forms forgotten with them must not answer
// for the new ones.
TEST(PatternCache, ForgottenFormsDoNotAnswerForItemsInTheirPlace) {
    const auto set_of = [](std::string_view prefix) {
        std::string members;
        for (int k = 0; k < 20; ++k) members += std::string(k ? "," : "") + std::string(prefix) + std::to_string(k);
        return "{" + members + "}";
    };
    const std::string nines(40, '9');
    const struct {
        std::string before;
        std::string after;
        std::string value;  // outside `before`, inside `after`
    } cases[] = {
        {set_of("a"), set_of("b"), "b7"},
        {"..lex[de] " + set_of("a"), "..lex[de] " + set_of("b"), "b7"},
        {"..lex[de-u-ks-level1] " + set_of("a"), "..lex[de-u-ks-level1] " + set_of("b"), "B7"},
        {"..num [" + nines + ",]", "..num [-" + nines + ",]", "5"},
        {"..ver [," + nines + ".0]", "..ver [," + nines + ".0.a]", nines + ".0.a"},
    };
    for (const auto& c : cases) {
        std::vector<AnnotationItem> items = items_of("!str " + c.before);
        const auto replacement = items_of("!str " + c.after);
        ASSERT_EQ(items.size(), replacement.size()) << c.before;
        PatternCache patterns;
        EXPECT_FALSE(satisfies_constraints(items, c.value, patterns, ItemsStay::Yes)) << c.before;
        patterns.forget_prepared();
        std::ranges::copy(replacement, items.begin());  // the same places, new constraints
        EXPECT_TRUE(satisfies_constraints(items, c.value, patterns, ItemsStay::Yes)) << c.after;
        EXPECT_EQ(patterns.prepared_count(), 2u) << c.after;
    }
}

// What makes a value cost the same whatever the schema's bounds and sets:
// each long bound and large set is prepared once, not once per value.
TEST(PatternCache, PreparesLongBoundsAndLargeSetsOncePerCall) {
    std::string members = "0";
    for (int k = 1; k < 1000; ++k) members += "," + std::to_string(k);
    const auto field =
        items_of("!int ..num [-" + std::string(1000, '9') + ",] {" + members + "} #[0," + std::string(1000, '9') + "]");
    const auto small = items_of("!int ..num [0,10] {1,2,3}");
    PatternCache patterns;
    for (int k = 0; k < 1000; ++k) {
        const std::string value = std::to_string(k);
        const CanonicalLine line{"int", "/::f", value, std::nullopt, std::nullopt, 1};
        EXPECT_TRUE(check_field_value(field, line, patterns).passed()) << value;
        (void)check_field_value(small, line, patterns);
    }
    EXPECT_EQ(patterns.prepared_count(), 3u);
}

TEST(PatternCache, CompilesEachPatternOnce) {
    PatternCache patterns;
    const RexProgram* first = patterns.program("^a+$");
    ASSERT_NE(first, nullptr);
    EXPECT_EQ(patterns.program("^a+$"), first);
    EXPECT_NE(patterns.program("^b$"), first);
    EXPECT_EQ(patterns.program("a{2,1}"), nullptr);
    EXPECT_EQ(patterns.program("a{2,1}"), nullptr);
}

}  // namespace
}  // namespace bezo
