#include "records/Url.h"

#include "platform/base/Guard.h"
#include "records/StatusTexts.h"
#include "records/core/UrlSplit.h"

#include <algorithm>

namespace {
QString FromUtf8(const std::string& text)
{
    return QString::fromStdString(text);
}

TUrlParts PartsOf(const TUrl& url)
{
    TUrlParts parts;
    parts.Protocol = url.Protocol.toStdString();
    parts.User = url.User.toStdString();
    parts.Password = url.Password.toStdString();
    parts.Host = url.Host.toStdString();
    parts.Port = url.Port;
    parts.Dir = url.Dir.toStdString();
    parts.FileName = url.FileName.toStdString();
    parts.Query = url.Query.toStdString();
    return parts;
}
}

TUrl::TUrl(const QString& url)
{
    Guarded("constructor TUrl.Create(Url: string)", [&] {
        Url = FromUtf8(EncodeControlCharacters(url.toStdString()));
        Protocol = StatusTexts().Unknown;
        ParseUrl(Url);
        if (User.isEmpty() && Protocol == QLatin1String("ftp")) {
            User = QStringLiteral("anonymous");
            Password = QString::fromLatin1(AnonymousFtpPassword);
        }
    });
}

void TUrl::ParseUrl(const QString& url)
{
    Guarded("procedure TUrl.ParseUrl(Url: string; var Protocol, Host, Dir, FileName, User: string; var Port: integer)", [&] {
        const TUrlParts parts = SplitUrl(url.toStdString(), Protocol.toStdString());
        Protocol = FromUtf8(parts.Protocol);
        User = FromUtf8(parts.User);
        Password = FromUtf8(parts.Password);
        Host = FromUtf8(parts.Host);
        Port = parts.Port;
        Dir = FromUtf8(parts.Dir);
        FileName = FromUtf8(parts.FileName);
        Query = FromUtf8(parts.Query);
        Extension = FromUtf8(parts.Extension);
    });
}

QString TUrl::GetUrl() const
{
    QString result;
    Guarded("function TUrl.GetUrl: string", [&] { result = FromUtf8(JoinUrl(PartsOf(*this))); });
    return result;
}

QString TUrl::MaskedUrl() const
{
    return MaskedUrlText(Url);
}

QString MaskedUrlText(const QString& url)
{
    QString result;
    Guarded("function MaskedUrlText(Url: string): string", [&] { result = FromUtf8(MaskUrlPassword(url.toStdString())); });
    return result;
}

TFileMirror* TMirrorList::Get(int index) const
{
    TFileMirror* mirror = nullptr;
    Guarded("function TMirrorList.Get(Index: integer): TFileMirror", [&] {
        if (index >= 0 && index < Items.size())
            mirror = Items[index];
    });
    return mirror;
}

TFileMirror* TMirrorList::GetMirror(const QString& url) const
{
    TFileMirror* found = nullptr;
    Guarded("function TMirrorList.GetMirror(Url: string): TFileMirror", [&] {
        for (TFileMirror* mirror : Items) {
            if (mirror && mirror->Url.Url == url) {
                found = mirror;
                return;
            }
        }
    });
    return found;
}

void TMirrorList::Add(TFileMirror* mirror)
{
    Guarded("procedure TMirrorList.Add(Mirror: TFileMirror)", [&] { Items.append(mirror); });
}

void TMirrorList::Insert(int index, TFileMirror* mirror)
{
    Guarded("procedure TMirrorList.Insert(Index: integer; Mirror: TFileMirror)",
            [&] { Items.insert(std::clamp<qsizetype>(index, 0, Items.size()), mirror); });
}

void TMirrorList::InsertSorted(TFileMirror* mirror)
{
    Guarded("procedure TMirrorList.InsertSorted(Mirror: TFileMirror)", [&] {
        if (!mirror)
            return;
        const auto notSmaller = [&](const TFileMirror* other) { return other && other->PingTime >= mirror->PingTime; };
        Items.insert(std::find_if(Items.begin(), Items.end(), notSmaller), mirror);
    });
}

void TMirrorList::Delete(int index)
{
    Guarded("procedure TMirrorList.Delete(Index: integer)", [&] {
        if (index >= 0 && index < Items.size())
            Items.removeAt(index);
    });
}

bool TMirrorList::Remove(TFileMirror* mirror)
{
    bool removed = false;
    Guarded("function TMirrorList.Remove(Mirror: TFileMirror): boolean",
            [&] { removed = Items.removeOne(mirror); });
    return removed;
}

void TMirrorList::DeleteAndFreeAllMirrors()
{
    Guarded("procedure TMirrorList.DeleteAndFreeAllMirrors", [&] {
        while (!Items.isEmpty())
            delete Items.takeFirst();
    });
}
