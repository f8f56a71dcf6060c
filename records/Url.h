#pragma once
#include <QList>
#include <QString>
#include <cstdint>

// A URL split once, when it is made, into protocol, user, password, host, port,
// directory and file name. Url is its identity: the text it was made from, with
// control characters percent-encoded.
class TUrl {
public:
    TUrl() : TUrl(QString()) {}
    // A text without a scheme gets the translated "Unknown" as protocol; an ftp URL
    // without a user logs in as "anonymous".
    explicit TUrl(const QString& url);

    QString Url;
    QString Protocol;
    QString User, Password;
    QString Host;
    int Port = 0;
    QString Dir;
    QString FileName;
    // The "?..." cut off the file name of an http(s) URL: not part of the name the
    // file is saved under, but part of what is requested.
    QString Query;
    QString Extension;

    // The URL rebuilt from its parts, always with a port: what part downloaders fetch.
    QString GetUrl() const;
    // Url with its password hidden, for anything shown or logged.
    QString MaskedUrl() const;
    // What an HTTP request asks for: Dir + FileName + Query.
    QString PathAndQuery() const { return Dir + FileName + Query; }

private:
    void ParseUrl(const QString& url);
};

// Any URL text with the password of its user information hidden ("****").
QString MaskedUrlText(const QString& url);

// The password an anonymous ftp login gives (an address-like text of 15 characters).
inline constexpr const char* AnonymousFtpPassword = "ftp@example.org";

// Why a mirror was given up; the engine compares these values.
enum TFileMirrorError : uint8_t {
    fmeNone = 0,
    fmeLostConnection = 1,
    fmeCouldNotConnect = 2,
    fmeCouldNotLogin = 3,
    fmeFileNotFound = 4,
    fmeResumeNotSupported = 5,
    fmeFileSizeMismatch = 6,
};

// Ping time of a mirror not measured yet or not answering; lower is better.
inline constexpr int PingTimeUnknown = 9999;

// One source of a file and what the engine has learnt about it.
struct TFileMirror {
    explicit TFileMirror(const QString& url) : Url(url) {}

    TUrl Url;
    int PingTime = PingTimeUnknown;
    // Stays set once a part has failed on this mirror.
    TFileMirrorError ErrorState = fmeNone;
    // From the server statistics: average ping of the host and of its top-level domain
    // (PingTimeUnknown without an entry), and average speeds in bytes per second (0
    // without an entry). Filled only when the list passes through the statistics.
    int ServerAvgPing = 0, DomainAvgPing = 0;
    qint64 ServerAvgSpeed = 0, DomainAvgSpeed = 0;
};

// Mirrors in order of preference. The list does not own them: whoever does frees them,
// for example with DeleteAndFreeAllMirrors.
class TMirrorList {
public:
    int Count() const { return int(Items.size()); }
    // None for an index outside the list.
    TFileMirror* Get(int index) const;
    // The first mirror whose Url text equals url exactly (letter case counts); none
    // when there is no such mirror.
    TFileMirror* GetMirror(const QString& url) const;
    int IndexOf(const TFileMirror* mirror) const { return int(Items.indexOf(mirror)); }

    void Add(TFileMirror* mirror);
    void Insert(int index, TFileMirror* mirror);
    // Before the first mirror whose ping time is not smaller, so among equal ping
    // times the newcomer goes first; at the end when every ping time is smaller.
    void InsertSorted(TFileMirror* mirror);
    // Take mirrors out of the list without freeing them.
    void Delete(int index);
    bool Remove(TFileMirror* mirror);
    void Clear() { Items.clear(); }
    void DeleteAndFreeAllMirrors();

    QList<TFileMirror*>::const_iterator begin() const { return Items.cbegin(); }
    QList<TFileMirror*>::const_iterator end() const { return Items.cend(); }

private:
    QList<TFileMirror*> Items;
};
