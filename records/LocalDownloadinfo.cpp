#include "records/LocalDownloadinfo.h"

#include "platform/base/Guard.h"
#include "platform/ini/IniFile.h"
#include "records/Category.h"
#include "records/CategoryList.h"
#include "records/GeneralFunctions.h"
#include "records/Settings.h"
#include "records/StatusTexts.h"
#include "records/StoredRecord.h"
#include "records/StoredValidators.h"
#include "ui/translation/Translator.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

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
    m_datFile = std::make_unique<TIniFile>(DatFileName());
    const TIniContent& content = m_datFile->Content();
    const TStoredRecord stored = ReadStoredRecord(content);
    if (!stored.Url.isEmpty())
        URL = std::make_unique<TUrl>(stored.Url);
    LocalFileName = stored.LocalFileName;
    const QString status = Translate(stored.Status);
    SetStatus(status == StatusTexts().CombiningFiles ? StatusTexts().Paused : status);
    StateCode = StatusToStateCode(m_status);
    FileSize = stored.FileSize;
    NumOfParts = stored.NumOfParts;
    Category = stored.Category.isEmpty() ? nullptr : CategoryList().GetByName(stored.Category);
    const TDateTime now = Now();
    LastActivity = stored.LastActivity.value_or(now);
    Created = stored.Created.value_or(now);
    Description = stored.Description;
    RemoteValidators = ReadStoredValidators(content);
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
        const TStoredRecord stored{URL ? URL->Url : QString(), LocalFileName, StatusToRecordText(m_status),
                                   FileSize, NumOfParts, Category ? Category->Name() : QString(),
                                   LastActivity, Created, Description};
        if (!m_datFile)
            m_datFile = std::make_unique<TIniFile>(DatFileName());
        TIniFile& file = *m_datFile;
        file.Refresh();
        TIniFile::Values values = StoredRecordValues(stored);
        AppendStoredValidators(values, RemoteValidators, StoredValidatorCount(file.Content()));
        saved = file.WriteStrings(RecordFileSection(), values);
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
