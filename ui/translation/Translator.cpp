#include "ui/translation/Translator.h"

#include "platform/base/Guard.h"
#include "platform/base/Paths.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

namespace {
const QStringList LanguageFiles{QStringLiteral("*.cvt")};

std::unique_ptr<TTranslator>& Instance()
{
    static std::unique_ptr<TTranslator> instance;
    return instance;
}

QString WithSlash(const QString& folder)
{
    return folder.endsWith(QLatin1Char('/')) ? folder : folder + QLatin1Char('/');
}

QStringList LanguageFilesIn(const QString& folder)
{
    return QDir(folder).entryList(LanguageFiles, QDir::Files, QDir::Name);
}
}

TTranslator::TTranslator(const QString& folder)
    : FolderPath(WithSlash(folder))
{
    Guarded("constructor TTranslator.Create(Folder: string)", [&] { QDir().mkpath(FolderPath); });
}

std::optional<QStringList> TTranslator::GetLanguages() const
{
    std::optional<QStringList> languages;
    Guarded("function TTranslator.GetLanguages: TStringList", [&] {
        if (!QFileInfo(FolderPath).isDir())
            return;
        languages.emplace();
        for (const QString& name : LanguageFilesIn(FolderPath))
            languages->append(TTranslation(FolderPath + name).Language + QLatin1Char('\t') + name);
    });
    return languages;
}

bool TTranslator::LoadLanguage(const QString& fileName)
{
    bool loaded = false;
    Guarded("function TTranslator.LoadLanguage(FileName: string): boolean", [&] {
        const QString path = FolderPath + fileName;
        if (fileName.isEmpty() || !QFileInfo(path).isFile())
            return;
        Translation = std::make_unique<TTranslation>(path);
        TranslationFileName = fileName;
        loaded = true;
    });
    return loaded;
}

QString TTranslator::Translate(const QString& text) const
{
    return Translation ? Translation->Translate(text) : text;
}

TTranslator* Translator()
{
    return Instance().get();
}

TTranslator& CreateTranslator(const QString& folder)
{
    Instance() = std::make_unique<TTranslator>(folder);
    return *Instance();
}

void DestroyTranslator()
{
    Instance().reset();
}

QString Translate(const QString& text)
{
    const TTranslator* translator = Translator();
    return translator ? translator->Translate(text) : text;
}

QString TranslationsFolder()
{
    return QString::fromStdString(DataFolder()) + QStringLiteral("Translations/");
}

QString ShippedTranslationsFolder()
{
    const QString program = QString::fromStdString(ExecutableFolder());
    const QString beside = program + QStringLiteral("Translations/");
    if (QFileInfo(beside).isDir())
        return beside;
    return QDir::cleanPath(program + QStringLiteral("../share/corvane/Translations")) + QLatin1Char('/');
}

int InstallShippedTranslations(const QString& shipped, const QString& target)
{
    int copied = 0;
    Guarded("procedure InstallShippedTranslations", [&] {
        const QString from = WithSlash(shipped), to = WithSlash(target);
        const QStringList names = LanguageFilesIn(from);
        if (names.isEmpty() || !QDir().mkpath(to))
            return;
        for (const QString& name : names) {
            if (!QFileInfo::exists(to + name) && QFile::copy(from + name, to + name))
                ++copied;
        }
    });
    return copied;
}
