// The state of one compilation of an authored document: everything the
// compiler knows about the document while it walks the lexed lines once.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <deque>
#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "core/budget.hpp"
#include "core/hash.hpp"
#include "lang/anno.hpp"
#include "lang/resolve.hpp"
#include "lang/unit.hpp"
#include "pipeline/relational.hpp"
#include "schema/check.hpp"

namespace bezo {

// One (key, value) item of a splat.
struct SplatItem {
    std::string key;
    std::string value;

    friend bool operator==(const SplatItem&, const SplatItem&) = default;
};
using SplatItems = std::vector<SplatItem>;

enum class BlockKind : std::uint8_t {
    Namespace,  // opened by "(...)"
    Section,    // opened by "[...]"; one entry of an array of records
};

// One open block. Every block opens inside the block that is innermost at
// that moment, so the path of each open block extends the path of the block
// below it: one text holds the innermost path, and each frame records how
// much of it is its own path. Deep nesting thus costs memory in proportion
// to the path, not to its square.
// Blocks may nest at most this deep.
inline constexpr std::size_t kMaxBlockDepth = 512;

struct BlockFrame {
    BlockKind kind = BlockKind::Namespace;
    // The length of the block's full path from the root (a section's entry
    // index included) within `CompileState::block_path`.
    std::size_t path_length = 0;
};

// The lowered constraint items of one union member; none when the member
// takes any value.
using LoweredMember = std::optional<std::vector<AnnotationItem>>;

// An annotation line, parsed and checked, with the signature it gives a
// line when no provenance line is pending. The text is a view of the
// document being compiled.
struct RecentAnnotation {
    std::string_view text;
    Annotation annotation;
    std::string signature;
};

// The annotations of the last few annotation lines: a document repeats a
// handful of annotations ("!int", "!float") line after line, and such an
// annotation is given by its text and by the unit modules it was checked
// against.
class RecentAnnotations {
public:
    const RecentAnnotation* find(std::string_view text) const {
        for (const auto& entry : entries_) {
            if (entry.text == text) return &entry;
        }
        return nullptr;
    }
    // Matches no text any more; a pending annotation kept here stays in
    // place.
    void forget() {
        for (auto& entry : entries_) entry.text = {};
    }
    // Keeps the annotation in place of the oldest one.
    const RecentAnnotation& add(std::string_view text, Annotation annotation) {
        RecentAnnotation& entry = entries_[next_];
        next_ = (next_ + 1) % entries_.size();
        entry.signature = render_type_signature(&annotation, std::nullopt);
        entry.annotation = std::move(annotation);
        entry.text = text;
        return entry;
    }

private:
    std::array<RecentAnnotation, 4> entries_{};
    std::size_t next_ = 0;
};

// The annotation waiting for the next content line: a recent annotation,
// taken where it is kept, or one of its own.
class PendingAnnotation {
public:
    PendingAnnotation() = default;
    PendingAnnotation(const PendingAnnotation&) = delete;
    PendingAnnotation& operator=(const PendingAnnotation&) = delete;

    explicit operator bool() const { return current_ != nullptr; }
    const Annotation& operator*() const { return *current_; }
    const Annotation* operator->() const { return current_; }
    const Annotation* get() const { return current_; }
    // The signature of a line under it when no provenance line is pending;
    // none when it is to be rendered.
    const std::string* signature() const { return signature_; }

    void set(Annotation annotation) {
        owned_ = std::move(annotation);
        current_ = &owned_;
        signature_ = nullptr;
    }
    void set(const RecentAnnotation& recent) {
        current_ = &recent.annotation;
        signature_ = &recent.signature;
    }
    void reset() {
        current_ = nullptr;
        signature_ = nullptr;
    }

private:
    Annotation owned_;
    const Annotation* current_ = nullptr;
    const std::string* signature_ = nullptr;
};

// The next entry index of every array met so far, by joined array path.
// A document imported from JSON opens new arrays in every record, so a new
// path costs no allocation of its own: the paths are appended to one text,
// their hashes, places and counters to one deque (where each stays in
// place, and which grows without copying), and an open-addressing table of
// entry numbers, each beside the top bits of its hash, finds them: a probe
// reads an entry only when those bits match.
class EntryCounters {
public:
    // The counter of the array at `path`, 0 the first time.
    std::uint64_t& operator[](std::string_view path);

private:
    struct Entry {
        std::size_t hash;
        std::size_t offset;  // of the path within `paths_`
        std::size_t length;
        std::uint64_t counter;
    };
    // A slot holds the top bits of its entry's hash above the entry's number
    // plus one (0: the slot is free).
    static constexpr std::size_t kFree = 0;
    static constexpr int kNumberBits = 40;
    static constexpr std::uint64_t kNumberMask = (std::uint64_t{1} << kNumberBits) - 1;
    static std::uint64_t hash_tag(std::size_t hash) { return (std::uint64_t{hash} >> kNumberBits) << kNumberBits; }

    void grow();
    std::string_view path_of(const Entry& entry) const {
        return std::string_view(paths_).substr(entry.offset, entry.length);
    }

    std::string paths_;
    std::deque<Entry> entries_;
    std::vector<std::uint64_t> slots_;  // a power of two in size, at most half full
};

struct CompileState {
    explicit CompileState(Resolver& resolver) : resolver(resolver) {}

    // Unit names and alias table of the ".!units" modules, built on first use.
    std::optional<UnitNames> user_unit_names;
    std::optional<UnitAliasTable> user_unit_aliases;

    std::vector<std::string> types_imports;
    TextSet types_seen;
    std::vector<std::string> units_imports;
    std::vector<RegistryEntry> registry;

    RelationalText output;
    // The most bytes `output` may hold (core/budget.hpp).
    std::size_t output_budget = kMinOutputBudget;
    // ".!schema:" lines collected from namespace heads, in order, no repeats.
    std::vector<std::string> delegation_lines;
    TextSet delegation_seen;

    std::vector<BlockFrame> blocks;  // innermost last
    // The joined path text of the innermost open block ("" when none is open).
    std::string block_path;

    PendingAnnotation pending_annotation;
    RecentAnnotations recent_annotations;
    std::optional<std::string> pending_provenance;

    TextMap<std::string> text_variables;
    TextMap<std::vector<std::string>> record_variables;
    TextMap<SplatItems> splat_variables;
    // Bytes of variable text that substitutions may still produce.
    std::size_t expansion_budget = kGrowthLimit;
    // Next entry index per joined array path.
    EntryCounters entry_counters;

    std::uint64_t current_line = 0;
    bool verbatim = false;
    bool content_seen = false;

    // Buffers reused from line to line: a field's joined path, its expanded
    // value and a signature rendered for it, and the joined path of an
    // array that scalar entries are appended to.
    std::string path_scratch;
    std::string array_path_scratch;
    std::string value_scratch;
    std::string signature_scratch;
    // What `path_scratch` was last joined from for a «path::key» line: the
    // path text (a view of the document) and the size of the block path
    // then, which `path_scratch` begins with.
    std::string_view qualified_text;
    std::size_t qualified_block_size = SIZE_MAX;

    Resolver& resolver;
    // Patterns of union members, compiled once per compile.
    PatternCache patterns;
    // Union members lowered so far, by member, and the length of their
    // lowered texts.
    TextMap<LoweredMember> lowered_members;
    std::size_t lowered_member_bytes = 0;
};

// The joined path text of the innermost open block ("" when none is open).
std::string_view current_block_path(const CompileState& state);

// The entry counter of the array at `array_path`: the index its next entry
// takes (0 the first time). The reference stays valid for the whole compile.
std::uint64_t& entry_counter(CompileState& state, std::string_view array_path);

// Opens a block whose path is `block_path` as it stands now.
void push_block(CompileState& state, BlockKind kind);

// Closes the innermost block when it is of `kind`; otherwise nothing happens.
void close_block(CompileState& state, BlockKind kind);

bool has_pending_metadata(const CompileState& state);

// Clears the pending annotation and provenance once a line is done with them.
void take_pending_annotation(CompileState& state);

}  // namespace bezo
