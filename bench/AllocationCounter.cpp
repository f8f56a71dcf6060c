#include "bench/AllocationCounter.h"

#include <atomic>
#include <cstddef>

// Interposes the C allocator of this executable and every library it loads; the
// real work is glibc's.
extern "C" {
void* __libc_malloc(size_t size);
void* __libc_calloc(size_t count, size_t size);
void* __libc_realloc(void* pointer, size_t size);
}

namespace {
std::atomic<bool> counting{false};
std::atomic<uint64_t> allocations{0};

void Note()
{
    if (counting.load(std::memory_order_relaxed))
        allocations.fetch_add(1, std::memory_order_relaxed);
}
}

extern "C" void* malloc(size_t size)
{
    Note();
    return __libc_malloc(size);
}

extern "C" void* calloc(size_t count, size_t size)
{
    Note();
    return __libc_calloc(count, size);
}

extern "C" void* realloc(void* pointer, size_t size)
{
    Note();
    return __libc_realloc(pointer, size);
}

void AllocationCounter::Start()
{
    allocations = 0;
    counting = true;
}

void AllocationCounter::Stop()
{
    counting = false;
}

uint64_t AllocationCounter::Count()
{
    return allocations.load();
}
