#pragma once
#include <QString>
#include <QStringList>
#include <vector>

// The local mirror list (mirrors.lst in the data folder): groups of servers that
// publish the same tree, one "field 1,field 2,group,base URL" line per server. A
// download under one server of a group gets the same relative path under every
// server of that group as its mirrors.

// The three used texts of one line; fields are kept exactly as written.
struct TMirrorServer {
    QString Field1, Field2, BaseUrl;
};

// The servers of one group, in file order.
struct TMirrorGroupList {
    QString Group;
    std::vector<TMirrorServer> Servers;
};

// All groups in the order their first server appears, and what a URL matched.
class TMirrorGroupLists {
public:
    // Appends server to the group of exactly that text (letter case counts),
    // creating the group at the end when there is none yet.
    void AddMirrorServer(const TMirrorServer& server, const QString& groupNumber);
    const TMirrorGroupList* FindGroup(const QString& group) const;

    std::vector<TMirrorGroupList> Groups;
    bool Matched = false;
    QString MatchedGroup;
    QString RelativePath;
};

// One server line split into its fields: the text before each of the first three
// commas, the rest of the line as base URL. A missing comma leaves its field empty
// and the text where it was.
TMirrorServer SplitMirrorLine(const QString& line, QString& group);
// Reads every line of a mirror list and notes the group of the last server whose
// base URL occurs anywhere in url, with url cut by that base URL's length.
TMirrorGroupLists ReadMirrorGroups(const QString& text, const QString& url);
// The mirror URLs of url in group order (its own server among them); empty when url
// lies under no listed server. A server without base URL gives no mirror.
QStringList MirrorUrlsFor(const QString& text, const QString& url);
