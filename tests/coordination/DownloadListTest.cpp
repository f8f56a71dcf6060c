// The download list's rows: their texts, the filters, and the item model with its
// selection, on records loaded from record files.
#include "records/CategoryList.h"
#include "records/GeneralFunctions.h"
#include "records/QtDateTime.h"
#include "records/Settings.h"
#include "records/StatusTexts.h"
#include "tests/coordination/SystemHarness.h"

#include <QAbstractItemModelTester>
#include <QLocale>
#include <algorithm>
#include <gtest/gtest.h>

namespace {
class ListTest : public DownloadSystemTest {
protected:
    // The file names of the listed rows, in list order.
    QStringList Listed()
    {
        QStringList names;
        for (int row = 0; row < system->List().rowCount(); ++row)
            names.append(system->List().Row(row)->Texts[TDownloadRow::FileName]);
        return names;
    }
    QStringList ListedSorted()
    {
        QStringList names = Listed();
        names.sort();
        return names;
    }
    TLocalDownloadinfo* Named(const QString& fileName) const
    {
        for (TLocalDownloadinfo* record : system->Records()) {
            if (record->LocalFileName.endsWith("/" + fileName))
                return record;
        }
        return nullptr;
    }
    QStringList Selected() const
    {
        QStringList names;
        for (const TLocalDownloadinfo* record : system->GetSelectedFromList())
            names.append(record->LocalFileName.mid(record->LocalFileName.lastIndexOf('/') + 1));
        return names;
    }
};
}

TEST_F(ListTest, RowTextsComeFromTheRecordAndItsPartFiles)
{
    const QString parts = StoreRecord(Path("dl/parts.bin"), StatusTexts().Paused, 5'000,
                                      [](TLocalDownloadinfo& r) { r.Description = "two parts"; });
    ASSERT_TRUE(WriteWholeFile(parts + ".0", Content(1'000)));
    ASSERT_TRUE(WriteWholeFile(parts + ".1000", Content(500)));
    StoreRecord(Path("dl/zero.bin"), StatusTexts().Paused, 0);
    StoreRecord(Path("dl/done.bin"), StatusTexts().Done, 123'456);
    Create();
    system->ShowAll();
    const struct {
        QString name, completed, total, status;
    } cases[] = {
        {"parts.bin", BytesToPresentableString(1'500), BytesToPresentableString(5'000), StatusTexts().Paused},
        {"zero.bin", BytesToPresentableString(0), StatusTexts().Unknown, StatusTexts().Paused},
        {"done.bin", BytesToPresentableString(123'456), BytesToPresentableString(123'456), StatusTexts().Done},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name.toStdString());
        const TLocalDownloadinfo* record = Named(c.name);
        ASSERT_NE(record, nullptr);
        const auto row = RowOf(record);
        ASSERT_TRUE(row);
        EXPECT_EQ(row->Texts[TDownloadRow::FileName], c.name);
        EXPECT_EQ(row->Texts[TDownloadRow::Status], c.status);
        EXPECT_EQ(row->Texts[TDownloadRow::Completed], c.completed);
        EXPECT_EQ(row->Texts[TDownloadRow::Total], c.total);
        EXPECT_EQ(row->Texts[TDownloadRow::TimeLeft], "");
        EXPECT_EQ(row->Texts[TDownloadRow::Speed], "");
        EXPECT_EQ(row->Texts[TDownloadRow::SavePath], Path("dl/"));
        const QDateTime added = ToQDateTime(record->Created);
        EXPECT_EQ(row->Texts[TDownloadRow::TimeAdded], QLocale().toString(added.date(), QLocale::ShortFormat) + " "
                                                           + QLocale().toString(added.time(), QLocale::LongFormat));
    }
    EXPECT_EQ(RowOf(Named("parts.bin"))->Texts[TDownloadRow::Description], "two parts");
}

TEST_F(ListTest, FiltersByStatusCategoryTreeAndHistory)
{
    // In the tree Audio comes before Video, unlike in the file.
    ASSERT_TRUE(WriteWholeFile(Path("cat.dat"), "Media\tmkv\tNo\t\tYes\r\n"
                                                "\tVideo\tmp4\tNo\t\tYes\r\n"
                                                "\tAudio\tmp3\tNo\t\tYes\r\n"
                                                "Other\tzip\tNo\t\tYes\r\n"));
    TCategoryTree& tree = CategoryList().Tree();
    tree.AddNode(tree.Root(), "All");
    CategoryList().AddCategoriesToTreeView(tree.AddNode(tree.Root(), "Categories"));
    const TDateTime now = Now();
    const auto stored = [&](const QString& name, const QString& status, const QString& category, double daysAgo) {
        StoreRecord(Path("dl/" + name), status, 10, [&](TLocalDownloadinfo& r) {
            r.Category = CategoryList().GetByName(category);
            r.LastActivity = now - daysAgo;
        });
    };
    stored("video.mp4", StatusTexts().Paused, "Video", 1);
    stored("media.mkv", StatusTexts().Done, "Media", 6);
    stored("audio.mp3", StatusTexts().Done, "Audio", 0.5);
    stored("other.zip", StatusTexts().Done, "Other", 8);
    stored("none.bin", StatusTexts().Scheduled, "", 40);
    Write(Setting::VDT_Downloads_SortByColumn, -1); // unsorted: the filter's order shows
    Create();
    QAbstractItemModelTester tester(&system->List(), QAbstractItemModelTester::FailureReportingMode::Fatal);

    system->ShowCategory("media");
    EXPECT_EQ(Listed(), (QStringList{"media.mkv", "audio.mp3", "video.mp4"}));
    EXPECT_FALSE(system->UpdateRow(Named("other.zip")));
    EXPECT_EQ(system->List().rowCount(), 3);

    const struct {
        std::function<void()> show;
        QStringList listed; // sorted
    } cases[] = {
        {[&] { system->ShowCategory("Audio"); }, {"audio.mp3"}},
        {[&] { system->ShowCategory("nothing"); }, {}},
        {[&] { system->ShowAllCategory(); }, {"audio.mp3", "media.mkv", "other.zip", "video.mp4"}},
        {[&] { system->ShowStatus(StatusTexts().Done); }, {"audio.mp3", "media.mkv", "other.zip"}},
        {[&] { system->ShowStatus(StatusTexts().Downloading); }, {}},
        {[&] { system->ShowAllStatus(); }, {"none.bin", "video.mp4"}},
        {[&] { system->ShowHistory(StatusTexts().Hours24); }, {"audio.mp3"}},
        {[&] { system->ShowHistory(StatusTexts().Days7); }, {"audio.mp3", "media.mkv"}},
        {[&] { system->ShowHistory(StatusTexts().Days30); }, {"audio.mp3", "media.mkv", "other.zip"}},
        {[&] { system->ShowHistory(StatusTexts().Today); }, {}},
        {[&] { system->ShowAll(); }, {"audio.mp3", "media.mkv", "none.bin", "other.zip", "video.mp4"}},
    };
    for (const auto& c : cases) {
        c.show();
        EXPECT_EQ(ListedSorted(), c.listed);
    }
}

TEST_F(ListTest, SortingAndRefillingKeepTheSelection)
{
    for (const auto& [name, size] : {std::pair{"a.bin", 300}, {"b.bin", 100}, {"c.bin", 200}})
        StoreRecord(Path(QString("dl/") + name), StatusTexts().Paused, size);
    Write(Setting::VDT_Downloads_SortByColumn, int(TDownloadRow::Total));
    Create();
    TDownloadListModel& list = system->List();
    QAbstractItemModelTester tester(&list, QAbstractItemModelTester::FailureReportingMode::Fatal);
    system->ShowAll();
    EXPECT_EQ(Listed(), (QStringList{"b.bin", "c.bin", "a.bin"}));
    EXPECT_EQ(list.headerData(0, Qt::Horizontal).toString(), "File Name");

    const auto select = QItemSelectionModel::Select | QItemSelectionModel::Rows;
    list.SelectionModel()->select(list.index(2, 0), select);
    list.SelectionModel()->select(list.index(0, 0), select);
    list.SelectionModel()->setCurrentIndex(list.index(2, 0), QItemSelectionModel::NoUpdate);
    EXPECT_EQ(Selected(), (QStringList{"b.bin", "a.bin"}));

    list.sort(TDownloadRow::Total, Qt::DescendingOrder);
    EXPECT_EQ(Listed(), (QStringList{"a.bin", "c.bin", "b.bin"}));
    EXPECT_EQ(Selected(), (QStringList{"a.bin", "b.bin"}));
    system->RefreshList();
    EXPECT_EQ(Selected(), (QStringList{"a.bin", "b.bin"}));
    EXPECT_EQ(list.Record(list.SelectionModel()->currentIndex().row()), Named("a.bin"));

    system->RemoveDownload(Named("c.bin"));
    EXPECT_EQ(Listed(), (QStringList{"a.bin", "b.bin"}));
    EXPECT_EQ(system->AssociatedRow(Named("b.bin")), 1);
    list.SelectionModel()->clearSelection();
    list.Refresh(true);
    EXPECT_EQ(Selected(), QStringList{"a.bin"}) << "without a selection the first row is chosen";
}
