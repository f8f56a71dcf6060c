#pragma once
#include "records/Category.h"
#include "records/CategoryTree.h"

#include <QList>
#include <QString>
#include <memory>
#include <vector>

// The program's categories in cat.dat order, and the categories tree that holds
// their hierarchy. Categories found here stay alive as long as the list, also after
// Remove: download records may still point at them.
class TCategoryList {
public:
    // Loads the categories of the file when it exists; the tree stays empty until the
    // window builds its top-level nodes and calls AddCategoriesToTreeView.
    explicit TCategoryList(const QString& fileName = CategoriesFileName());
    TCategoryList(const TCategoryList&) = delete;
    TCategoryList& operator=(const TCategoryList&) = delete;

    static QString CategoriesFileName(); // cat.dat in the data folder
    const QString& FileName() const { return m_fileName; }

    int Count() const { return int(m_items.size()); }
    // None for an index out of range.
    TCategory* Get(int index) const;
    // The first category of that name, letter case ignored; none for an empty name too
    // unless a category has one.
    TCategory* GetByName(const QString& name) const;
    // The first category in list order that the file name belongs to.
    TCategory* GetByFileName(const QString& fileName) const;
    // Appends the category, which the list keeps from now on; stores the list when
    // save is set.
    TCategory* Add(std::unique_ptr<TCategory> category, bool save);
    // Takes the category out of the list (it stays alive) and stores the list.
    void Remove(TCategory* category);

    TCategoryTree& Tree() { return m_tree; }
    const TCategoryTree& Tree() const { return m_tree; }
    // The tree's second top-level node, "Categories"; none while the tree is not built.
    TCategoryNode* CategoriesNode() const { return m_tree.TopLevel(1); }
    // Builds the category hierarchy of cat.dat (read again) below node, each level in
    // alphabetical order, and expands the nodes that get children.
    void AddCategoriesToTreeView(TCategoryNode* node);
    // The same from the text of a cat.dat.
    void AddCategoriesToTreeView(TCategoryNode* node, const QString& text);
    // A new node below parent before the first child whose name sorts after name
    // (lower-cased, ordinal), so an equal name goes after the existing one.
    TCategoryNode* InsertCategoryNode(TCategoryNode* parent, const QString& name);
    // Moves node with its sub-nodes to its alphabetical place below parent; nothing
    // happens for a move below the node itself.
    void MoveCategoryNode(TCategoryNode* parent, TCategoryNode* node);
    // The first node below "Categories", depth-first, whose text is the category's
    // name exactly; none when there is none.
    TCategoryNode* FindCategoryNode(const TCategory* category) const;
    // The categories of every node below the category's node, depth-first pre-order.
    QList<TCategory*> GetSubCategories(const TCategory* category) const;
    // Writes cat.dat from the tree below "Categories" in one atomic replacement; a
    // node whose name has no category is written with the defaults of a new one.
    // False, and the file left as it was, while the tree is not built or when the
    // file cannot be written.
    bool SaveToFile() const;

private:
    void LoadFromFile();
    int SortedRow(const TCategoryNode* parent, const QString& name, const TCategoryNode* skip) const;

    QString m_fileName;
    QList<TCategory*> m_items;
    std::vector<std::unique_ptr<TCategory>> m_owned; // every category ever added
    TCategoryTree m_tree;
};

// The categories of a cat.dat text in file order; a line without a name is skipped.
// autoSave and showCompleteDialog are the defaults of a new category (the second is
// what a four-field line keeps).
std::vector<std::unique_ptr<TCategory>> ParseCategories(const QString& text, bool autoSave, bool showCompleteDialog);
// The lines of cat.dat for the tree below node, one TAB per level below it.
QStringList CategoryFileLines(const TCategoryList& list, const TCategoryNode* node);

// The program's one category list, loaded at first use.
TCategoryList& CategoryList();
