// The bytes in a download's part files, from one read of their folder.
#include "coordination/DownloadSystem.h"
#include "coordination/PartFileSizes.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <gtest/gtest.h>

namespace {
bool WriteBytes(const QString& path, qint64 size)
{
    QFile file(path);
    return file.open(QIODevice::WriteOnly) && file.write(QByteArray(size, 'x')) == size;
}
}

// Every file named after the download and a dot counts (parts, the join's journal, a
// link by its target), except its record file and what is written beside it; names
// that only begin alike belong to another download.
TEST(PartFileSizes, SumsTheDownloadsOwnFilesOnly)
{
    QTemporaryDir folder;
    ASSERT_TRUE(folder.isValid());
    const QString base = folder.path() + "/ABC";
    for (const auto& [name, size] : std::initializer_list<std::pair<const char*, qint64>>{
             {"ABC.0", 100}, {"ABC.1000", 50}, {"ABC.join", 6}, {"ABC.dat", 999}, {"ABC.dat.tmp-x1", 999},
             {"ABCD.0", 7}, {"ABC", 3}, {"AB.0", 11}})
        ASSERT_TRUE(WriteBytes(folder.path() + "/" + name, size)) << name;
    ASSERT_TRUE(QDir(folder.path()).mkdir("ABC.sub"));
    ASSERT_TRUE(QFile::link(folder.path() + "/ABCD.0", base + ".link"));
    ASSERT_TRUE(QFile::link(folder.path() + "/gone", base + ".gone"));

    const struct {
        const char* name;
        qint64 bytes;
    } cases[] = {{"ABC", 100 + 50 + 6 + 7}, {"ABCD", 7}, {"AB", 11}, {"XYZ", 0}, {"", 0}};
    const TPartFileSizes sizes(folder.path() + "/");
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        EXPECT_EQ(sizes.BytesOf(c.name), c.bytes);
        EXPECT_EQ(TPartFileSizeCache().BytesDownloaded(folder.path() + "/" + c.name), c.bytes);
        EXPECT_EQ(TDownloadSystem::BytesDownloaded(folder.path() + "/" + c.name), c.bytes);
    }
    EXPECT_EQ(TDownloadSystem::BytesDownloaded(folder.path() + "/missing/ABC"), 0);
}
