#include "lang/resolve.hpp"

#include <fcntl.h>
#include <linux/openat2.h>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <unistd.h>

#include <array>
#include <cerrno>
#include <cstdlib>

#include "core/text.hpp"
#include "core/utf8.hpp"
#include "lang/anno.hpp"
#include "lang/unitdefs.hpp"

namespace bezo {
namespace {

constexpr std::string_view kDefaultRegistryKey = "default";
constexpr std::size_t kMaxAliasMoves = 8;

bool is_valid_module_name(std::string_view name) {
    bool first = true;
    while (true) {
        const std::size_t slash = name.find('/');
        if (!is_valid_module_segment(name.substr(0, slash), first)) return false;
        if (slash == std::string_view::npos) return true;
        name.remove_prefix(slash + 1);
        first = false;
    }
}

// Owns a file descriptor for the length of one read.
class FileHandle {
public:
    explicit FileHandle(int fd) : fd_(fd) {}
    FileHandle(const FileHandle&) = delete;
    FileHandle& operator=(const FileHandle&) = delete;
    ~FileHandle() {
        if (fd_ >= 0) ::close(fd_);
    }
    int get() const { return fd_; }

private:
    int fd_;
};

// False for a path that the system would read as another one: the C form of a path
// ends at its first NUL, so "/etc/passwd\0/acme/s.whezo" would open
// "/etc/passwd". NUL is the one byte no path may hold.
bool is_openable_path(std::string_view path) { return path.find('\0') == std::string_view::npos; }

bool is_regular_file_info(int status, const struct stat& info) { return status == 0 && S_ISREG(info.st_mode); }

// The path with every link, "." and ".." resolved; no value when some part
// of it does not exist.
std::optional<std::string> resolved_path(const std::filesystem::path& path) {
    char* resolved = ::realpath(path.c_str(), nullptr);
    if (resolved == nullptr) return std::nullopt;
    std::string text(resolved);
    std::free(resolved);
    return text;
}

// The file at `relative` in `directory`, resolved, when it lies inside the
// directory once links are resolved in both: a link among the module files
// may lead elsewhere in the registry, never out of it.
std::optional<std::string> resolved_path_beneath(const std::filesystem::path& directory,
                                                 const std::filesystem::path& relative) {
    const std::optional<std::string> root = resolved_path(directory);
    const std::optional<std::string> file = resolved_path(directory / relative);
    if (!root || !file) return std::nullopt;
    const std::string_view inside = *root == "/" ? std::string_view() : std::string_view(*root);
    if (!file->starts_with(inside) || file->size() <= inside.size() + 1 || (*file)[inside.size()] != '/') {
        return std::nullopt;
    }
    return file;
}

// Opens a path that was resolved just before, refusing a link in any of its
// parts: one there now was put in since, to lead the read out of the
// registry. Where the system lacks openat2, only the last part is checked.
int open_without_links(const std::string& path) {
    constexpr int kFlags = O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_NOCTTY | O_CLOEXEC;
    open_how how{};
    how.flags = kFlags;
    how.resolve = RESOLVE_NO_SYMLINKS;
    const long fd = ::syscall(SYS_openat2, AT_FDCWD, path.c_str(), &how, sizeof how);
    if (fd >= 0 || (errno != ENOSYS && errno != EPERM)) return static_cast<int>(fd);
    return ::open(path.c_str(), kFlags);
}

}  // namespace

// A directory, a FIFO or a device is refused before it is opened (opening
// some devices acts on them), and again on the open descriptor, which is
// opened without following a link, without blocking (a FIFO would
// otherwise block the call) and without becoming a controlling terminal.
// The size is checked on the open descriptor before anything is read, and
// the reading stops past the cap for files whose size the system does not
// tell.
std::optional<std::string> read_module_file_text(const std::string& path) {
    struct stat info {};
    if (!is_regular_file_info(::stat(path.c_str(), &info), info)) return std::nullopt;
    const FileHandle file(open_without_links(path));
    if (file.get() < 0) return std::nullopt;
    if (!is_regular_file_info(::fstat(file.get(), &info), info)) return std::nullopt;
    if (static_cast<std::uint64_t>(info.st_size) > kMaxModuleFileBytes) return std::nullopt;

    std::string content;
    content.reserve(static_cast<std::size_t>(info.st_size));
    std::array<char, 65536> buffer;
    while (true) {
        const ssize_t count = ::read(file.get(), buffer.data(), buffer.size());
        if (count == 0) return content;
        if (count < 0) {
            if (errno == EINTR) continue;
            return std::nullopt;
        }
        if (content.size() + static_cast<std::size_t>(count) > kMaxModuleFileBytes) return std::nullopt;
        content.append(buffer.data(), static_cast<std::size_t>(count));
    }
}

namespace {

// A module from the cache, else loaded, parsed, checked to declare the name
// it was asked for, and kept in the cache for the rest of the call.
template <class Module>
Result<const Module*> cached_module(Resolver& resolver, std::map<std::string, Module, std::less<>>& cache,
                                    std::string_view name, RegistryEntries entries, std::string_view kind,
                                    Result<Module> (*parse)(std::string_view)) {
    if (const auto cached = cache.find(name); cached != cache.end()) return &cached->second;

    Result<std::string> text = resolver.load_module_text(name, entries, kind);
    if (!text) return forward_error(text);
    Result<Module> module = parse(*text);
    if (!module) return std::unexpected(with_excerpted_message(std::move(module.error())));
    if (module->name != name) return std::unexpected(Error::App(AppErrorKind::SchemaResolution));
    return &cache.emplace(std::string(name), std::move(*module)).first->second;
}

}  // namespace

bool is_web_location(std::string_view location) {
    return location.starts_with("http://") || location.starts_with("https://");
}

std::optional<RegistryEntry> parse_registry_pair(std::string_view argument) {
    argument = trim_blanks(argument);
    const auto eq = argument.find('=');
    if (eq == std::string_view::npos) return std::nullopt;
    return RegistryEntry{std::string(argument.substr(0, eq)), std::string(argument.substr(eq + 1))};
}

bool is_valid_module_segment(std::string_view segment, bool first) {
    if (segment.empty()) return false;
    const char lead = segment.front();
    if (!is_ascii_letter(lead) && (first || !is_ascii_digit(lead))) return false;
    for (char c : segment.substr(1)) {
        if (!is_ascii_letter(c) && !is_ascii_digit(c) && c != '-' && c != '_') return false;
    }
    return true;
}

std::optional<std::string_view> default_module_base(std::string_view kind) {
    if (kind == "hezo" || kind == "whezo" || kind == "pezo") return "https://schemas.invalid";
    if (kind == "yezo") return "https://types.invalid";
    if (kind == "gezo") return "https://units.invalid";
    return std::nullopt;
}

void Resolver::preload_module_text(std::string_view name, std::string_view kind, std::string text) {
    texts_.insert_or_assign(ModuleKey{name, kind}, std::move(text));
}

Error Resolver::unresolved_error(std::string_view name, std::string_view kind, AppErrorKind error) {
    unresolved_.emplace(name, kind);
    return Error::App(error);
}

std::optional<Resolver::Location> Resolver::own_registry_location(std::string_view ns) const {
    auto found = config_.registry.find(ns);
    if (found == config_.registry.end()) found = config_.registry.find(kDefaultRegistryKey);
    if (found == config_.registry.end()) return std::nullopt;
    return Location{found->second, ModuleOrigin::ResolverRegistry};
}

std::optional<Resolver::Location> Resolver::choose_location(std::string_view ns, RegistryEntries entries,
                                                            std::string_view kind) const {
    std::optional<Location> fallback;
    if (const auto base = default_module_base(kind)) {
        fallback = Location{std::string(*base), ModuleOrigin::DefaultLocation};
    }
    if (config_.default_only) return fallback;

    std::optional<Location> caller;
    for (const RegistryEntry& entry : entries) {
        if (entry.ns == ns) {
            caller = Location{entry.location, ModuleOrigin::CallerRegistry};
            break;
        }
    }
    std::optional<Location> own = own_registry_location(ns);
    // Under `strict` the resolver's own registry is asked first; a location
    // that only the caller names is then refused by load_module_text.
    std::optional<Location>& first = config_.strict ? own : caller;
    std::optional<Location>& second = config_.strict ? caller : own;
    if (first) return first;
    if (second) return second;
    return fallback;
}

Result<std::string> Resolver::load_module_text(std::string_view name, RegistryEntries entries, std::string_view kind) {
    if (const auto preloaded = texts_.find(ModuleKey{name, kind}); preloaded != texts_.end()) {
        provenance_.push_back({std::string(name), std::string(kind), {}, {}, ModuleOrigin::Preloaded});
        return preloaded->second;
    }
    if (!is_valid_module_name(name))
        return std::unexpected(unresolved_error(name, kind, AppErrorKind::SchemaResolution));

    const std::string_view ns = name.substr(0, name.find('/'));
    const std::optional<Location> location = choose_location(ns, entries, kind);
    if (!location) return std::unexpected(unresolved_error(name, kind, AppErrorKind::SchemaResolution));
    if (config_.strict && location->origin == ModuleOrigin::CallerRegistry) {
        provenance_.push_back({std::string(name), std::string(kind), location->text, {}, location->origin});
        return std::unexpected(unresolved_error(name, kind, AppErrorKind::RegistryStrict));
    }
    if (is_web_location(location->text)) {
        return std::unexpected(unresolved_error(name, kind, AppErrorKind::SchemaResolution));
    }
    return read_module_file(name, kind, *location);
}

Result<std::string> Resolver::read_module_file(std::string_view name, std::string_view kind, const Location& location) {
    // The module name passed the name rule, so it holds no NUL and cannot
    // climb out of the directory ("..", a leading "/"); the location and the
    // base directory are refused here before they are joined.
    const bool base_openable = !config_.base_dir || is_openable_path(config_.base_dir->native());
    if (!is_openable_path(location.text) || !base_openable) {
        return std::unexpected(unresolved_error(name, kind, AppErrorKind::SchemaResolution));
    }
    std::filesystem::path directory(location.text);
    if (!directory.is_absolute() && config_.base_dir) directory = *config_.base_dir / directory;
    std::string file_name(name);
    file_name += '.';
    file_name += kind;
    const std::filesystem::path file = directory / file_name;

    const std::optional<std::string> resolved = resolved_path_beneath(directory, file_name);
    std::optional<std::string> text = resolved ? read_module_file_text(*resolved) : std::nullopt;
    if (!text || !is_valid_utf8(*text)) {
        return std::unexpected(unresolved_error(name, kind, AppErrorKind::SchemaResolution));
    }
    provenance_.push_back({std::string(name), std::string(kind), location.text, file.string(), location.origin});
    return std::move(*text);
}

Result<const TypeLibrary*> Resolver::available_library(std::string_view name, RegistryEntries entries) {
    if (const TypeLibrary* builtin = builtin_type_library(name)) return builtin;
    return cached_module(*this, type_libraries_, name, entries, "yezo", parse_type_library);
}

Result<void> Resolver::load_type_library(std::string_view name, RegistryEntries entries) {
    Result<const TypeLibrary*> library = available_library(name, entries);
    if (!library) return forward_error(library);
    return {};
}

Result<TypeDef> Resolver::lookup_library_type(std::string_view library, std::string_view type,
                                              RegistryEntries entries) {
    Result<const TypeLibrary*> loaded = available_library(library, entries);
    if (!loaded) return forward_error(loaded);
    const auto found = (*loaded)->types.find(type);
    if (found == (*loaded)->types.end()) return std::unexpected(Error::App(AppErrorKind::SchemaResolution));
    return found->second;
}

Result<bool> Resolver::library_defines_type(std::string_view library, std::string_view type, RegistryEntries entries) {
    Result<const TypeLibrary*> loaded = available_library(library, entries);
    if (!loaded) return forward_error(loaded);
    return (*loaded)->types.contains(type);
}

Result<std::string> Resolver::qualify_type_name(std::string_view name, std::span<const std::string> imports,
                                                RegistryEntries entries) {
    if (is_primitive_type_name(name)) return std::string(name);

    const std::string* defining = nullptr;
    for (const std::string& library : imports) {
        Result<bool> defines = library_defines_type(library, name, entries);
        if (!defines) return forward_error(defines);
        // A library imported twice defines the name once, not ambiguously.
        if (!*defines || (defining && *defining == library)) continue;
        if (defining) {
            return fail("ambiguous named type &" + quoted_excerpt(name) + ": defined in " + quoted_excerpt(*defining) +
                        " and " + quoted_excerpt(library));
        }
        defining = &library;
    }
    if (!defining) return std::unexpected(Error::App(AppErrorKind::SchemaResolution));
    return *defining + "/" + std::string(name);
}

Result<const UnitDefs*> Resolver::loaded_unit_module(std::string_view name, RegistryEntries entries) {
    return cached_module(*this, unit_modules_, name, entries, "gezo", parse_unit_defs);
}

Result<UnitNames> Resolver::load_unit_module(std::string_view name, RegistryEntries entries) {
    Result<const UnitDefs*> module = loaded_unit_module(name, entries);
    if (!module) return forward_error(module);
    UnitNames names;
    for (const auto& [unit_name, def] : (*module)->units) names.insert(names.end(), unit_name);
    return names;
}

Result<UserUnits> Resolver::unit_module_defs(std::string_view name, RegistryEntries entries) {
    Result<const UnitDefs*> module = loaded_unit_module(name, entries);
    if (!module) return forward_error(module);
    return (*module)->units;
}

Result<UnitAliasTable> Resolver::unit_module_lookup(std::string_view name, RegistryEntries entries) {
    Result<const UnitDefs*> module = loaded_unit_module(name, entries);
    if (!module) return forward_error(module);
    const UserUnits& units = (*module)->units;

    UnitAliasTable targets;
    for (const auto& [unit_name, def] : units) {
        if (!def.alias_of) continue;
        std::string_view current = *def.alias_of;
        for (std::size_t moves = 0; moves < kMaxAliasMoves; ++moves) {
            const auto next = units.find(current);
            if (next == units.end() || !next->second.alias_of) break;
            current = *next->second.alias_of;
        }
        targets.emplace(unit_name, current);
    }
    return targets;
}

}  // namespace bezo
