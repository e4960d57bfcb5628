#include "pipeline/compile_state.hpp"

#include <algorithm>

#include "core/fault.hpp"

namespace bezo {

std::string_view current_block_path(const CompileState& state) { return state.block_path; }

void push_block(CompileState& state, BlockKind kind) {
    state.blocks.push_back(BlockFrame{kind, state.block_path.size()});
}

void close_block(CompileState& state, BlockKind kind) {
    if (state.blocks.empty() || state.blocks.back().kind != kind) return;
    state.blocks.pop_back();
    state.block_path.resize(state.blocks.empty() ? 0 : state.blocks.back().path_length);
}

std::uint64_t& EntryCounters::operator[](std::string_view path) {
    if (2 * (entries_.size() + 1) > slots_.size()) grow();
    if (entries_.size() == kNumberMask) raise_fault("more arrays than the entry counters can number");
    const std::size_t hash = KeyedTextHash{}(path);
    const std::uint64_t tag = hash_tag(hash);
    const std::size_t mask = slots_.size() - 1;
    for (std::size_t i = hash & mask;; i = (i + 1) & mask) {
        const std::uint64_t slot = slots_[i];
        if (slot == kFree) {
            Entry& entry = entries_.emplace_back(Entry{hash, paths_.size(), path.size(), 0});
            paths_ += path;
            slots_[i] = tag | entries_.size();
            return entry.counter;
        }
        if ((slot & ~kNumberMask) != tag) continue;
        const std::size_t number = (slot & kNumberMask) - 1;
        Entry& entry = entries_[number];
        if (entry.hash == hash && path_of(entry) == path) return entry.counter;
    }
}

void EntryCounters::grow() {
    constexpr std::size_t kFirstSlots = 16;
    slots_.assign(std::max(kFirstSlots, 2 * slots_.size()), kFree);
    const std::size_t mask = slots_.size() - 1;
    for (std::size_t number = 0; number < entries_.size(); ++number) {
        std::size_t i = entries_[number].hash & mask;
        while (slots_[i] != kFree) i = (i + 1) & mask;
        slots_[i] = hash_tag(entries_[number].hash) | (number + 1);
    }
}

std::uint64_t& entry_counter(CompileState& state, std::string_view array_path) {
    return state.entry_counters[array_path];
}

bool has_pending_metadata(const CompileState& state) {
    return static_cast<bool>(state.pending_annotation) || state.pending_provenance.has_value();
}

void take_pending_annotation(CompileState& state) {
    state.pending_annotation.reset();
    state.pending_provenance.reset();
}

}  // namespace bezo
