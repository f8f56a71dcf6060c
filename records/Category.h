#pragma once
#include <QString>
#include <QStringList>

// A category of downloads by file type: a name, the extensions that belong to it, a
// folder to save them in without asking, and whether the completion dialog shows.
class TCategory {
public:
    // AutoSave := not ShowSaveDialog, ShowCompleteDialog := ShowCompletedDialog, both
    // read from the settings now.
    TCategory();
    TCategory(bool autoSave, bool showCompleteDialog) : m_autoSave(autoSave), m_showCompleteDialog(showCompleteDialog) {}

    const QString& Name() const { return m_name; }
    const QStringList& Extensions() const { return m_extensions; }
    // Empty, or ending with "/".
    const QString& SaveFolder() const { return m_saveFolder; }
    bool AutoSave() const { return m_autoSave; }
    bool ShowCompleteDialog() const { return m_showCompleteDialog; }

    // The setters take control characters (TAB, CR, LF, ...) as blanks: cat.dat keeps
    // one category per line with TAB-separated fields, and a name must read back as
    // it was written.
    void SetName(const QString& name);
    // The words between blanks become the entries; blanks before, between and after
    // them make no empty entries.
    void SetExtensions(const QString& text);
    void SetSaveFolder(const QString& folder);
    void SetAutoSave(bool value) { m_autoSave = value; }
    void SetShowCompleteDialog(bool value) { m_showCompleteDialog = value; }

    // The file name's extension (without its dot) equals an entry, letter case
    // ignored; entries are literal ("*" is no wildcard). A name without extension
    // belongs to no category.
    bool BelongsToCategory(const QString& fileName) const;
    // The cat.dat line of the category without its indentation:
    // Name TAB extensions TAB Yes|No TAB SaveFolder TAB Yes|No.
    QString toString() const;

private:
    QString m_name;
    QStringList m_extensions;
    QString m_saveFolder;
    bool m_autoSave = false;
    bool m_showCompleteDialog = true;
};

// The number of TABs a cat.dat line starts with: its depth below "Categories".
qsizetype CategoryLineDepth(const QString& line);
// The text of a cat.dat line before its first TAB once the indentation is gone, as
// SetName stores it: the name of the category it describes, and so the text of its
// tree node, by which the category is found when the file is written again.
QString CategoryLineName(const QString& line);
// Reads one cat.dat line (with or without indentation, with five fields or an older
// four without the completion flag, which then keeps its default) into category.
// A field missing from a malformed line reads as empty text.
void ReadCategoryLine(const QString& line, TCategory& category);
