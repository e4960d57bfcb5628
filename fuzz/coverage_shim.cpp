// Edge coverage for libFuzzer from GCC's basic-block callbacks. The core is
// compiled with -fsanitize-coverage=trace-pc, which calls one function at the
// start of every basic block; its static library has that call renamed to
// bezo_fuzz_trace_pc (objcopy), since the libFuzzer runtime defines the
// original name itself. Each call counts the edge from the previous block to
// this one in an array of 8-bit counters that libFuzzer reads as coverage.
#include <cstddef>
#include <cstdint>

extern "C" void __sanitizer_cov_8bit_counters_init(std::uint8_t* start, std::uint8_t* stop);

namespace {

constexpr unsigned kEdgeBits = 17;
constexpr std::size_t kEdges = std::size_t{1} << kEdgeBits;

std::uint8_t edge_counters[kEdges];
std::uintptr_t previous_block = 0;

// A block's slot: the high bits of the return address times a 64-bit odd
// constant, so that neighbouring addresses land far apart.
inline std::uintptr_t block_slot(std::uintptr_t pc) { return (pc * 0x9E3779B97F4A7C15ULL) >> (64 - kEdgeBits); }

__attribute__((constructor)) void register_edge_counters() {
    __sanitizer_cov_8bit_counters_init(edge_counters, edge_counters + kEdges);
}

}  // namespace

// The edge (previous, current) indexes the counters; the previous block is
// shifted so that A->B and B->A count apart.
extern "C" __attribute__((no_sanitize("address", "undefined"))) void bezo_fuzz_trace_pc() {
    const std::uintptr_t current = block_slot(reinterpret_cast<std::uintptr_t>(__builtin_return_address(0)));
    ++edge_counters[current ^ previous_block];
    previous_block = current >> 1;
}

// GCC also reports floating-point comparisons, which libFuzzer does not take;
// they guide nothing here.
extern "C" void __sanitizer_cov_trace_cmpf(float, float) {}
extern "C" void __sanitizer_cov_trace_cmpd(double, double) {}
