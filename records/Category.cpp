#include "records/Category.h"

#include "platform/base/Guard.h"
#include "records/Settings.h"
#include "records/core/UrlSplit.h"

namespace {
const QLatin1Char Tab('\t');
const QLatin1Char Blank(' ');
const QLatin1String Yes("Yes"), No("No");

QString WithoutControls(QString text)
{
    for (QChar& c : text) {
        if (c.unicode() < 0x20 || c.unicode() == 0x7F)
            c = Blank;
    }
    return text;
}

QString YesNo(bool value)
{
    return value ? Yes : No;
}

// The text of rest before its first TAB; rest loses it and the TAB. Without a TAB,
// the whole rest, which is then empty.
QString TakeField(QString& rest)
{
    const qsizetype tab = rest.indexOf(Tab);
    QString field = tab < 0 ? rest : rest.left(tab);
    rest = tab < 0 ? QString() : rest.mid(tab + 1);
    return field;
}
}

TCategory::TCategory()
{
    Guarded("constructor TCategory.Create", [&] {
        m_autoSave = !Read(Setting::ShowSaveDialog);
        m_showCompleteDialog = Read(Setting::ShowCompletedDialog);
    });
}

void TCategory::SetName(const QString& name)
{
    m_name = WithoutControls(name);
}

void TCategory::SetExtensions(const QString& text)
{
    Guarded("procedure TCategory.SetExtensions(Value: string)", [&] {
        m_extensions = WithoutControls(text).split(Blank, Qt::SkipEmptyParts);
    });
}

void TCategory::SetSaveFolder(const QString& folder)
{
    m_saveFolder = WithoutControls(folder);
    if (!m_saveFolder.isEmpty() && !m_saveFolder.endsWith(QLatin1Char('/')))
        m_saveFolder += QLatin1Char('/');
}

bool TCategory::BelongsToCategory(const QString& fileName) const
{
    bool belongs = false;
    Guarded("function TCategory.BelongsToCategory(FileName: string): boolean", [&] {
        QString extension = QString::fromStdString(ExtractFileExt(fileName.toStdString())).trimmed();
        if (extension.startsWith(QLatin1Char('.')))
            extension.remove(0, 1);
        belongs = m_extensions.contains(extension, Qt::CaseInsensitive);
    });
    return belongs;
}

QString TCategory::toString() const
{
    QString extensions = m_extensions.isEmpty() ? QString(Blank) : m_extensions.join(Blank) + Blank;
    extensions.back() = Tab;
    return m_name + Tab + extensions + YesNo(m_autoSave) + Tab + m_saveFolder + Tab + YesNo(m_showCompleteDialog);
}

qsizetype CategoryLineDepth(const QString& line)
{
    qsizetype depth = 0;
    while (depth < line.size() && line[depth] == Tab)
        ++depth;
    return depth;
}

QString CategoryLineName(const QString& line)
{
    QString rest = line.mid(CategoryLineDepth(line));
    return WithoutControls(TakeField(rest));
}

void ReadCategoryLine(const QString& line, TCategory& category)
{
    Guarded("procedure ReadCategoryLine(Line: string; Category: TCategory)", [&] {
        QString rest = line.mid(CategoryLineDepth(line));
        category.SetName(TakeField(rest));
        category.SetExtensions(TakeField(rest));
        category.SetAutoSave(TakeField(rest) == Yes);
        if (!rest.contains(Tab)) {
            category.SetSaveFolder(rest);
            return;
        }
        category.SetSaveFolder(TakeField(rest));
        category.SetShowCompleteDialog(rest == Yes);
    });
}
