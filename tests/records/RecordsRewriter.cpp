// Writes a record file or cat.dat in one of two versions ("0", "1"), or switches
// between them for ever ("loop") so a test can kill it at random moments.
#include "tests/records/RecordsRewriteVersions.h"

#include <QCoreApplication>
#include <cstdio>
#include <cstring>

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    if (argc != 4)
        return 2;
    const bool categories = std::strcmp(argv[1], "categories") == 0;
    const QString path = QString::fromLocal8Bit(argv[2]);
    const bool loop = std::strcmp(argv[3], "loop") == 0;
    std::unique_ptr<TCategoriesRewriter> rewriter;
    if (categories)
        rewriter = std::make_unique<TCategoriesRewriter>(path);
    if (loop) {
        // The test times its kill from here, not from the process start, which a
        // loaded machine can make slower than any delay it would choose.
        std::fputs("ready\n", stdout);
        std::fflush(stdout);
    }
    for (int version = loop ? 0 : std::atoi(argv[3]);; version ^= 1) {
        const bool written = categories ? rewriter->Write(version) : WriteRecordVersion(path, version);
        if (!written)
            return 1;
        if (!loop)
            return 0;
    }
}
