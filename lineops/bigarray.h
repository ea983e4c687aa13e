#pragma once

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <new>
#include <utility>
#include <vector>
#if defined(__linux__)
#include <sys/mman.h>
#endif

namespace lumbrel {

// Asks for huge pages under the whole 2 MiB pages of [p, p + bytes) where the system allows
// it. A million-line table or result touched for the first time otherwise costs thousands of
// page faults, and its scattered probes as many misses of the address translation cache.
inline void AdviseHugePages(void* p, std::size_t bytes)
{
#if defined(__linux__) && defined(MADV_HUGEPAGE)
    constexpr std::uintptr_t Huge = std::uintptr_t{2} << 20;
    const auto begin = (reinterpret_cast<std::uintptr_t>(p) + Huge - 1) / Huge * Huge;
    const auto end = (reinterpret_cast<std::uintptr_t>(p) + bytes) / Huge * Huge;
    if (end > begin)
        madvise(reinterpret_cast<void*>(begin), end - begin, MADV_HUGEPAGE);
#else
    (void)p;
    (void)bytes;
#endif
}

// Allocates from calloc, whose big blocks come zeroed from the system without a pass over
// them, under huge pages. Elements made without a value are left as the memory holds them:
// zero, for a vector made at its size (not for one grown after it shrank).
template <typename T> struct ZeroedAllocator
{
    using value_type = T;
    ZeroedAllocator() = default;
    template <typename U> ZeroedAllocator(const ZeroedAllocator<U>& /*other*/)
    {
    }
    T* allocate(std::size_t n)
    {
        void* p = std::calloc(n, sizeof(T));
        if (p == nullptr)
            throw std::bad_alloc();
        AdviseHugePages(p, n * sizeof(T));
        return static_cast<T*>(p);
    }
    void deallocate(T* p, std::size_t /*n*/)
    {
        std::free(p);
    }
    template <typename U> void construct(U* p) noexcept
    {
        ::new (static_cast<void*>(p)) U;
    }
    template <typename U, typename... Args> void construct(U* p, Args&&... args)
    {
        ::new (static_cast<void*>(p)) U(std::forward<Args>(args)...);
    }
    template <typename U> bool operator==(const ZeroedAllocator<U>& /*other*/) const
    {
        return true;
    }
};

// A vector of plain numbers that starts zeroed without a pass over it.
template <typename T> using ZeroedVector = std::vector<T, ZeroedAllocator<T>>;

} // namespace lumbrel
