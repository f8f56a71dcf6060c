#pragma once
#include "ui/translation/Translation.h"

#include <QString>
#include <QStringList>
#include <memory>
#include <optional>

// The language folder and the one language in use; English while none is loaded.
class TTranslator {
public:
    // Creates the folder when it does not exist.
    explicit TTranslator(const QString& folder);

    QString Folder() const { return FolderPath; }
    // "Language<TAB>file name" for every language file in the folder, by file name;
    // none when the folder does not exist.
    std::optional<QStringList> GetLanguages() const;
    // Replaces the current language with the file of that name in the folder; false
    // (and the current language kept) when there is no such file.
    bool LoadLanguage(const QString& fileName);
    QString Translate(const QString& text) const;

    // The loaded language and its file name; none and empty while English is in use.
    const TTranslation* Current() const { return Translation.get(); }
    QString CurrentFileName() const { return TranslationFileName; }

private:
    QString FolderPath;
    std::unique_ptr<TTranslation> Translation;
    QString TranslationFileName;
};

// The program's one translator, created at start-up; none before that.
TTranslator* Translator();
TTranslator& CreateTranslator(const QString& folder);
void DestroyTranslator();
// Every text shown passes through here: the translation of the current language, or
// the text itself when there is no translator or no translation.
QString Translate(const QString& text);

// Translations/ in the data folder, where the user's language files live.
QString TranslationsFolder();
// The language files shipped with the program: Translations/ beside it, or in the
// installation's share folder.
QString ShippedTranslationsFolder();
// Copies every shipped "*.cvt" that the user's folder lacks, so the user's own edits
// win; the number of files copied.
int InstallShippedTranslations(const QString& shipped = ShippedTranslationsFolder(),
                               const QString& target = TranslationsFolder());
