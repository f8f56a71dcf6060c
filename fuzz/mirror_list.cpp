// mirrors.lst: every server line lands in the group of its text, a match names a
// server of that group whose base URL the download URL holds, every mirror URL ends
// with the relative path (the download's own URL among them when it starts with the
// base URL), and the groups written back as lines read the same. The input is the
// file up to its first NUL, the download URL after it.
#include "fuzz/FuzzCheck.h"
#include "records/MirrorGroupLists.h"

namespace {
bool SameServers(const std::vector<TMirrorServer>& a, const std::vector<TMirrorServer>& b)
{
    return std::equal(a.begin(), a.end(), b.begin(), b.end(), [](const TMirrorServer& x, const TMirrorServer& y) {
        return x.Field1 == y.Field1 && x.Field2 == y.Field2 && x.BaseUrl == y.BaseUrl;
    });
}

bool SameGroups(const TMirrorGroupLists& a, const TMirrorGroupLists& b)
{
    return std::equal(a.Groups.begin(), a.Groups.end(), b.Groups.begin(), b.Groups.end(),
                      [](const TMirrorGroupList& x, const TMirrorGroupList& y) {
                          return x.Group == y.Group && SameServers(x.Servers, y.Servers);
                      });
}

QString Written(const TMirrorGroupLists& groups)
{
    QStringList lines;
    for (const TMirrorGroupList& group : groups.Groups)
        for (const TMirrorServer& server : group.Servers)
            lines.append(QStringList{server.Field1, server.Field2, group.Group, server.BaseUrl}.join(u','));
    return lines.join(QStringLiteral("\r\n"));
}

void CheckMatch(const TMirrorGroupLists& groups, const QString& url)
{
    bool found = false;
    for (const TMirrorGroupList& group : groups.Groups) {
        FUZZ_CHECK(groups.FindGroup(group.Group) == &group);
        for (const TMirrorServer& server : group.Servers) {
            const bool holds = !server.BaseUrl.isEmpty() && url.contains(server.BaseUrl);
            FUZZ_CHECK(groups.Matched || !holds);
            found |= holds && group.Group == groups.MatchedGroup && url.mid(server.BaseUrl.size()) == groups.RelativePath;
        }
    }
    FUZZ_CHECK(found == groups.Matched);
}

void CheckMirrors(const TMirrorGroupLists& groups, const QString& text, const QString& url)
{
    const QStringList mirrors = MirrorUrlsFor(text, url);
    FUZZ_CHECK(mirrors.isEmpty() == !groups.Matched);
    if (!groups.Matched)
        return;
    bool own = false;
    for (const TMirrorServer& server : groups.FindGroup(groups.MatchedGroup)->Servers)
        own |= !server.BaseUrl.isEmpty() && url.startsWith(server.BaseUrl) &&
               url.mid(server.BaseUrl.size()) == groups.RelativePath;
    for (const QString& mirror : mirrors)
        FUZZ_CHECK(mirror.endsWith(groups.RelativePath));
    FUZZ_CHECK(!own || mirrors.contains(url));
}
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    const QByteArray input(reinterpret_cast<const char*>(data), qsizetype(size));
    const qsizetype nul = input.indexOf('\0');
    const QString text = QString::fromUtf8(input.left(nul));
    const QString url = nul < 0 ? QString() : QString::fromUtf8(input.mid(nul + 1));
    const TMirrorGroupLists groups = ReadMirrorGroups(text, url);
    CheckMatch(groups, url);
    CheckMirrors(groups, text, url);
    FUZZ_CHECK(SameGroups(ReadMirrorGroups(Written(groups), url), groups));
    return 0;
}
