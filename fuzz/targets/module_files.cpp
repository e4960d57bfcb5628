// The resolver's file half: registry locations are followed, relative ones
// inside a temporary directory that holds a few module files under
// "reg/acme" (a compiled and an authored schema, a type library, a unit
// module) beside entries no module may be read from (a directory, a FIFO, a
// link to an endless device, links that lead out of the registry, one for
// each kind and a directory link) and, outside the registry, files holding
// a secret. The first byte chooses the road: the denormalizer on relational
// text, the schema compiler, or the compiler followed by the denormalizer.
// Nothing may block, and no result or error may show the secret unless the
// input holds it.
#include <sys/stat.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <random>
#include <string>

#include "fuzz_target.hpp"
#include "pipeline/compiler.hpp"
#include "pipeline/denorm.hpp"
#include "schema/schema_compiler.hpp"

using namespace bezo;
namespace fs = std::filesystem;

namespace {

constexpr std::string_view kTypeLibrary = ".!yezo acme/t\n/^[A-Z]{3}$/\n&code=\n";
constexpr std::string_view kUnitModule = ".!gezo acme/u\nm 0.3048\n&foot=\n&ft=foot\n";
constexpr std::string_view kAuthoredSchema =
    ".!hezo acme/s\n.!registry acme=reg\n.!types acme/t\n.!units acme/u\n"
    "!acme/t/code\nid=\n!float:foot\nlen=1\n!str/^[a-z]+$/\nname?=x\n";
constexpr std::string_view kCompiledSchema =
    ".!whezo acme/s\n!acme/t/code /^[A-Z]{3}$/'::id=\n"
    "!float:foot /^-?[0-9]*\\.?[0-9]+([eE][+-]?[0-9]+)?$/ ..num'::len=1\n!str /^[a-z]+$/'::name?=x\n";

// The directory and its files, made on first use and removed at exit.
class ModuleTree {
public:
    ModuleTree() {
        std::string pattern = (fs::temp_directory_path() / "bezo-fuzz-modules-XXXXXX").string();
        if (::mkdtemp(pattern.data()) == nullptr) fuzz::fail_check("a temporary directory for the module files");
        root_ = pattern;
        const fs::path acme = root_ / "reg" / "acme";
        fs::create_directories(acme / "dir.whezo");
        write(acme / "t.yezo", kTypeLibrary);
        write(acme / "u.gezo", kUnitModule);
        write(acme / "s.hezo", kAuthoredSchema);
        write(acme / "s.whezo", kCompiledSchema);
        if (::mkfifo((acme / "fifo.whezo").c_str(), 0600) != 0) fuzz::fail_check("a FIFO among the module files");
        fs::create_symlink("/dev/zero", acme / "zero.whezo");
        secret_ = "secret-" + std::to_string(std::random_device{}()) + std::to_string(std::random_device{}());
        write(root_ / "secret.txt", secret_ + "\n");
        for (std::string_view kind : {"whezo", "hezo", "yezo", "gezo"}) {
            const std::string file = "out." + std::string(kind);
            write(root_ / file, secret_ + "\n");
            fs::create_symlink("../../" + file, acme / file);
        }
        fs::create_symlink(root_ / "secret.txt", acme / "abs.whezo");
        // "away/out" of any kind reaches the files above through a link.
        fs::create_symlink(root_, root_ / "reg" / "away");
    }
    ~ModuleTree() {
        std::error_code ignored;
        fs::remove_all(root_, ignored);
    }
    ModuleTree(const ModuleTree&) = delete;
    ModuleTree& operator=(const ModuleTree&) = delete;

    const fs::path& root() const { return root_; }
    const std::string& secret() const { return secret_; }

private:
    static void write(const fs::path& path, std::string_view text) { std::ofstream(path, std::ios::binary) << text; }

    fs::path root_;
    std::string secret_;
};

const ModuleTree& module_tree() {
    static const ModuleTree tree;
    return tree;
}

Result<std::string> compile_and_denormalize(std::string_view text, Resolver& resolver) {
    auto relational = compile_document(text, resolver);
    if (!relational) return relational;
    return denormalize_document(*relational, resolver);
}

Result<std::string> run_road(std::uint8_t selector, std::string_view text, Resolver& resolver) {
    switch (selector % 3) {
        case 0: return denormalize_document(text, resolver);
        case 1: return compile_schema_text(text, resolver);
        default: return compile_and_denormalize(text, resolver);
    }
}

}  // namespace

BEZO_FUZZ_TARGET(input) {
    const ModuleTree& tree = module_tree();
    const std::uint8_t selector = fuzz::take_selector(input);
    Resolver resolver(ResolverConfig{.base_dir = tree.root()});
    const auto result = run_road(selector, input, resolver);
    // The fuzzer learns the secret from this very comparison; an input that
    // holds it may see it echoed.
    if (input.find(tree.secret()) != std::string_view::npos) return;
    const std::string shown = result ? *result : error_display(result.error());
    fuzz::check(shown.find(tree.secret()) == std::string::npos, "no file outside the registry is read");
}
