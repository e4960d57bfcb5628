// The per-call module resolver. It turns a module name such as "std/time" or
// "acme/units" and a kind word into the module's text, offline: texts that
// the call preloaded, the built-in type libraries, or a file inside a local
// directory that a registry names for the module's namespace. A location that
// is a web address is refused, never fetched. The resolver caches parsed type
// libraries and unit modules for the rest of the call and records where every
// module came from.
#pragma once

#include <cstdint>
#include <filesystem>
#include <functional>
#include <map>
#include <optional>
#include <set>
#include <span>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "core/error.hpp"
#include "lang/unit.hpp"
#include "lang/yezo.hpp"

namespace bezo {

// Where the location of a resolved module came from.
enum class ModuleOrigin : std::uint8_t {
    Preloaded = 0,         // a text preloaded by the call; no file
    CallerRegistry = 1,    // the registry entries passed by the caller
    ResolverRegistry = 2,  // the resolver's own registry
    DefaultLocation = 3,   // the kind's default location
};

// The record of one resolution.
struct ProvenanceEntry {
    std::string name;
    std::string kind;
    std::string location;  // as chosen, before joining; empty for a preload
    std::string path;      // the file read; empty for a preload or a refusal
    ModuleOrigin origin;

    friend bool operator==(const ProvenanceEntry&, const ProvenanceEntry&) = default;
};

// One ".!registry" pair of a document or schema: the directory (or refused
// web address) that serves the modules of one namespace.
struct RegistryEntry {
    std::string ns;
    std::string location;
};
using RegistryEntries = std::span<const RegistryEntry>;

// (module name, kind word).
using ModuleKey = std::pair<std::string, std::string>;

// A host's configuration of a resolver, fixed at creation. The functions of
// the Python module use none of it.
struct ResolverConfig {
    // Relative locations are joined to it; without it they stay relative to
    // the working directory.
    std::optional<std::filesystem::path> base_dir{};
    // Namespace to location; the key "default" serves every other namespace.
    std::map<std::string, std::string, std::less<>> registry{};
    // Only this registry may name locations; a caller's location is refused.
    bool strict = false;
    // Only the kind's default location is consulted.
    bool default_only = false;
};

class Resolver {
public:
    Resolver() = default;
    explicit Resolver(ResolverConfig config) : config_(std::move(config)) {}

    // Stores a text under (name, kind), replacing an earlier one. A preloaded
    // text is served without any file and without the name check.
    void preload_module_text(std::string_view name, std::string_view kind, std::string text);

    // The text of the module, from a preload or a registry file. Failures are
    // SchemaResolution or RegistryStrict without message or line, and add the
    // module to `unresolved`.
    Result<std::string> load_module_text(std::string_view name, RegistryEntries entries, std::string_view kind);

    // Makes the library available: built in, or read, parsed and cached.
    Result<void> load_type_library(std::string_view name, RegistryEntries entries);
    Result<TypeDef> lookup_library_type(std::string_view library, std::string_view type, RegistryEntries entries);
    Result<bool> library_defines_type(std::string_view library, std::string_view type, RegistryEntries entries);

    // The qualified name ("std/time/date") of a bare type name, found among
    // the imported libraries. Primitive names come back unchanged.
    Result<std::string> qualify_type_name(std::string_view name, std::span<const std::string> imports,
                                          RegistryEntries entries);

    // The names of the units the module defines, in byte order; the module is
    // read and parsed once per resolver.
    Result<UnitNames> load_unit_module(std::string_view name, RegistryEntries entries);
    Result<UserUnits> unit_module_defs(std::string_view name, RegistryEntries entries);
    // Each alias unit of the module mapped to the unit its alias chain ends at.
    Result<UnitAliasTable> unit_module_lookup(std::string_view name, RegistryEntries entries);

    const std::set<ModuleKey>& unresolved() const { return unresolved_; }
    const std::vector<ProvenanceEntry>& provenance() const { return provenance_; }

private:
    struct Location {
        std::string text;
        ModuleOrigin origin;
    };

    std::optional<Location> choose_location(std::string_view ns, RegistryEntries entries, std::string_view kind) const;
    std::optional<Location> own_registry_location(std::string_view ns) const;
    Result<std::string> read_module_file(std::string_view name, std::string_view kind, const Location& location);
    Error unresolved_error(std::string_view name, std::string_view kind, AppErrorKind error);
    Result<const TypeLibrary*> available_library(std::string_view name, RegistryEntries entries);
    Result<const UnitDefs*> loaded_unit_module(std::string_view name, RegistryEntries entries);

    ResolverConfig config_;
    std::map<std::string, TypeLibrary, std::less<>> type_libraries_;
    std::map<std::string, UnitDefs, std::less<>> unit_modules_;
    std::map<ModuleKey, std::string> texts_;
    std::set<ModuleKey> unresolved_;
    std::vector<ProvenanceEntry> provenance_;
};

// The largest module file the resolver reads; a larger one is refused
// before any of it is read.
inline constexpr std::uint64_t kMaxModuleFileBytes = 64ull << 20;

// Reads a module file at its resolved path (no link in any part of it): a
// regular file of at most kMaxModuleFileBytes. No value for anything else,
// for a path that holds a link (put in since it was resolved), or when the
// reading fails.
std::optional<std::string> read_module_file_text(const std::string& path);

// A segment of a module name: an ASCII letter (or, after the first segment,
// a digit) followed by letters, digits, "-" and "_".
bool is_valid_module_segment(std::string_view segment, bool first);

// A location (or a schema name) beginning with "http://" or "https://":
// a web address, refused and never fetched.
bool is_web_location(std::string_view location);

// The pair of a ".!registry" directive from the text after the word: trimmed
// of blanks and tabs, cut at its first "=" into namespace and location. No
// value without "=".
std::optional<RegistryEntry> parse_registry_pair(std::string_view argument);

// The default location of a kind word; every one is a web address, so a
// module that reaches it is refused. No value for kinds without one.
std::optional<std::string_view> default_module_base(std::string_view kind);

}  // namespace bezo
