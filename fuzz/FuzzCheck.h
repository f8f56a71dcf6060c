#pragma once
#include <cstdio>
#include <cstdlib>
#include <fuzzer/FuzzedDataProvider.h>

// A property that does not hold aborts, so libFuzzer keeps the input like a crash.
#define FUZZ_CHECK(condition) \
    ((condition) ? void(0) : FuzzPropertyFailed(#condition, __FILE__, __LINE__))

[[noreturn]] inline void FuzzPropertyFailed(const char* condition, const char* file, int line)
{
    std::fprintf(stderr, "%s:%d: property does not hold: %s\n", file, line, condition);
    std::abort();
}
