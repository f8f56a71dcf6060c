#pragma once
#include <QString>
#include <QStringList>
#include <optional>

// What `corvane get` was asked to do.
struct TGetOptions {
    // The folder the downloads are saved in (absolute): -d, the folder of -o, or the
    // default download folder.
    QString Folder;
    // -o: the one download's target, absolute; empty without -o.
    QString OutputFile;
    // -n: the parts each new download is split into; none: the SplitParts setting.
    std::optional<int> Parts;
    bool NoMirrors = false; // --no-mirrors
    bool Quiet = false;     // -q
    bool Help = false;      // -h, --help
    QStringList Urls;
    // The options given that only apply to this process (for a hand-over's notice).
    QStringList LocalOnly;
};

inline constexpr int MaxGetParts = 20;

struct TParsedGet {
    std::optional<TGetOptions> Options;
    QString Error; // why the arguments were refused
};

// Reads get's arguments (those after "get"). defaultFolder is used without -d and -o.
// Refused: an unknown option, a missing value, -d with -o, -o with several URLs, -n
// outside 1..MaxGetParts, no URL, and a URL that is no http, https or ftp URL.
TParsedGet ParseGetArguments(const QStringList& arguments, const QString& defaultFolder);

extern const char* const GetUsage;
