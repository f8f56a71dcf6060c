#pragma once
#include <QString>
#include <QtGlobal>

#include <map>
#include <utility>
#include <vector>

// The sizes of a folder's files, read in one pass, so that the bytes of many downloads
// whose temporary files share the folder are summed without a folder scan each (a
// list of hundreds of downloads is refilled on every change).
class TPartFileSizes {
public:
    explicit TPartFileSizes(const QString& folder);

    // The sizes of the files named baseName + "." + anything whose names do not contain
    // ".dat" (the part files and the join's journal, not the record file), summed.
    qint64 BytesOf(const QString& baseName) const;

private:
    std::vector<std::pair<QString, qint64>> Files; // by name; directories left out
};

// One TPartFileSizes per folder, made when a temporary file name first asks for it.
class TPartFileSizeCache {
public:
    qint64 BytesDownloaded(const QString& tempFileName);

private:
    std::map<QString, TPartFileSizes> Folders;
};
