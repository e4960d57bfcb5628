// An allocator for the large arrays that one call fills from front to back
// and frees before it returns, such as the nodes of a tree read from many
// megabytes of text. A block of at least kHugePageBlock bytes is a mapping
// of its own, marked for transparent huge pages where the system offers
// them, so that filling it takes a page fault per 2 MiB rather than one per
// 4 KiB; its pages go back to the system when it is freed, and nothing is
// kept between calls. Smaller blocks come from operator new, as with
// std::allocator.
#pragma once

#include <cstddef>
#include <new>

#include <sys/mman.h>

namespace bezo {

// The smallest block that gets a mapping of its own: several huge pages,
// so that the pages of its unaligned ends are few beside them.
inline constexpr std::size_t kHugePageBlock = std::size_t{8} << 20;

template <class T>
struct HugePageAllocator {
    static_assert(alignof(T) <= __STDCPP_DEFAULT_NEW_ALIGNMENT__);
    using value_type = T;

    HugePageAllocator() = default;
    template <class U>
    HugePageAllocator(const HugePageAllocator<U>&) {}

    T* allocate(std::size_t count) {
        const std::size_t bytes = count * sizeof(T);
        if (bytes < kHugePageBlock) return static_cast<T*>(::operator new(bytes));
        void* block = mmap(nullptr, bytes, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
        if (block == MAP_FAILED) throw std::bad_alloc();
#ifdef MADV_HUGEPAGE
        // Only a hint: without huge pages the block is filled page by page.
        madvise(block, bytes, MADV_HUGEPAGE);
#endif
        return static_cast<T*>(block);
    }

    void deallocate(T* block, std::size_t count) {
        const std::size_t bytes = count * sizeof(T);
        if (bytes < kHugePageBlock) {
            ::operator delete(block);
        } else {
            munmap(block, bytes);
        }
    }

    template <class U>
    friend bool operator==(const HugePageAllocator&, const HugePageAllocator<U>&) {
        return true;
    }
};

}  // namespace bezo
