// Rewrites the record file named by its argument for ever, switching between the
// two versions of IniRewriteValues.h.
#include "tests/platform/ini/IniRewriteValues.h"

int main(int argc, char** argv)
{
    if (argc != 2)
        return 2;
    TIniFile file(QString::fromLocal8Bit(argv[1]));
    for (int version = 1;; version ^= 1)
        if (!file.WriteStrings("Options", RewriteValues(version)))
            return 1;
}
