#include "records/LocalDownloadinfo.h"

#include "platform/base/Guard.h"
#include "platform/ini/IniFile.h"
#include "records/Category.h"
#include "records/CategoryList.h"
#include "records/GeneralFunctions.h"
#include "records/RecordDates.h"
#include "records/Settings.h"
#include "records/StatusTexts.h"
#include "ui/translation/Translator.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <algorithm>
#include <limits>

namespace {
const QString Section = QStringLiteral("Options");

// The INI writer refuses line breaks and NULs; one such character in a description
// must not stop the whole record from being saved.
QString SingleLine(QString text)
{
    for (QChar& c : text) {
        if (c == QLatin1Char('\r') || c == QLatin1Char('\n') || c.isNull())
            c = QLatin1Char(' ');
    }
    return text;
}

qint64 NumberOr(const TIniFile& file, const QString& key, qint64 minimum, qint64 maximum, qint64 fallback)
{
    bool ok = false;
    const qint64 value = file.ReadString(Section, key, QString()).trimmed().toLongLong(&ok);
    return ok && value >= minimum && value <= maximum ? value : fallback;
}

TDateTime DateOr(const TIniFile& file, const QString& key, TDateTime fallback)
{
    return ParseRecordDateTime(file.ReadString(Section, key, QString())).value_or(fallback);
}

// The validators follow the other keys: "Validators" holds their number, then each
// server's Host, ETag and LastModified, numbered from 1.
const QString ValidatorCount = QStringLiteral("Validators");
constexpr qint64 MaxStoredValidators = 64;

QString ValidatorKey(qsizetype index, const char* field)
{
    return QStringLiteral("Validator") + QString::number(index + 1) + QLatin1String(field);
}

THostValidatorList ReadValidators(const TIniFile& file)
{
    THostValidatorList list;
    const qint64 count = NumberOr(file, ValidatorCount, 0, MaxStoredValidators, 0);
    for (qsizetype i = 0; i < count; ++i) {
        const QString host = file.ReadString(Section, ValidatorKey(i, "Host"), QString()).trimmed().toLower();
        const TRemoteValidators validators{ValidatorText(file.ReadString(Section, ValidatorKey(i, "ETag"), QString())),
                                           ValidatorText(file.ReadString(Section, ValidatorKey(i, "LastModified"), QString()))};
        if (!host.isEmpty() && !validators.IsEmpty() && !FindValidators(list, host))
            list.append({host, validators});
    }
    return list;
}

// A record without any (an FTP download) keeps the keys it had before. Entries beyond
// the list that the file still holds are blanked, so that no stale validator is left.
void AppendValidators(TIniFile::Values& values, const THostValidatorList& list, qint64 storedBefore)
{
    if (list.isEmpty() && storedBefore == 0)
        return;
    values.append({ValidatorCount, QString::number(list.size())});
    const qsizetype entries = std::max<qsizetype>(list.size(), storedBefore);
    for (qsizetype i = 0; i < entries; ++i) {
        const THostValidators entry = i < list.size() ? list[i] : THostValidators{};
        values.append({ValidatorKey(i, "Host"), SingleLine(entry.Host)});
        values.append({ValidatorKey(i, "ETag"), SingleLine(entry.Validators.ETag)});
        values.append({ValidatorKey(i, "LastModified"), SingleLine(entry.Validators.LastModified)});
    }
}
}

TLocalDownloadinfo::TLocalDownloadinfo(std::unique_ptr<TUrl> url, const QString& tempFileName)
    : URL(std::move(url))
{
    Guarded("constructor TLocalDownloadinfo.Create(Url: TUrl; TempFileName: string)", [&] {
        m_tempFileName = tempFileName.isEmpty() ? GetTempFileName(Read(Setting::PartialDownloadsDirectory))
                                                : tempFileName;
        LastActivity = Created = Now();
        if (!m_tempFileName.isEmpty())
            LoadFromDatFile();
    });
}

TLocalDownloadinfo::~TLocalDownloadinfo() = default;

QString TLocalDownloadinfo::DatFileName() const
{
    return m_tempFileName + QStringLiteral(".dat");
}

void TLocalDownloadinfo::LoadFromDatFile()
{
    const TIniFile file(DatFileName());
    const QString url = file.ReadString(Section, QStringLiteral("URL"), QString());
    if (!url.isEmpty())
        URL = std::make_unique<TUrl>(url);
    LocalFileName = file.ReadString(Section, QStringLiteral("LocalFileName"), QString());
    const QString status = Translate(file.ReadString(Section, QStringLiteral("Status"), QString()));
    SetStatus(status == StatusTexts().CombiningFiles ? StatusTexts().Paused : status);
    StateCode = StatusToStateCode(m_status);
    FileSize = NumberOr(file, QStringLiteral("FileSize"), -1, std::numeric_limits<qint64>::max(), 0);
    NumOfParts = int(NumberOr(file, QStringLiteral("NumOfParts"), -1, std::numeric_limits<int>::max(), -1));
    const QString category = file.ReadString(Section, QStringLiteral("Category"), QString());
    Category = category.isEmpty() ? nullptr : CategoryList().GetByName(category);
    const TDateTime now = Now();
    LastActivity = DateOr(file, QStringLiteral("LastActivity"), now);
    Created = DateOr(file, QStringLiteral("Created"), now);
    Description = file.ReadString(Section, QStringLiteral("Description"), QString());
    RemoteValidators = ReadValidators(file);
    RetryTimer = nullptr;
}

void TLocalDownloadinfo::SetStatus(const QString& value)
{
    Guarded("procedure TLocalDownloadinfo.SetStatus(Value: string)", [&] {
        const TStatusTexts& texts = StatusTexts();
        const bool active = m_status == texts.Downloading || m_status == texts.ContactingHost
            || m_status == texts.GettingFileInfo;
        if (active && value != m_status)
            LastActivity = Now();
        m_status = value;
    });
}

bool TLocalDownloadinfo::SaveToDatFile() const
{
    bool saved = false;
    Guarded("procedure TLocalDownloadinfo.SaveToDatFile", [&] {
        if (m_tempFileName.isEmpty())
            return;
        TIniFile file(DatFileName());
        TIniFile::Values values = {
            {QStringLiteral("URL"), SingleLine(URL ? URL->Url : QString())},
            {QStringLiteral("LocalFileName"), SingleLine(LocalFileName)},
            {QStringLiteral("Status"), StatusToRecordText(m_status)},
            {QStringLiteral("FileSize"), QString::number(FileSize)},
            {QStringLiteral("NumOfParts"), QString::number(NumOfParts)},
            {QStringLiteral("Category"), SingleLine(Category ? Category->Name() : QString())},
            {QStringLiteral("LastActivity"), RecordDateTimeText(LastActivity)},
            {QStringLiteral("Created"), RecordDateTimeText(Created)},
            {QStringLiteral("Description"), SingleLine(Description)},
        };
        AppendValidators(values, RemoteValidators, NumberOr(file, ValidatorCount, 0, MaxStoredValidators, 0));
        saved = file.WriteStrings(Section, values);
    });
    return saved;
}

bool TLocalDownloadinfo::DeleteDatFile() const
{
    bool deleted = false;
    Guarded("procedure TLocalDownloadinfo.DeleteDatFile", [&] {
        if (!m_tempFileName.isEmpty())
            deleted = QFile::remove(DatFileName());
    });
    return deleted;
}

void TLocalDownloadinfo::DeletePartFiles() const
{
    Guarded("procedure TLocalDownloadinfo.DeletePartFiles", [&] {
        // Without a name the prefix would be "." and take any file of the folder.
        const QFileInfo base(m_tempFileName);
        if (m_tempFileName.isEmpty() || base.fileName().isEmpty())
            return;
        const QString prefix = base.fileName() + QLatin1Char('.');
        const QString recordFile = prefix + QStringLiteral("dat");
        const QDir folder = base.dir();
        for (const QString& name : folder.entryList(QDir::Files | QDir::Hidden | QDir::System)) {
            if (name.startsWith(prefix) && name != recordFile)
                QFile::remove(folder.filePath(name));
        }
    });
}
