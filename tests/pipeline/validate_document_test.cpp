#include "pipeline/validate_document.hpp"

#include <gtest/gtest.h>

#include <string>
#include <variant>
#include <vector>

#include "lang/resolve.hpp"

namespace bezo {
namespace {

constexpr std::string_view kAuthored = ".!hezo d\n!int[0,10]\na=\n";
constexpr std::string_view kCompiled = ".!whezo d\n!int /^-?[0-9]+$/ ..num [0,10]'::a=\n";
constexpr std::string_view kPasses = ".!nezo\n!int'::a=5\n";
constexpr std::string_view kOutOfRange = ".!nezo\n!int'::a=11\n";
constexpr std::string_view kRangeVerdict =
    "ConstraintViolationError: ::a=11 (type !int) violates !int /^-?[0-9]+$/ ..num [0,10] (line 2)";

enum class Outcome { Passes, SchemaFailure, Verdict };

struct ValidateCase {
    std::string name;
    std::string document;
    std::string schema;
    Outcome outcome;
    std::string message;  // the schema error or the verdict, as displayed
};

// The failure as the module shows it, with which side it came from.
std::pair<Outcome, std::string> describe(const std::expected<void, ValidationFailure>& result) {
    if (result) return {Outcome::Passes, ""};
    if (const auto* schema = std::get_if<SchemaFailure>(&result.error())) {
        return {Outcome::SchemaFailure, error_display(schema->error)};
    }
    return {Outcome::Verdict, app_error_display(std::get<AppErrorAt>(result.error()))};
}

TEST(ValidateDocument, TellsSchemaFailuresFromVerdicts) {
    const std::string authored(kAuthored);
    const std::string compiled(kCompiled);
    const std::vector<ValidateCase> cases = {
        {"authored passes", std::string(kPasses), authored, Outcome::Passes, ""},
        {"compiled passes", std::string(kPasses), compiled, Outcome::Passes, ""},
        {"indented compiled passes", std::string(kPasses), " \t" + compiled, Outcome::Passes, ""},
        {"authored verdict", std::string(kOutOfRange), authored, Outcome::Verdict, std::string(kRangeVerdict)},
        {"compiled verdict", std::string(kOutOfRange), compiled, Outcome::Verdict, std::string(kRangeVerdict)},
        {"document of another kind", ".!bezo\na=5\n", compiled, Outcome::Verdict,
         "FORMAT_KIND_ERROR: stream does not open with the .!nezo declaration (line 1)"},
        {"authored schema that does not compile", std::string(kOutOfRange), ".!hezo d\n!nosuch\na=\n",
         Outcome::SchemaFailure, "unresolvable type in schema: !nosuch"},
        {"compiled schema that does not read", std::string(kOutOfRange), ".!whezo\nbad\n", Outcome::SchemaFailure,
         "unsupported .whezo line (no ' delimiter): bad"},
        // Only a first line opening with ".!whezo" is compiled text; this one
        // is compiled as an authored schema and refused.
        {"declaration on a later line", std::string(kPasses), "\n" + compiled, Outcome::SchemaFailure,
         "INVALID_KEY_ERROR (line 3)"},
        {"empty schema", std::string(kPasses), "", Outcome::SchemaFailure, "FORMAT_KIND_ERROR (line 1)"},
    };
    for (const auto& c : cases) {
        const auto [outcome, message] = describe(validate_document(c.document, c.schema));
        EXPECT_EQ(outcome, c.outcome) << c.name;
        EXPECT_EQ(message, c.message) << c.name;
    }
}

// An authored schema is compiled with the resolver the caller hands in, which
// serves the parent it names; a call of its own resolves the parent anew.
TEST(ValidateDocument, CompilesWithTheCallersResolver) {
    const std::string child = ".!hezo child\n.!schema acme/base\n";
    struct Case {
        std::string name;
        std::string document;
        bool preloaded;
        Outcome outcome;
        std::string message;
    };
    const std::vector<Case> cases = {
        {"parent preloaded, passes", std::string(kPasses), true, Outcome::Passes, ""},
        {"parent preloaded, verdict", std::string(kOutOfRange), true, Outcome::Verdict, std::string(kRangeVerdict)},
        {"parent nowhere", std::string(kPasses), false, Outcome::SchemaFailure, "SchemaResolutionError"},
    };
    for (const auto& c : cases) {
        Resolver resolver(ResolverConfig{.default_only = true});
        if (c.preloaded) resolver.preload_module_text("acme/base", "hezo", ".!hezo acme/base\n!int[0,10]\na=\n");
        const auto [outcome, message] = describe(validate_document(c.document, child, resolver));
        EXPECT_EQ(outcome, c.outcome) << c.name;
        EXPECT_EQ(message, c.message) << c.name;
    }
}

}  // namespace
}  // namespace bezo
