#pragma once
#include <cstdint>

// Counts heap allocations (malloc, calloc, realloc and all that sits on them, Qt's
// containers included) while counting is on, so the harness can show that receiving
// does not allocate per block.
namespace AllocationCounter {
void Start();
void Stop();
uint64_t Count();
}
