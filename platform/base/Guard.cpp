#include "platform/base/Guard.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace {
bool DebugOn()
{
    const char* value = std::getenv("CORVANE_DEBUG");
    return value && std::strcmp(value, "1") == 0;
}
}

void LogError(const char* signature, const char* detail) noexcept
{
    if (!DebugOn())
        return;
    if (detail)
        std::fprintf(stderr, "corvane: error in %s: %s\n", signature, detail);
    else
        std::fprintf(stderr, "corvane: error in %s\n", signature);
}
