#include "records/LDIList.h"

#include "records/Category.h"
#include "records/LocalDownloadinfo.h"
#include "records/StatusTexts.h"
#include "tests/support/TempHome.h"

#include <QTimer>
#include <gtest/gtest.h>

namespace {
class LDIListTest : public TempHomeTest {
protected:
    void SetUp() override
    {
        TempHomeTest::SetUp();
        music.SetName("Music");
        video.SetName("Video");
        const TStatusTexts& s = StatusTexts();
        Make("a", s.Done, &music, 100, "/d/A.mp3");
        Make("b", s.Paused, nullptr, 200, "/d/b.zip");
        Make("c", s.Done, nullptr, 300, "/d/c.iso");
        Make("d", s.Downloading, &video, 400, "/d/d.avi");
        Make("e", s.Done, &music, 250, "/d/e.mp3");
        Make("f", "Combining files (37%)", &music, 500, "");
    }
    void Make(const char* name, const QString& status, TCategory* category, TDateTime last, const QString& file)
    {
        auto record = std::make_unique<TLocalDownloadinfo>(nullptr, Path(name));
        record->SetStatus(status);
        record->Category = category;
        record->LastActivity = last;
        record->LocalFileName = file;
        list.Add(record.get());
        records.push_back(std::move(record));
    }
    static QString Names(const TLDIList& view)
    {
        QString names;
        for (const TLocalDownloadinfo* record : view)
            names += QFileInfo(record->TempFileName()).fileName();
        return names;
    }

    TCategory music{false, true}, video{false, true};
    std::vector<std::unique_ptr<TLocalDownloadinfo>> records;
    TLDIList list;
};
}

TEST_F(LDIListTest, ViewsKeepTheListOrder)
{
    EXPECT_EQ(Names(list.GetByCategory(&music)), "aef");
    EXPECT_EQ(Names(list.GetByCategory(nullptr)), "bc");
    EXPECT_EQ(Names(list.GetWithCategory()), "adef");
    EXPECT_EQ(Names(list.GetNotDone()), "bdf");
    EXPECT_EQ(Names(list.GetByStatus(StatusTexts().Done)), "ace");
    EXPECT_EQ(Names(list.GetByStatus("Combining files (37%)")), "f");
    EXPECT_EQ(Names(list.GetByStatus("Combining files")), "") << "exact text only";
    EXPECT_EQ(Names(list.GetDoneSince(250)), "ce") << "not earlier than the moment";
    EXPECT_EQ(Names(list.GetDoneSince(1000)), "");
}

TEST_F(LDIListTest, GetAddRemoveAndFileInUse)
{
    EXPECT_EQ(list.Get(0), records[0].get());
    EXPECT_EQ(list.Get(list.Count()), nullptr);
    EXPECT_EQ(list.Get(-1), nullptr);
    list.Remove(records[1].get());
    EXPECT_EQ(Names(list), "acdef");
    EXPECT_TRUE(list.FileInUse("/D/a.MP3"));
    EXPECT_FALSE(list.FileInUse("/d/b.zip")) << "removed";
    EXPECT_FALSE(list.FileInUse("/d/a.mp"));
}

TEST_F(LDIListTest, GetByTimerFindsTheLastRecordWithThatTimer)
{
    QTimer first, second;
    records[1]->RetryTimer = &first;
    records[3]->RetryTimer = &first;
    records[4]->RetryTimer = &second;
    EXPECT_EQ(list.GetByTimer(&first), records[3].get());
    EXPECT_EQ(list.GetByTimer(&second), records[4].get());
    QTimer unused;
    EXPECT_EQ(list.GetByTimer(&unused), nullptr);
    EXPECT_EQ(list.GetByTimer(nullptr), nullptr);
}
