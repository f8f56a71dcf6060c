// Rewrites the record file named by its argument for ever, switching between the
// two versions of IniRewriteValues.h.
#include "tests/platform/ini/IniRewriteValues.h"

#include <cstdio>

int main(int argc, char** argv)
{
    if (argc != 2)
        return 2;
    TIniFile file(QString::fromLocal8Bit(argv[1]));
    // The test times its kill from here: a loaded machine can start a process slower
    // than any delay it would choose.
    std::fputs("ready\n", stdout);
    std::fflush(stdout);
    for (int version = 1;; version ^= 1)
        if (!file.WriteStrings("Options", RewriteValues(version)))
            return 1;
}
