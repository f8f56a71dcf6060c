#pragma once
#include <QByteArray>
#include <QList>
#include <QString>

class TUrl;

// What tells one version of a remote file from another: the ETag and Last-Modified
// values of an HTTP answer, each empty when the answer had none (FTP answers never
// have any).
struct TRemoteValidators {
    QString ETag;
    QString LastModified;

    bool IsEmpty() const { return ETag.isEmpty() && LastModified.isEmpty(); }
    bool operator==(const TRemoteValidators&) const = default;
};

// Longer header values are not kept: no server needs them to name a version, and they
// would end up in the record file.
inline constexpr qsizetype MaxValidatorLength = 512;

// The value without surrounding blanks, or empty when it is not usable as a validator:
// it holds a control character (a line break or NUL could not be stored) or is longer
// than MaxValidatorLength.
QString ValidatorText(const QString& value);
// The validators of an answer from its ETag and Last-Modified header values.
TRemoteValidators ValidatorsOf(const QByteArray& etag, const QByteArray& lastModified);

// Whether seen names another version of the file than stored: the ETags decide when
// both have one (by the text between their quotes, so a weak W/"x" equals "x"), else
// the Last-Modified values when both have one. Without a validator on both sides
// nothing counts as changed.
bool RemoteFileChanged(const TRemoteValidators& stored, const TRemoteValidators& seen);

// Mirrors give one file different ETags, so validators belong to one server: the URL's
// host in lower case, ":" and its port.
QString ValidatorHost(const TUrl& url);

struct THostValidators {
    QString Host; // as ValidatorHost makes it
    TRemoteValidators Validators;

    bool operator==(const THostValidators&) const = default;
};
// One entry per server, in the order they first answered.
using THostValidatorList = QList<THostValidators>;

// The validators stored for host; none.
const TRemoteValidators* FindValidators(const THostValidatorList& list, const QString& host);
