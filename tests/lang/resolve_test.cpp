#include "lang/resolve.hpp"

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <optional>
#include <string>
#include <vector>

namespace bezo {
namespace {

namespace fs = std::filesystem;

const Error kResolution = Error::App(AppErrorKind::SchemaResolution);
const Error kStrict = Error::App(AppErrorKind::RegistryStrict);

// A registry location in a fresh temporary directory, removed afterwards.
class ResolverTest : public ::testing::Test {
protected:
    void SetUp() override {
        std::string pattern = (fs::temp_directory_path() / "bezo-resolve-XXXXXX").string();
        ASSERT_NE(::mkdtemp(pattern.data()), nullptr);
        root_ = pattern;
    }
    void TearDown() override { fs::remove_all(root_); }

    // Writes a module file below the root and returns its path.
    fs::path write(const std::string& relative, std::string_view content) {
        const fs::path path = root_ / relative;
        fs::create_directories(path.parent_path());
        std::ofstream(path, std::ios::binary) << content;
        return path;
    }

    std::vector<RegistryEntry> registry(std::string ns) const { return {{std::move(ns), root_.string()}}; }

    fs::path root_;
};

TEST_F(ResolverTest, PreloadedTextNeedsNoFileAndNoValidName) {
    Resolver resolver;
    resolver.preload_module_text("my schema", "hezo", "old");
    resolver.preload_module_text("my schema", "hezo", ".!hezo my schema\n");

    EXPECT_EQ(resolver.load_module_text("my schema", {}, "hezo"), ".!hezo my schema\n");
    EXPECT_EQ(resolver.load_module_text("my schema", {}, "whezo"), std::unexpected(kResolution));
    const std::vector<ProvenanceEntry> expected{{"my schema", "hezo", "", "", ModuleOrigin::Preloaded}};
    EXPECT_EQ(resolver.provenance(), expected);
    EXPECT_EQ(resolver.unresolved(), (std::set<ModuleKey>{{"my schema", "whezo"}}));
}

TEST_F(ResolverTest, PreloadWinsOverRegistryFile) {
    write("acme/s.whezo", "from file\n");
    Resolver resolver;
    resolver.preload_module_text("acme/s", "whezo", "preloaded\n");
    EXPECT_EQ(resolver.load_module_text("acme/s", registry("acme"), "whezo"), "preloaded\n");
}

TEST_F(ResolverTest, CallerEntryNamesTheDirectoryOfTheNamespace) {
    const fs::path file = write("acme/units.gezo", ".!gezo acme/units\n");
    Resolver resolver;
    const std::vector<RegistryEntry> entries{
        {"other", "/nonexistent"}, {"acme", root_.string()}, {"acme", "/second/is/ignored"}};

    EXPECT_EQ(resolver.load_module_text("acme/units", entries, "gezo"), ".!gezo acme/units\n");
    const std::vector<ProvenanceEntry> expected{
        {"acme/units", "gezo", root_.string(), file.string(), ModuleOrigin::CallerRegistry}};
    EXPECT_EQ(resolver.provenance(), expected);
    EXPECT_TRUE(resolver.unresolved().empty());
}

TEST_F(ResolverTest, FileTextsAreReadAgainOnEveryRequest) {
    write("acme/s.whezo", "first\n");
    Resolver resolver;
    EXPECT_EQ(resolver.load_module_text("acme/s", registry("acme"), "whezo"), "first\n");
    write("acme/s.whezo", "second\n");
    EXPECT_EQ(resolver.load_module_text("acme/s", registry("acme"), "whezo"), "second\n");
    EXPECT_EQ(resolver.provenance().size(), 2u);
}

struct LocationCase {
    std::string_view label;
    ResolverConfig config;
    bool caller_entry;  // whether the caller names a location for "acme"
    Result<std::string> text;
    std::vector<ModuleOrigin> origins;  // of the provenance entries made
};

TEST_F(ResolverTest, LocationOrderFollowsTheConfiguration) {
    write("own/acme/m.hezo", "own\n");
    write("caller/acme/m.hezo", "caller\n");
    const std::string own = (root_ / "own").string();
    const std::vector<RegistryEntry> caller{{"acme", (root_ / "caller").string()}};

    const LocationCase cases[] = {
        {"caller entry first", {.registry = {{"acme", own}}}, true, "caller\n", {ModuleOrigin::CallerRegistry}},
        {"own registry without caller entry",
         {.registry = {{"acme", own}}},
         false,
         "own\n",
         {ModuleOrigin::ResolverRegistry}},
        {"own default entry", {.registry = {{"default", own}}}, false, "own\n", {ModuleOrigin::ResolverRegistry}},
        {"namespace entry before default",
         {.registry = {{"acme", own}, {"default", "/nowhere"}}},
         false,
         "own\n",
         {ModuleOrigin::ResolverRegistry}},
        {"strict prefers own registry",
         {.registry = {{"acme", own}}, .strict = true},
         true,
         "own\n",
         {ModuleOrigin::ResolverRegistry}},
        {"strict refuses caller entry",
         {.strict = true},
         true,
         std::unexpected(kStrict),
         {ModuleOrigin::CallerRegistry}},
        {"default only ignores every registry",
         {.registry = {{"acme", own}}, .default_only = true},
         true,
         std::unexpected(kResolution),
         {}},
        {"nothing but the web default", {}, false, std::unexpected(kResolution), {}},
    };
    for (const LocationCase& c : cases) {
        Resolver resolver(c.config);
        EXPECT_EQ(resolver.load_module_text("acme/m", c.caller_entry ? caller : RegistryEntries{}, "hezo"), c.text)
            << c.label;
        std::vector<ModuleOrigin> origins;
        for (const ProvenanceEntry& entry : resolver.provenance()) origins.push_back(entry.origin);
        EXPECT_EQ(origins, c.origins) << c.label;
        EXPECT_EQ(resolver.unresolved().empty(), c.text.has_value()) << c.label;
    }
}

TEST_F(ResolverTest, StrictRefusalRecordsTheCallerLocation) {
    Resolver resolver({.strict = true});
    EXPECT_EQ(resolver.load_module_text("acme/units", registry("acme"), "gezo"), std::unexpected(kStrict));
    const std::vector<ProvenanceEntry> expected{
        {"acme/units", "gezo", root_.string(), "", ModuleOrigin::CallerRegistry}};
    EXPECT_EQ(resolver.provenance(), expected);
    EXPECT_EQ(resolver.unresolved(), (std::set<ModuleKey>{{"acme/units", "gezo"}}));
}

TEST_F(ResolverTest, WebLocationsAreRefusedWithoutProvenance) {
    for (std::string_view location : {"https://example.com/registry", "http://example.com/"}) {
        Resolver resolver;
        const std::vector<RegistryEntry> entries{{"acme", std::string(location)}};
        EXPECT_EQ(resolver.load_module_text("acme/units", entries, "gezo"), std::unexpected(kResolution));
        EXPECT_TRUE(resolver.provenance().empty());
        EXPECT_EQ(resolver.unresolved(), (std::set<ModuleKey>{{"acme/units", "gezo"}}));
    }
}

TEST_F(ResolverTest, KindWithoutDefaultLocationAndNoEntryIsUnresolved) {
    Resolver resolver;
    EXPECT_EQ(resolver.load_module_text("acme/x", registry("other"), "lezo"), std::unexpected(kResolution));
    EXPECT_FALSE(default_module_base("lezo").has_value());
    for (std::string_view kind : {"hezo", "whezo", "pezo", "yezo", "gezo"}) {
        EXPECT_TRUE(default_module_base(kind).value_or("").starts_with("https://")) << kind;
    }
}

TEST_F(ResolverTest, RelativeLocationsJoinTheBaseDirectory) {
    write("mods/acme/t.yezo", "text\n");
    Resolver resolver({.base_dir = root_});
    const std::vector<RegistryEntry> entries{{"acme", "mods"}};
    EXPECT_EQ(resolver.load_module_text("acme/t", entries, "yezo"), "text\n");
    EXPECT_EQ(resolver.provenance().at(0).location, "mods");
    EXPECT_EQ(resolver.provenance().at(0).path, (root_ / "mods" / "acme/t.yezo").string());
}

TEST_F(ResolverTest, UnreadableModuleFilesAreUnresolved) {
    fs::create_directories(root_ / "acme/dir.hezo");
    ASSERT_EQ(::mkfifo((root_ / "acme/fifo.hezo").c_str(), 0600), 0);
    // A device that would never end a read.
    fs::create_symlink("/dev/zero", root_ / "acme/device.hezo");
    write("acme/latin1.hezo", "caf\xE9\n");
    write("acme/surrogate.hezo", "\xED\xA0\x80\n");
    write("acme/truncated.hezo", "ab\xE2\x82");
    write("acme/overlong.hezo", "\xC0\xAF\n");
    for (std::string_view name : {"acme/missing", "acme/dir", "acme/fifo", "acme/device", "acme/latin1",
                                  "acme/surrogate", "acme/truncated", "acme/overlong"}) {
        Resolver resolver;
        EXPECT_EQ(resolver.load_module_text(name, registry("acme"), "hezo"), std::unexpected(kResolution)) << name;
        EXPECT_TRUE(resolver.provenance().empty()) << name;
        EXPECT_EQ(resolver.unresolved().size(), 1u) << name;
    }
    write("acme/utf8.hezo", "caf\xC3\xA9 \xF0\x9F\x98\x80\n");
    Resolver resolver;
    EXPECT_TRUE(resolver.load_module_text("acme/utf8", registry("acme"), "hezo").has_value());
}

TEST_F(ResolverTest, NamesThatCouldLeaveTheLocationAreRefused) {
    // Files that a name climbing out of the registry directory would reach.
    write("secret.hezo", "secret\n");
    write("registry/acme/x.hezo", "x\n");
    const std::vector<RegistryEntry> entries{{"acme", (root_ / "registry").string()},
                                             {"default", (root_ / "registry").string()}};
    const std::string absolute = (root_ / "secret").string();
    const std::string_view names[] = {
        "",        "acme/",   "/acme/x", "acme//x", "acme/../../secret",      "../secret", "acme/./x", "acme/x y",
        "1acme/x", "_acme/x", "acme/-x", "acme/.x", "acme/x\\..\\..\\secret", absolute};
    for (std::string_view name : names) {
        Resolver resolver;
        EXPECT_EQ(resolver.load_module_text(name, entries, "hezo"), std::unexpected(kResolution)) << name;
        EXPECT_TRUE(resolver.provenance().empty()) << name;
    }
    Resolver resolver;
    EXPECT_EQ(resolver.load_module_text("acme/x", entries, "hezo"), "x\n");
}

TEST_F(ResolverTest, PathsHoldingNulAreRefusedBeforeAnythingIsOpened) {
    // The C form of a path ends at its first NUL: each of these would open
    // the marker file (or its directory) instead of "{location}/acme/x.hezo".
    const fs::path marker = write("marker.txt", "marker\n");
    write("registry/acme/x.hezo", "x\n");
    const std::string registry_dir = (root_ / "registry").string();
    using namespace std::string_literals;
    struct Case {
        std::string location;
        std::optional<fs::path> base_dir;
    };
    const Case cases[] = {
        {marker.string() + "\0"s, {}}, {marker.string() + "\0/more"s, {}},
        {registry_dir + "\0"s, {}},    {"\0"s + registry_dir, {}},
        {"registry\0"s, root_},        {"registry", fs::path(root_.string() + "\0"s)},
    };
    for (const Case& c : cases) {
        Resolver resolver({.base_dir = c.base_dir});
        const std::vector<RegistryEntry> entries{{"acme", c.location}};
        EXPECT_EQ(resolver.load_module_text("acme/x", entries, "hezo"), std::unexpected(kResolution)) << c.location;
        EXPECT_TRUE(resolver.provenance().empty()) << c.location;
        EXPECT_EQ(resolver.unresolved().size(), 1u) << c.location;
    }
    // A module name holding NUL fails the name rule.
    Resolver resolver;
    const std::vector<RegistryEntry> entries{{"acme", registry_dir}};
    EXPECT_EQ(resolver.load_module_text("acme/x\0"s, entries, "hezo"), std::unexpected(kResolution));
    EXPECT_EQ(resolver.load_module_text("acme/x", entries, "hezo"), "x\n");
}

TEST_F(ResolverTest, LinksAreFollowedOnlyWhileTheyStayInsideTheRegistry) {
    write("outside/secret.hezo", "secret\n");
    write("outside/acme/s.hezo", "secret\n");
    write("registry/acme/real.hezo", "real\n");
    fs::create_directories(root_ / "registry/acme");
    fs::create_directories(root_ / "registry/link-ns");
    fs::create_symlink("real.hezo", root_ / "registry/acme/relative.hezo");
    fs::create_symlink(root_ / "registry/acme/real.hezo", root_ / "registry/acme/absolute.hezo");
    fs::create_symlink("../../outside/secret.hezo", root_ / "registry/acme/climbing.hezo");
    fs::create_symlink(root_ / "outside/secret.hezo", root_ / "registry/acme/out.hezo");
    fs::create_symlink("/proc/self/environ", root_ / "registry/acme/environ.hezo");
    fs::create_symlink(root_ / "outside/acme", root_ / "registry/elsewhere");
    fs::create_symlink(root_ / "registry/acme", root_ / "registry/inner");
    fs::create_directories(root_ / "registry/acme/folder.hezo");
    // A registry location that is itself a link is resolved before the comparison.
    fs::create_symlink(root_ / "registry", root_ / "registry-link");
    struct Case {
        std::string location;
        std::string name;
        std::optional<std::string> text;  // no value: refused
    };
    const std::string registry_dir = (root_ / "registry").string();
    const std::string linked_dir = (root_ / "registry-link").string();
    const Case cases[] = {
        {registry_dir, "acme/real", "real\n"},
        {registry_dir, "acme/relative", "real\n"},
        {registry_dir, "acme/absolute", "real\n"},
        {linked_dir, "acme/relative", "real\n"},
        {registry_dir, "acme/climbing", {}},
        {registry_dir, "acme/out", {}},
        {registry_dir, "acme/environ", {}},
        {registry_dir, "elsewhere/s", {}},
        // A link to a folder inside the registry; a folder named like a
        // module file; locations relative to the base folder.
        {registry_dir, "inner/real", "real\n"},
        {registry_dir, "acme/folder", {}},
        {"registry", "acme/relative", "real\n"},
        {"registry-link/", "acme/real", "real\n"},
        {"registry", "acme/climbing", {}},
        {"registry/../outside", "acme/s", "secret\n"},
    };
    for (const auto& [location, name, text] : cases) {
        Resolver resolver({.base_dir = root_});
        const std::string ns = name.substr(0, name.find('/'));
        const std::vector<RegistryEntry> entries{{ns, location}};
        const auto loaded = resolver.load_module_text(name, entries, "hezo");
        if (text) {
            EXPECT_EQ(loaded, *text) << name;
        } else {
            EXPECT_EQ(loaded, std::unexpected(kResolution)) << name;
            EXPECT_TRUE(resolver.provenance().empty()) << name;
        }
    }
}

TEST_F(ResolverTest, ModuleFilesOverTheCapAreRefusedUnread) {
    // Sparse files: their size is told by the system, nothing is written.
    for (const std::uint64_t size : {kMaxModuleFileBytes + 1, std::uint64_t{1} << 40}) {
        const fs::path path = write("acme/big.hezo", "");
        ASSERT_EQ(::truncate(path.c_str(), static_cast<off_t>(size)), 0);
        Resolver resolver;
        EXPECT_EQ(resolver.load_module_text("acme/big", registry("acme"), "hezo"), std::unexpected(kResolution))
            << size;
    }
}

// The resolved path is opened with no link in any part: a link put in after
// the path was resolved, in a middle part as well as the last, is refused.
TEST_F(ResolverTest, AResolvedModulePathIsReadOnlyWithoutLinks) {
    write("real/acme/s.hezo", "s\n");
    fs::create_symlink(root_ / "real", root_ / "linked");
    fs::create_symlink("s.hezo", root_ / "real/acme/t.hezo");
    ASSERT_EQ(::mkfifo((root_ / "real/acme/fifo.hezo").c_str(), 0600), 0);
    const struct {
        std::string path;
        std::optional<std::string> text;  // no value: refused
    } cases[] = {
        {"real/acme/s.hezo", "s\n"}, {"linked/acme/s.hezo", {}},  {"real/acme/t.hezo", {}},
        {"real/acme", {}},           {"real/acme/fifo.hezo", {}}, {"real/acme/none.hezo", {}},
    };
    const fs::path resolved_root = fs::canonical(root_);
    for (const auto& [path, text] : cases) {
        EXPECT_EQ(read_module_file_text((resolved_root / path).string()), text) << path;
    }
}

TEST_F(ResolverTest, ModuleParseErrorsQuoteAShortExcerpt) {
    const std::string long_key = "SHELL" + std::string(4000, 'x');
    write("acme/u.gezo", ".!gezo acme/u\n" + long_key + "=1\n");
    write("acme/t.yezo", ".!yezo acme/t\n" + long_key + "=1\n");
    Resolver resolver;
    const auto units = resolver.unit_module_defs("acme/u", registry("acme"));
    const auto types = resolver.load_type_library("acme/t", registry("acme"));
    ASSERT_FALSE(units);
    ASSERT_FALSE(types);
    for (const auto& [error, opening] : {std::pair{units.error(), "unexpected .gezo content line: SHELLxxx"},
                                         std::pair{types.error(), "unexpected .yezo content line: SHELLxxx"}}) {
        const std::string shown = error_display(error);
        EXPECT_EQ(shown.size(), 2 * kMaxQuotedBytes + std::string_view("\u2026").size()) << shown;
        EXPECT_TRUE(shown.starts_with(opening)) << shown;
        EXPECT_TRUE(shown.ends_with("\u2026")) << shown;
    }
}

TEST(ModuleSegment, FirstSegmentStartsWithALetterLaterOnesMayStartWithADigit) {
    const struct {
        std::string_view segment;
        bool first;
        bool valid;
    } cases[] = {
        {"acme", true, true},  {"a-b_c9", true, true},     {"9a", true, false},   {"9a", false, true},
        {"", false, false},    {"-a", false, false},       {"a.b", false, false}, {"..", false, false},
        {"a b", false, false}, {"\xC3\xA9", false, false},
    };
    for (const auto& c : cases) EXPECT_EQ(is_valid_module_segment(c.segment, c.first), c.valid) << c.segment;
}

constexpr std::string_view kDateLibrary = ".!yezo acme/t\n/^x$/\n&date=\n!int\n&int=\n";

TEST_F(ResolverTest, TypeLibrariesLoadOnceAndAnswerLookups) {
    write("acme/t.yezo", kDateLibrary);
    Resolver resolver;
    const auto entries = registry("acme");

    const Result<TypeDef> date = resolver.lookup_library_type("acme/t", "date", entries);
    ASSERT_TRUE(date.has_value());
    EXPECT_EQ(date->items, *split_annotation_line("/^x$/"));
    fs::remove(root_ / "acme/t.yezo");  // served from the cache from now on
    EXPECT_EQ(resolver.library_defines_type("acme/t", "int", entries), true);
    EXPECT_EQ(resolver.library_defines_type("acme/t", "time", entries), false);
    EXPECT_EQ(resolver.lookup_library_type("acme/t", "time", entries), std::unexpected(kResolution));
    EXPECT_EQ(resolver.provenance().size(), 1u);
}

TEST_F(ResolverTest, BuiltInLibrariesNeedNoFile) {
    Resolver resolver({.default_only = true});
    const Result<TypeDef> integer = resolver.lookup_library_type("std/core", "int", {});
    ASSERT_TRUE(integer.has_value());
    EXPECT_EQ(integer->items, builtin_type_library("std/core")->types.at("int").items);
    EXPECT_EQ(resolver.load_type_library("std/time", {}), Result<void>{});
    EXPECT_TRUE(resolver.provenance().empty());
    EXPECT_EQ(resolver.load_type_library("std/nothing", {}), std::unexpected(kResolution));
}

TEST_F(ResolverTest, LibraryLoadFailuresPassThrough) {
    write("acme/other.yezo", ".!yezo acme/different\n&a=\n");
    write("acme/broken.yezo", ".!yezo acme/broken\n&a=\n&a=\n");
    Resolver resolver;
    const auto entries = registry("acme");
    EXPECT_EQ(resolver.load_type_library("acme/other", entries), std::unexpected(kResolution));
    EXPECT_EQ(resolver.load_type_library("acme/broken", entries), fail("duplicate type definition in .yezo: &a"));
    // A failure leaves the resolver usable.
    write("acme/t.yezo", kDateLibrary);
    EXPECT_EQ(resolver.load_type_library("acme/t", entries), Result<void>{});
}

TEST_F(ResolverTest, QualifiesBareTypeNamesThroughImports) {
    write("acme/t.yezo", kDateLibrary);
    Resolver resolver;
    const auto entries = registry("acme");
    const std::vector<std::string> time{"std/time"};
    const std::vector<std::string> both{"std/time", "acme/t"};
    const std::vector<std::string> twice{"std/time", "std/core", "std/time"};
    const std::vector<std::string> missing{"std/time", "acme/missing"};

    EXPECT_EQ(resolver.qualify_type_name("date", time, entries), "std/time/date");
    EXPECT_EQ(resolver.qualify_type_name("date", twice, entries), "std/time/date");
    EXPECT_EQ(resolver.qualify_type_name("int", both, entries), "int");
    EXPECT_EQ(resolver.qualify_type_name("hostname", time, entries), std::unexpected(kResolution));
    EXPECT_EQ(resolver.qualify_type_name("date", both, entries),
              fail("ambiguous named type &date: defined in std/time and acme/t"));
    EXPECT_EQ(resolver.qualify_type_name("date", missing, entries), std::unexpected(kResolution));
    EXPECT_EQ(resolver.unresolved(), (std::set<ModuleKey>{{"acme/missing", "yezo"}}));
}

constexpr std::string_view kUnitModule =
    ".!gezo acme/units\n"
    "m 0.3048\n&foot=\n&ft=foot\n&f=ft\n"
    "$\n&~XAU=\n";

TEST_F(ResolverTest, UnitModulesLoadOnceAndAnswerQueries) {
    write("acme/units.gezo", kUnitModule);
    Resolver resolver;
    const auto entries = registry("acme");

    EXPECT_EQ(resolver.load_unit_module("acme/units", entries), (UnitNames{"f", "foot", "ft", "~XAU"}));
    fs::remove(root_ / "acme/units.gezo");  // served from the cache from now on
    const Result<UserUnits> defs = resolver.unit_module_defs("acme/units", entries);
    ASSERT_TRUE(defs.has_value());
    EXPECT_EQ(defs->at("f").alias_of, "ft");
    EXPECT_EQ(defs->at("~XAU").unit, "$");
    EXPECT_EQ(resolver.unit_module_lookup("acme/units", entries), (UnitAliasTable{{"f", "foot"}, {"ft", "foot"}}));
    EXPECT_EQ(resolver.provenance().size(), 1u);
}

TEST_F(ResolverTest, AliasChainsStopAfterEightMoves) {
    std::string text = ".!gezo acme/chain\nm 1\n&a=\n&b=a\n";
    char previous = 'b';
    for (char name = 'c'; name <= 'l'; ++name) {  // c=b, d=c, ..., l=k
        text += std::string("&") + name + "=" + previous + "\n";
        previous = name;
    }
    write("acme/chain.gezo", text);
    Resolver resolver;
    const Result<UnitAliasTable> lookup = resolver.unit_module_lookup("acme/chain", registry("acme"));
    ASSERT_TRUE(lookup.has_value());
    EXPECT_EQ(lookup->at("b"), "a");
    EXPECT_EQ(lookup->at("j"), "a");  // target i, then eight moves
    EXPECT_EQ(lookup->at("k"), "b");  // target j, eight moves end at b
    EXPECT_EQ(lookup->at("l"), "c");
    EXPECT_FALSE(lookup->contains("a"));
}

TEST_F(ResolverTest, UnitModuleFailuresPassThrough) {
    write("acme/other.gezo", ".!gezo acme/different\n");
    write("acme/broken.gezo", ".!gezo acme/broken\nm 1\n");
    Resolver resolver;
    const auto entries = registry("acme");
    EXPECT_EQ(resolver.load_unit_module("acme/other", entries), std::unexpected(kResolution));
    EXPECT_EQ(resolver.unit_module_defs("acme/broken", entries),
              fail("trailing dimension line in .gezo with no &name= definition"));
    EXPECT_EQ(resolver.unit_module_lookup("acme/missing", entries), std::unexpected(kResolution));
}

}  // namespace
}  // namespace bezo
