#include "pipeline/compile_state.hpp"

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

std::uint64_t& entry_counter(CompileState& state, std::string_view array_path) {
    auto found = state.entry_counters.find(array_path);
    if (found == state.entry_counters.end()) found = state.entry_counters.emplace(std::string(array_path), 0).first;
    return found->second;
}

bool has_pending_metadata(const CompileState& state) {
    return state.pending_annotation.has_value() || state.pending_provenance.has_value();
}

void take_pending_annotation(CompileState& state) {
    state.pending_annotation.reset();
    state.pending_provenance.reset();
}

}  // namespace bezo
