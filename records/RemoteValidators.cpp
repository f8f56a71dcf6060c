#include "records/RemoteValidators.h"

#include "records/Url.h"

namespace {
// The text between the quotes. A weak ETag names a version as well as a strong one
// with the same text (servers turn a strong tag weak when they compress the answer),
// and a tag that lost its quotes in a hand-edited record file is still the same tag.
QString OpaqueTag(const QString& etag)
{
    const QString tag = etag.startsWith(QLatin1String("W/")) ? etag.mid(2) : etag;
    const bool quoted = tag.size() >= 2 && tag.front() == QLatin1Char('"') && tag.back() == QLatin1Char('"');
    return quoted ? tag.mid(1, tag.size() - 2) : tag;
}
}

QString ValidatorText(const QString& value)
{
    const QString text = value.trimmed();
    if (text.size() > MaxValidatorLength)
        return {};
    for (const QChar c : text) {
        if (c.unicode() < 0x20 || c.unicode() == 0x7F)
            return {};
    }
    return text;
}

TRemoteValidators ValidatorsOf(const QByteArray& etag, const QByteArray& lastModified)
{
    // Latin-1 keeps every byte as one character, so the same header reads the same.
    return {ValidatorText(QString::fromLatin1(etag)), ValidatorText(QString::fromLatin1(lastModified))};
}

bool RemoteFileChanged(const TRemoteValidators& stored, const TRemoteValidators& seen)
{
    if (!stored.ETag.isEmpty() && !seen.ETag.isEmpty())
        return OpaqueTag(stored.ETag) != OpaqueTag(seen.ETag);
    if (!stored.LastModified.isEmpty() && !seen.LastModified.isEmpty())
        return stored.LastModified != seen.LastModified;
    return false;
}

QString ValidatorHost(const TUrl& url)
{
    return url.Host.toLower() + QLatin1Char(':') + QString::number(url.Port);
}

const TRemoteValidators* FindValidators(const THostValidatorList& list, const QString& host)
{
    for (const THostValidators& entry : list) {
        if (entry.Host == host)
            return &entry.Validators;
    }
    return nullptr;
}
