#include <gtest/gtest.h>

#include <algorithm>
#include <optional>
#include <string>
#include <string_view>
#include <variant>

#include "lang/resolve.hpp"
#include "pipeline/build.hpp"
#include "pipeline/compiler.hpp"
#include "pipeline/infer_document.hpp"
#include "pipeline/render.hpp"
#include "pipeline/validate_document.hpp"
#include "schema/schema_compiler.hpp"

namespace bezo {
namespace {

using namespace std::literals;

// What an entry gave: its text (empty for a schema read or a pass), or the
// error's text form.
struct Outcome {
    bool ok = false;
    std::string text;
};

Outcome outcome_of(const Result<std::string>& result) {
    if (!result) return {false, error_display(result.error())};
    return {true, *result};
}

constexpr std::string_view kDocument = "a=caf\xC3\xA9\n// \xE6\x9D\xB1\xE4\xBA\xAC\nb=\xF0\x9F\x98\x80\n";
constexpr std::string_view kSchema = ".!hezo s\n\n// caf\xC3\xA9\n!str\na=\n";

// Every entry that lexes a caller's text, with a UTF-8 text it accepts.
struct Entry {
    std::string_view name;
    Outcome (*run)(std::string_view text, Utf8State utf8);
    std::string_view valid;
};

const Entry kEntries[] = {
    {"compile_text", [](std::string_view text, Utf8State utf8) { return outcome_of(compile_text(text, utf8)); },
     kDocument},
    {"build_document",
     [](std::string_view text, Utf8State utf8) { return outcome_of(build_document(text, std::nullopt, utf8)); },
     kDocument},
    {"build_document's schema",
     [](std::string_view text, Utf8State utf8) { return outcome_of(build_document("a=1\n", text, utf8)); }, kSchema},
    {"format_authored", [](std::string_view text, Utf8State utf8) { return outcome_of(format_authored(text, utf8)); },
     kDocument},
    {"infer_document",
     [](std::string_view text, Utf8State utf8) { return outcome_of(infer_document(text, "s", utf8)); }, kDocument},
    {"compile_schema_text",
     [](std::string_view text, Utf8State utf8) {
         Resolver resolver;
         return outcome_of(compile_schema_text(text, resolver, utf8));
     },
     kSchema},
    {"compile_schema",
     [](std::string_view text, Utf8State utf8) -> Outcome {
         Resolver resolver;
         auto schema = compile_schema(text, resolver, utf8);
         if (!schema) return {false, error_display(schema.error())};
         return {true, {}};
     },
     kSchema},
    {"validate_document's schema",
     [](std::string_view text, Utf8State utf8) -> Outcome {
         auto validated = validate_document(".!nezo\n!str'::a=x\n", text, utf8);
         if (validated) return {true, {}};
         if (const auto* schema = std::get_if<SchemaFailure>(&validated.error())) {
             return {false, error_display(schema->error)};
         }
         return {false, app_error_display(std::get<AppErrorAt>(validated.error()))};
     },
     kSchema},
};

// Text of unknown origin is refused unless it is UTF-8, with the lexer's
// error as before; text said to be UTF-8 is not checked as such again, and
// reads as the same text unchecked does.
TEST(EntryUtf8, UncheckedTextIsRefusedUnlessUtf8AndKnownTextReadsTheSame) {
    for (const Entry& entry : kEntries) {
        const std::string valid(entry.valid);
        for (std::string_view bad : {"# \xFF\n", "# \xC0\xAF\n", "# \xED\xA0\x80\n", "# \xF4\x90\x80\x80\n"}) {
            const Outcome refused = entry.run(valid + std::string(bad), Utf8State::Unchecked);
            EXPECT_FALSE(refused.ok) << entry.name;
            EXPECT_EQ(refused.text, "INVALID_UTF8_ERROR") << entry.name;
            // The text said to be UTF-8 is taken at its word.
            EXPECT_TRUE(entry.run(valid + std::string(bad), Utf8State::Valid).ok) << entry.name;
        }
        const Outcome unchecked = entry.run(valid, Utf8State::Unchecked);
        const Outcome known = entry.run(valid, Utf8State::Valid);
        EXPECT_TRUE(unchecked.ok) << entry.name << ": " << unchecked.text;
        EXPECT_EQ(known.ok, unchecked.ok) << entry.name;
        EXPECT_EQ(known.text, unchecked.text) << entry.name;
    }
}

// The checks of the whole text other than UTF-8 hold for a text known to be
// UTF-8 too: a NUL, a lone carriage return and a missing final line feed.
TEST(EntryUtf8, KnownTextKeepsTheOtherWholeTextChecks) {
    struct Fault {
        std::string_view appended;
        std::string_view error;  // "{}" stands for the appended line's number
    };
    const Fault faults[] = {
        {"b=\0\n"sv, "INVALID_CHARACTER_ERROR (line {})"},
        {"b=1\rc\n", "INVALID_CHARACTER_ERROR (line {})"},
        {"b=1", "MISSING_FINAL_EOL_ERROR"},
    };
    for (const Entry& entry : kEntries) {
        const std::string line_number = std::to_string(std::ranges::count(entry.valid, '\n') + 1);
        for (const Fault& fault : faults) {
            std::string expected(fault.error);
            if (const auto at = expected.find("{}"); at != std::string::npos) expected.replace(at, 2, line_number);
            for (Utf8State utf8 : {Utf8State::Unchecked, Utf8State::Valid}) {
                const Outcome refused = entry.run(std::string(entry.valid) + std::string(fault.appended), utf8);
                EXPECT_FALSE(refused.ok) << entry.name;
                EXPECT_EQ(refused.text, expected) << entry.name << ", " << static_cast<int>(utf8);
            }
        }
    }
}

}  // namespace
}  // namespace bezo
