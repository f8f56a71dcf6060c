// cat.dat: one category and one tree node for every named line, and the file written
// from the tree reads back as the same tree with the same categories: every category
// that is the first of its name keeps its fields, and the rewritten file is written
// again unchanged.
#include "fuzz/FuzzCheck.h"
#include "records/CategoryList.h"
#include "records/TextLines.h"

#include <memory>

namespace {
// The categories and tree a cat.dat gives: what the program has once its window built
// the tree.
std::unique_ptr<TCategoryList> Loaded(const QString& text)
{
    auto list = std::make_unique<TCategoryList>(QString());
    for (auto& category : ParseCategories(text, false, true))
        list->Add(std::move(category), false);
    TCategoryTree& tree = list->Tree();
    tree.AddNode(tree.Root(), QStringLiteral("All"));
    list->AddCategoriesToTreeView(tree.AddNode(tree.Root(), QStringLiteral("Categories")), text);
    return list;
}

// Each node's depth and its text, in letter case as GetByName ignores it: a node is
// written with the first category of its name, whose letters may differ.
QStringList Shape(const TCategoryList& list)
{
    QStringList shape;
    TCategoryTree::WalkBelow(list.CategoriesNode(), [&](const TCategoryNode* node, int depth) {
        shape.append(QString::number(depth) + u' ' + node->Text().toCaseFolded());
    });
    return shape;
}

bool SameFields(const TCategory& a, const TCategory& b)
{
    return a.Name() == b.Name() && a.Extensions() == b.Extensions() && a.SaveFolder() == b.SaveFolder() &&
           a.AutoSave() == b.AutoSave() && a.ShowCompleteDialog() == b.ShowCompleteDialog();
}

QString Text(const QStringList& lines)
{
    return QString::fromUtf8(JoinTextLines(lines));
}
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    const QString text = QString::fromUtf8(reinterpret_cast<const char*>(data), qsizetype(size));
    const std::unique_ptr<TCategoryList> read = Loaded(text);
    const QStringList written = CategoryFileLines(*read, read->CategoriesNode());
    FUZZ_CHECK(written.size() == read->Count() && Shape(*read).size() == read->Count());

    const std::unique_ptr<TCategoryList> reread = Loaded(Text(written));
    FUZZ_CHECK(Shape(*reread) == Shape(*read));
    for (int i = 0; i < read->Count(); ++i) {
        const TCategory* category = read->Get(i);
        if (read->GetByName(category->Name()) != category)
            continue;
        const TCategory* again = reread->GetByName(category->Name());
        FUZZ_CHECK(again && SameFields(*again, *category));
    }
    FUZZ_CHECK(CategoryFileLines(*reread, reread->CategoriesNode()) == written);
    return 0;
}
