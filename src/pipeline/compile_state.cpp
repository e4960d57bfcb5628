#include "pipeline/compile_state.hpp"

#include <algorithm>

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
    if (2 * (counters_.size() + 1) > slots_.size()) grow();
    const std::size_t hash = KeyedTextHash{}(path);
    const std::size_t mask = slots_.size() - 1;
    for (std::size_t i = hash & mask;; i = (i + 1) & mask) {
        Slot& slot = slots_[i];
        if (slot.counter == nullptr) {
            slot = Slot{hash, paths_.size(), path.size(), &counters_.emplace_back(0)};
            paths_ += path;
            return *slot.counter;
        }
        if (slot.hash == hash && std::string_view(paths_).substr(slot.offset, slot.length) == path) {
            return *slot.counter;
        }
    }
}

void EntryCounters::grow() {
    constexpr std::size_t kFirstSlots = 16;
    std::vector<Slot> slots(std::max(kFirstSlots, 2 * slots_.size()));
    const std::size_t mask = slots.size() - 1;
    for (const Slot& slot : slots_) {
        if (slot.counter == nullptr) continue;
        std::size_t i = slot.hash & mask;
        while (slots[i].counter != nullptr) i = (i + 1) & mask;
        slots[i] = slot;
    }
    slots_ = std::move(slots);
}

std::uint64_t& entry_counter(CompileState& state, std::string_view array_path) {
    return state.entry_counters[array_path];
}

bool has_pending_metadata(const CompileState& state) {
    return state.pending_annotation.has_value() || state.pending_provenance.has_value();
}

void take_pending_annotation(CompileState& state) {
    state.pending_annotation.reset();
    state.pending_provenance.reset();
}

}  // namespace bezo
