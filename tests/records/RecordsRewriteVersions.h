#pragma once
#include "records/CategoryList.h"
#include "records/LocalDownloadinfo.h"
#include "platform/base/DateTime.h"

#include <QString>

// Two versions of a record and of a category tree, large enough that a rewrite
// takes a while and a kill lands inside one often.

// path is the record file's name without ".dat".
inline bool WriteRecordVersion(const QString& path, int version)
{
    TLocalDownloadinfo record(nullptr, path);
    const QString v = QString::number(version);
    record.URL = std::make_unique<TUrl>("http://example.org/file" + v + ".zip");
    record.LocalFileName = "/home/user/Downloads/file" + v + ".zip";
    record.SetStatus(version ? "Paused" : "Done");
    record.FileSize = version ? 5'000'000'000LL : 42;
    record.NumOfParts = version ? 4 : -1;
    record.LastActivity = EncodeDateTime({2026, 12, 10, 12, version, 0});
    record.Created = EncodeDateTime({2026, 12, 10, 11, 0, 0});
    record.Description = QString(256 * 1024, QChar(u'a' + version));
    return record.SaveToDatFile();
}

// The same 400 categories and tree every time; extensions and flags differ by version.
class TCategoriesRewriter {
public:
    explicit TCategoriesRewriter(const QString& path) : m_list(path)
    {
        TCategoryTree& tree = m_list.Tree();
        tree.AddNode(tree.Root(), "All");
        TCategoryNode* categories = tree.AddNode(tree.Root(), "Categories");
        for (int i = 0; i < 400; ++i) {
            const QString name = QStringLiteral("Category %1").arg(i, 4, 10, QLatin1Char('0'));
            if (!m_list.GetByName(name))
                m_list.Add(std::make_unique<TCategory>(false, true), false)->SetName(name);
            const int last = categories->ChildCount() - 1;
            m_list.InsertCategoryNode(i % 3 && last >= 0 ? categories->Child(last) : categories, name);
        }
    }

    bool Write(int version)
    {
        const QString extensions = QString("ext%1 ").arg(version).repeated(250);
        for (int i = 0; i < m_list.Count(); ++i) {
            m_list.Get(i)->SetExtensions(extensions);
            m_list.Get(i)->SetAutoSave(version == 1);
        }
        return m_list.SaveToFile();
    }

private:
    TCategoryList m_list;
};
