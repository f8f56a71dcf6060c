#include "records/CategoryList.h"

#include "platform/base/Guard.h"
#include "platform/base/Paths.h"
#include "platform/ini/AtomicFile.h"
#include "records/TextLines.h"

namespace {
bool HasName(const QString& line)
{
    return !CategoryLineName(line).isEmpty();
}
}

std::vector<std::unique_ptr<TCategory>> ParseCategories(const QString& text, bool autoSave, bool showCompleteDialog)
{
    std::vector<std::unique_ptr<TCategory>> categories;
    Guarded("function ParseCategories(Text: string): TCategoryList", [&] {
        for (const QString& line : SplitTextLines(text)) {
            if (!HasName(line))
                continue;
            auto category = std::make_unique<TCategory>(autoSave, showCompleteDialog);
            ReadCategoryLine(line, *category);
            categories.push_back(std::move(category));
        }
    });
    return categories;
}

QStringList CategoryFileLines(const TCategoryList& list, const TCategoryNode* node)
{
    QStringList lines;
    TCategoryTree::WalkBelow(node, [&](const TCategoryNode* current, int depth) {
        const QString indentation(depth - 1, QLatin1Char('\t'));
        if (const TCategory* category = list.GetByName(current->Text())) {
            lines.append(indentation + category->toString());
            return;
        }
        TCategory unknown;
        unknown.SetName(current->Text());
        lines.append(indentation + unknown.toString());
    });
    return lines;
}

TCategoryList::TCategoryList(const QString& fileName)
    : m_fileName(fileName)
{
    Guarded("constructor TCategoryList.Create", [&] { LoadFromFile(); });
}

QString TCategoryList::CategoriesFileName()
{
    return QString::fromStdString(DataFolder()) + QStringLiteral("cat.dat");
}

void TCategoryList::LoadFromFile()
{
    const std::optional<QString> text = ReadTextFile(m_fileName);
    if (!text)
        return;
    const TCategory defaults;
    for (auto& category : ParseCategories(*text, defaults.AutoSave(), defaults.ShowCompleteDialog()))
        Add(std::move(category), false);
}

TCategory* TCategoryList::Get(int index) const
{
    return index >= 0 && index < Count() ? m_items[index] : nullptr;
}

TCategory* TCategoryList::GetByName(const QString& name) const
{
    for (TCategory* category : m_items) {
        if (category->Name().compare(name, Qt::CaseInsensitive) == 0)
            return category;
    }
    return nullptr;
}

TCategory* TCategoryList::GetByFileName(const QString& fileName) const
{
    TCategory* found = nullptr;
    Guarded("function TCategoryList.GetByFileName(FileName: string): TCategory", [&] {
        for (TCategory* category : m_items) {
            if (category->BelongsToCategory(fileName)) {
                found = category;
                return;
            }
        }
    });
    return found;
}

TCategory* TCategoryList::Add(std::unique_ptr<TCategory> category, bool save)
{
    TCategory* added = nullptr;
    Guarded("procedure TCategoryList.Add(Category: TCategory; Save: boolean)", [&] {
        if (!category)
            return;
        added = category.get();
        m_owned.push_back(std::move(category));
        m_items.append(added);
        if (save)
            SaveToFile();
    });
    return added;
}

void TCategoryList::Remove(TCategory* category)
{
    Guarded("procedure TCategoryList.Remove(Category: TCategory)", [&] {
        m_items.removeAll(category);
        SaveToFile();
    });
}

int TCategoryList::SortedRow(const TCategoryNode* parent, const QString& name, const TCategoryNode* skip) const
{
    const QString key = name.toLower();
    for (int row = 0; row < parent->ChildCount(); ++row) {
        const TCategoryNode* child = parent->Child(row);
        if (child != skip && child->Text().toLower().compare(key) > 0)
            return row;
    }
    return parent->ChildCount();
}

TCategoryNode* TCategoryList::InsertCategoryNode(TCategoryNode* parent, const QString& name)
{
    TCategoryNode* node = nullptr;
    Guarded("function TCategoryList.InsertCategoryNode(Parent: TTreeNode; Name: string): TTreeNode", [&] {
        if (parent)
            node = m_tree.InsertNode(parent, SortedRow(parent, name, nullptr), name);
    });
    return node;
}

void TCategoryList::MoveCategoryNode(TCategoryNode* parent, TCategoryNode* node)
{
    Guarded("procedure TCategoryList.MoveCategoryNode(Parent, Node: TTreeNode)", [&] {
        if (parent && node)
            m_tree.MoveNode(node, parent, SortedRow(parent, node->Text(), node));
    });
}

void TCategoryList::AddCategoriesToTreeView(TCategoryNode* node)
{
    Guarded("procedure TCategoryList.AddCategoriesToTreeView(Node: TTreeNode)", [&] {
        if (const std::optional<QString> text = ReadTextFile(m_fileName))
            AddCategoriesToTreeView(node, *text);
    });
}

void TCategoryList::AddCategoriesToTreeView(TCategoryNode* node, const QString& text)
{
    Guarded("procedure TCategoryList.AddCategoriesToTreeView(Node: TTreeNode; Text: string)", [&] {
        if (!node)
            return;
        // ancestors[d] is the last node made at depth d; a line deeper than the one
        // before it goes below that one, however many TABs it has.
        std::vector<TCategoryNode*> ancestors;
        for (const QString& line : SplitTextLines(text)) {
            if (!HasName(line))
                continue;
            const size_t depth = size_t(CategoryLineDepth(line));
            if (ancestors.size() > depth)
                ancestors.resize(depth);
            TCategoryNode* parent = ancestors.empty() ? node : ancestors.back();
            TCategoryNode* created = InsertCategoryNode(parent, CategoryLineName(line));
            if (!created)
                return;
            m_tree.SetExpanded(parent, true);
            ancestors.push_back(created);
        }
    });
}

TCategoryNode* TCategoryList::FindCategoryNode(const TCategory* category) const
{
    TCategoryNode* found = nullptr;
    Guarded("function TCategoryList.FindCategoryNode(Category: TCategory): TTreeNode", [&] {
        if (!category)
            return;
        TCategoryTree::WalkBelow(CategoriesNode(), [&](TCategoryNode* node, int) {
            if (!found && node->Text() == category->Name())
                found = node;
        });
    });
    return found;
}

QList<TCategory*> TCategoryList::GetSubCategories(const TCategory* category) const
{
    QList<TCategory*> categories;
    Guarded("function TCategoryList.GetSubCategories(Category: TCategory): TCategoryList", [&] {
        TCategoryTree::WalkBelow(FindCategoryNode(category), [&](const TCategoryNode* node, int) {
            if (TCategory* sub = GetByName(node->Text()))
                categories.append(sub);
        });
    });
    return categories;
}

bool TCategoryList::SaveToFile() const
{
    bool saved = false;
    Guarded("procedure TCategoryList.SaveToFile", [&] {
        const TCategoryNode* categories = CategoriesNode();
        if (!categories)
            return;
        saved = WriteFileAtomically(m_fileName, JoinTextLines(CategoryFileLines(*this, categories)));
    });
    return saved;
}

TCategoryList& CategoryList()
{
    static TCategoryList instance;
    return instance;
}
