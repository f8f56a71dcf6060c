#include "records/MirrorGroupLists.h"

#include "platform/base/Guard.h"
#include "records/TextLines.h"

namespace {
bool IsComment(const QString& line)
{
    return line.startsWith(QLatin1String("//"));
}

// The text before the first comma of rest, which loses it and the comma; empty and
// rest untouched when there is no comma.
QString TakeField(QString& rest)
{
    const qsizetype comma = rest.indexOf(QLatin1Char(','));
    if (comma < 0)
        return {};
    QString field = rest.left(comma);
    rest.remove(0, comma + 1);
    return field;
}
}

void TMirrorGroupLists::AddMirrorServer(const TMirrorServer& server, const QString& groupNumber)
{
    Guarded("procedure TMirrorGroupLists.AddMirrorServer(Server: TMirrorServer; GroupNumber: string)", [&] {
        for (TMirrorGroupList& group : Groups) {
            if (group.Group == groupNumber) {
                group.Servers.push_back(server);
                return;
            }
        }
        Groups.push_back({groupNumber, {server}});
    });
}

const TMirrorGroupList* TMirrorGroupLists::FindGroup(const QString& group) const
{
    for (const TMirrorGroupList& candidate : Groups) {
        if (candidate.Group == group)
            return &candidate;
    }
    return nullptr;
}

TMirrorServer SplitMirrorLine(const QString& line, QString& group)
{
    QString rest = line;
    TMirrorServer server;
    server.Field1 = TakeField(rest);
    server.Field2 = TakeField(rest);
    group = TakeField(rest);
    server.BaseUrl = rest;
    return server;
}

TMirrorGroupLists ReadMirrorGroups(const QString& text, const QString& url)
{
    TMirrorGroupLists groups;
    Guarded("function ReadMirrorGroups(Text, URL: string): TMirrorGroupLists", [&] {
        for (const QString& line : SplitTextLines(text)) {
            if (IsComment(line) || TrimBlanksAndControls(line).isEmpty())
                continue;
            QString group;
            const TMirrorServer server = SplitMirrorLine(line, group);
            groups.AddMirrorServer(server, group);
            // An empty base URL would occur in every URL; it matches nothing instead.
            if (server.BaseUrl.isEmpty() || !url.contains(server.BaseUrl))
                continue;
            groups.Matched = true;
            groups.MatchedGroup = group;
            groups.RelativePath = url.mid(server.BaseUrl.size());
        }
    });
    return groups;
}

QStringList MirrorUrlsFor(const QString& text, const QString& url)
{
    QStringList urls;
    const TMirrorGroupLists groups = ReadMirrorGroups(text, url);
    const TMirrorGroupList* group = groups.Matched ? groups.FindGroup(groups.MatchedGroup) : nullptr;
    if (!group)
        return urls;
    for (const TMirrorServer& server : group->Servers) {
        if (!server.BaseUrl.isEmpty())
            urls.append(server.BaseUrl + groups.RelativePath);
    }
    return urls;
}
