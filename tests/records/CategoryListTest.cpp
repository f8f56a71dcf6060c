#include "records/CategoryList.h"

#include "tests/support/TempHome.h"

#include <QAbstractItemModel>
#include <QAbstractItemModelTester>
#include <QFile>
#include <gtest/gtest.h>

namespace {
QStringList Texts(const TCategoryNode* parent)
{
    QStringList texts;
    for (int row = 0; row < parent->ChildCount(); ++row)
        texts.append(parent->Child(row)->Text());
    return texts;
}

QStringList Names(const QList<TCategory*>& categories)
{
    QStringList names;
    for (const TCategory* category : categories)
        names.append(category ? category->Name() : QStringLiteral("<none>"));
    return names;
}

class CategoryListTest : public TempHomeTest {
protected:
    // The window's top-level nodes; the hierarchy goes below the second.
    TCategoryNode* BuildTree(TCategoryList& list)
    {
        TCategoryTree& tree = list.Tree();
        tree.AddNode(tree.Root(), "All");
        TCategoryNode* categories = tree.AddNode(tree.Root(), "Categories");
        tree.AddNode(tree.Root(), "Status");
        list.AddCategoriesToTreeView(categories);
        return categories;
    }
    QString CatDat() const { return Path("cat.dat"); }
};

// File order is not alphabetical; the tree is, and the file is written in tree order.
const QByteArray Stored = "Video\tavi mpg\tNo\t\tYes\r\n"
                          "\tClips\tmp4\tNo\t\tNo\r\n"
                          "Music\tmp3 wma\tYes\t/data/Music/\tYes\r\n"
                          "\tLive\t\tNo\t\tYes\r\n"
                          "\t\tBootlegs\tzip\tNo\t\tYes\r\n"
                          "\tAlbums\tflac\tNo\t/data/Albums/\tYes\r\n"
                          "archives\tzip rar\tNo\t\tYes\r\n";
const QByteArray Sorted = "archives\tzip rar\tNo\t\tYes\r\n"
                          "Music\tmp3 wma\tYes\t/data/Music/\tYes\r\n"
                          "\tAlbums\tflac\tNo\t/data/Albums/\tYes\r\n"
                          "\tLive\t\tNo\t\tYes\r\n"
                          "\t\tBootlegs\tzip\tNo\t\tYes\r\n"
                          "Video\tavi mpg\tNo\t\tYes\r\n"
                          "\tClips\tmp4\tNo\t\tNo\r\n";
}

TEST_F(CategoryListTest, LoadsInFileOrderAndFindsByIndexNameAndFileName)
{
    ASSERT_TRUE(WriteWholeFile(CatDat(), Stored));
    TCategoryList list;
    ASSERT_EQ(list.Count(), 7);
    EXPECT_EQ(list.Get(0)->Name(), "Video");
    EXPECT_EQ(list.Get(6)->Name(), "archives");
    EXPECT_EQ(list.Get(7), nullptr);
    EXPECT_EQ(list.Get(-1), nullptr);
    EXPECT_EQ(list.GetByName("MUSIC"), list.Get(2));
    EXPECT_EQ(list.GetByName("nothing"), nullptr);
    EXPECT_EQ(list.GetByFileName("/x/y.ZIP"), list.Get(4)) << "Bootlegs lists zip before archives does";
    EXPECT_EQ(list.GetByFileName("song.mp3"), list.Get(2));
    EXPECT_EQ(list.GetByFileName("readme"), nullptr);
}

TEST_F(CategoryListTest, MissingFileGivesNoCategoriesAndNoNodes)
{
    TCategoryList list;
    EXPECT_EQ(list.Count(), 0);
    EXPECT_EQ(BuildTree(list)->ChildCount(), 0);
}

TEST_F(CategoryListTest, TreeIsBuiltAlphabeticallyAndWrittenBackInTreeOrder)
{
    ASSERT_TRUE(WriteWholeFile(CatDat(), Stored));
    TCategoryList list;
    TCategoryNode* categories = BuildTree(list);
    EXPECT_EQ(Texts(categories), QStringList({"archives", "Music", "Video"}));
    TCategoryNode* music = categories->Child(1);
    EXPECT_EQ(Texts(music), QStringList({"Albums", "Live"}));
    EXPECT_EQ(Texts(music->Child(1)), QStringList{"Bootlegs"});
    EXPECT_TRUE(categories->Expanded());
    EXPECT_TRUE(music->Expanded());
    EXPECT_FALSE(categories->Child(0)->Expanded()) << "no children, nothing to expand";

    ASSERT_TRUE(list.SaveToFile());
    EXPECT_EQ(ReadWholeFile(CatDat()), Sorted);
    TCategoryList again;
    EXPECT_EQ(Texts(BuildTree(again)), Texts(categories));
    EXPECT_TRUE(again.GetByName("Live")->Extensions().isEmpty());
    EXPECT_FALSE(again.GetByName("Clips")->ShowCompleteDialog());
}

TEST_F(CategoryListTest, InsertKeepsCaseInsensitiveOrderWithEqualNamesAfter)
{
    TCategoryList list;
    TCategoryNode* parent = BuildTree(list);
    list.InsertCategoryNode(parent, "Gamma");
    list.InsertCategoryNode(parent, "Alpha");
    list.InsertCategoryNode(parent, "beta");
    TCategoryNode* second = list.InsertCategoryNode(parent, "alpha");
    EXPECT_EQ(Texts(parent), QStringList({"Alpha", "alpha", "beta", "Gamma"}));
    EXPECT_EQ(second->Row(), 1);
    EXPECT_EQ(list.InsertCategoryNode(nullptr, "x"), nullptr);
}

TEST_F(CategoryListTest, FindAndSubCategoriesWalkDepthFirst)
{
    ASSERT_TRUE(WriteWholeFile(CatDat(), Stored));
    TCategoryList list;
    TCategoryNode* categories = BuildTree(list);
    TCategory* music = list.GetByName("Music");
    EXPECT_EQ(list.FindCategoryNode(music), categories->Child(1));
    EXPECT_EQ(Names(list.GetSubCategories(music)), QStringList({"Albums", "Live", "Bootlegs"}));
    EXPECT_TRUE(list.GetSubCategories(list.GetByName("archives")).isEmpty());

    TCategory unplaced(false, true);
    unplaced.SetName("Nowhere");
    EXPECT_EQ(list.FindCategoryNode(&unplaced), nullptr);
    EXPECT_TRUE(list.GetSubCategories(&unplaced).isEmpty());
    unplaced.SetName("music");
    EXPECT_EQ(list.FindCategoryNode(&unplaced), nullptr) << "node texts are compared exactly";
}

TEST_F(CategoryListTest, MovesGoToTheirAlphabeticalPlaceAndNeverBelowThemselves)
{
    ASSERT_TRUE(WriteWholeFile(CatDat(), Stored));
    TCategoryList list;
    TCategoryNode* categories = BuildTree(list);
    TCategoryNode* music = categories->Child(1);
    TCategoryNode* live = music->Child(1);
    TCategoryNode* bootlegs = live->Child(0);

    list.MoveCategoryNode(bootlegs, music);
    EXPECT_EQ(music->Parent(), categories) << "not below its own sub-category";
    list.MoveCategoryNode(music, music);
    EXPECT_EQ(music->Parent(), categories);

    list.MoveCategoryNode(categories, live);
    EXPECT_EQ(Texts(categories), QStringList({"archives", "Live", "Music", "Video"}));
    EXPECT_EQ(Texts(live), QStringList{"Bootlegs"}) << "sub-nodes move along";
    list.MoveCategoryNode(categories->Child(3), bootlegs);
    EXPECT_EQ(Texts(categories->Child(3)), QStringList({"Bootlegs", "Clips"}));
    list.MoveCategoryNode(categories, categories->Child(0));
    EXPECT_EQ(Texts(categories), QStringList({"archives", "Live", "Music", "Video"})) << "already in place";

    ASSERT_TRUE(list.SaveToFile());
    EXPECT_EQ(ReadWholeFile(CatDat()), "archives\tzip rar\tNo\t\tYes\r\n"
                                       "Live\t\tNo\t\tYes\r\n"
                                       "Music\tmp3 wma\tYes\t/data/Music/\tYes\r\n"
                                       "\tAlbums\tflac\tNo\t/data/Albums/\tYes\r\n"
                                       "Video\tavi mpg\tNo\t\tYes\r\n"
                                       "\tBootlegs\tzip\tNo\t\tYes\r\n"
                                       "\tClips\tmp4\tNo\t\tNo\r\n");
}

TEST_F(CategoryListTest, AddAndRemoveStoreTheTreeAndRemovedCategoriesStayUsable)
{
    TCategoryList list;
    TCategoryNode* categories = BuildTree(list);
    auto fresh = std::make_unique<TCategory>(false, true);
    fresh->SetName("Docs");
    fresh->SetExtensions("pdf");
    list.InsertCategoryNode(categories, "Docs");
    TCategory* docs = list.Add(std::move(fresh), true);
    EXPECT_EQ(ReadWholeFile(CatDat()), "Docs\tpdf\tNo\t\tYes\r\n");

    list.Tree().DeleteNode(list.FindCategoryNode(docs));
    list.Remove(docs);
    EXPECT_EQ(list.Count(), 0);
    EXPECT_EQ(ReadWholeFile(CatDat()), "");
    EXPECT_EQ(docs->Name(), "Docs") << "records may still point at it";
}

TEST_F(CategoryListTest, ANodeWithoutCategoryIsWrittenWithDefaults)
{
    TCategoryList list;
    TCategoryNode* categories = BuildTree(list);
    list.InsertCategoryNode(categories, "Orphan");
    ASSERT_TRUE(list.SaveToFile());
    EXPECT_EQ(ReadWholeFile(CatDat()), "Orphan\t\tNo\t\tYes\r\n");
}

TEST_F(CategoryListTest, ANameWithAControlCharacterKeepsItsCategoryWhenWrittenAgain)
{
    ASSERT_TRUE(WriteWholeFile(CatDat(), "Ve\x13ry\tiso\tYes\t/data/iso/\tNo\r\n"));
    TCategoryList list;
    TCategoryNode* categories = BuildTree(list);
    TCategory* category = list.Get(0);
    EXPECT_EQ(category->Name(), "Ve ry");
    EXPECT_EQ(list.FindCategoryNode(category), categories->Child(0)) << "the node is named as its category";
    ASSERT_TRUE(list.SaveToFile());
    EXPECT_EQ(ReadWholeFile(CatDat()), "Ve ry\tiso\tYes\t/data/iso/\tNo\r\n");
}

TEST_F(CategoryListTest, WithoutTheTreeNothingIsWrittenOverTheFile)
{
    ASSERT_TRUE(WriteWholeFile(CatDat(), Stored));
    TCategoryList list;
    EXPECT_FALSE(list.SaveToFile());
    list.Add(std::make_unique<TCategory>(false, true), true);
    EXPECT_EQ(ReadWholeFile(CatDat()), Stored);
}

TEST_F(CategoryListTest, StrayIndentationAndDeepNestingBuildWithoutGaps)
{
    // A first line with TABs, and a line far deeper than the one before it, go below
    // the nearest node above them; 20000 levels deep is walked without recursion.
    QByteArray text = "\t\tStray\t\tNo\t\tYes\r\nTop\t\tNo\t\tYes\r\n\t\t\tDeep\t\tNo\t\tYes\r\n";
    for (int depth = 0; depth < 20000; ++depth)
        text += QByteArray(depth, '\t') + "n\t\tNo\t\tYes\r\n";
    ASSERT_TRUE(WriteWholeFile(CatDat(), text));
    TCategoryList list;
    TCategoryNode* categories = BuildTree(list);
    EXPECT_EQ(Texts(categories), QStringList({"n", "Stray", "Top"}));
    EXPECT_EQ(Texts(categories->Child(2)), QStringList{"Deep"});
    const TCategoryNode* node = categories->Child(0);
    int depth = 1;
    while (node->ChildCount() == 1) {
        node = node->Child(0);
        ++depth;
    }
    EXPECT_EQ(depth, 20000);
    EXPECT_TRUE(list.SaveToFile());
    list.Tree().Clear();
}

namespace {
// The kind of model the window's tree view sits on, as thin as the tree allows.
class TreeModel : public QAbstractItemModel, public TCategoryTreeObserver {
public:
    explicit TreeModel(TCategoryTree& tree) : m_tree(tree) { tree.SetObserver(this); }
    ~TreeModel() override { m_tree.SetObserver(nullptr); }

    QModelIndex index(int row, int column, const QModelIndex& parent = {}) const override
    {
        TCategoryNode* child = column == 0 ? Node(parent)->Child(row) : nullptr;
        return child ? createIndex(row, 0, child) : QModelIndex();
    }
    QModelIndex parent(const QModelIndex& index) const override { return IndexOf(Node(index)->Parent()); }
    int rowCount(const QModelIndex& parent = {}) const override
    {
        return parent.column() > 0 ? 0 : Node(parent)->ChildCount();
    }
    int columnCount(const QModelIndex& = {}) const override { return 1; }
    QVariant data(const QModelIndex& index, int role) const override
    {
        return index.isValid() && role == Qt::DisplayRole ? QVariant(Node(index)->Text()) : QVariant();
    }

    void NodesAboutToBeInserted(TCategoryNode* parent, int first, int last) override
    {
        beginInsertRows(IndexOf(parent), first, last);
    }
    void NodesInserted() override { endInsertRows(); }
    void NodesAboutToBeRemoved(TCategoryNode* parent, int first, int last) override
    {
        beginRemoveRows(IndexOf(parent), first, last);
    }
    void NodesRemoved() override { endRemoveRows(); }
    void NodeAboutToBeMoved(TCategoryNode* from, int row, TCategoryNode* to, int destination) override
    {
        EXPECT_TRUE(beginMoveRows(IndexOf(from), row, row, IndexOf(to), destination));
    }
    void NodeMoved() override { endMoveRows(); }
    void NodeChanged(TCategoryNode* node) override { emit dataChanged(IndexOf(node), IndexOf(node)); }
    void TreeAboutToBeCleared() override { beginResetModel(); }
    void TreeCleared() override { endResetModel(); }

private:
    TCategoryNode* Node(const QModelIndex& index) const
    {
        return index.isValid() ? static_cast<TCategoryNode*>(index.internalPointer()) : m_tree.Root();
    }
    QModelIndex IndexOf(TCategoryNode* node) const
    {
        return !node || node == m_tree.Root() ? QModelIndex() : createIndex(node->Row(), 0, node);
    }

    TCategoryTree& m_tree;
};

QStringList& ModelWarnings()
{
    static QStringList warnings;
    return warnings;
}
}

TEST_F(CategoryListTest, AnItemModelFollowsEveryChange)
{
    ASSERT_TRUE(WriteWholeFile(CatDat(), Stored));
    TCategoryList list;
    TreeModel model(list.Tree());
    ModelWarnings().clear();
    const QtMessageHandler previous = qInstallMessageHandler([](QtMsgType, const QMessageLogContext&, const QString& m) {
        ModelWarnings().append(m);
    });
    {
        QAbstractItemModelTester tester(&model, QAbstractItemModelTester::FailureReportingMode::Warning);
        TCategoryNode* categories = BuildTree(list);
        TCategoryNode* music = categories->Child(1);
        const QPersistentModelIndex live = model.index(1, 0, model.index(1, 0, model.index(1, 0)));
        ASSERT_EQ(live.data().toString(), "Live");
        list.MoveCategoryNode(categories, music->Child(1));
        EXPECT_EQ(live.data().toString(), "Live") << "a persistent index follows the moved node";
        EXPECT_EQ(live.parent(), model.index(1, 0));
        list.MoveCategoryNode(categories->Child(3), categories->Child(0)); // archives below Video
        list.MoveCategoryNode(categories, categories->Child(2)->Child(0)); // and back up
        list.Tree().SetText(categories->Child(0), "Renamed");
        list.Tree().DeleteNode(categories->Child(1));
        list.Tree().Clear();
        BuildTree(list);
    }
    qInstallMessageHandler(previous);
    EXPECT_TRUE(ModelWarnings().isEmpty()) << ModelWarnings().join('\n').toStdString();
}
