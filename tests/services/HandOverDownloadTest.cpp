#include "services/HandOverDownload.h"

#include "coordination/DownloadSystem.h"
#include "engine/CombineParts.h"
#include "engine/MirrorPing.h"
#include "records/LocalDownloadinfo.h"
#include "records/Settings.h"
#include "records/StatusTexts.h"
#include "tests/engine/ping/FakePinger.h"
#include "tests/support/EventLoop.h"
#include "tests/support/HttpTestServer.h"
#include "tests/support/TempHome.h"

#include <QDir>
#include <gtest/gtest.h>

namespace {
class HandOverDownloadTest : public TempHomeTest {
protected:
    void TearDown() override
    {
        system.reset();
        EXPECT_TRUE(TMirrorPing::WaitForThreads(5000));
        EXPECT_TRUE(TCombineParts::WaitForThreads(5000));
        TempHomeTest::TearDown();
    }
    std::unique_ptr<TDownloadSystem> system;
};
}

TEST_F(HandOverDownloadTest, UrlTextBecomesADownloadAndOtherTextIsIgnored)
{
    ASSERT_TRUE(QDir().mkpath(Path("dl")));
    Write(Setting::DefaultDownloadDirectory, Path("dl"));
    HttpTestServer server;
    ASSERT_TRUE(server.Listen());
    server.Handler = [](const QByteArray&) { return HttpTestAnswer::Partial("handed over", 0); };
    auto pinger = std::make_shared<TFakePinger>(std::map<QString, std::optional<int>>{{"127.0.0.1", 5}});
    system = std::make_unique<TDownloadSystem>(TDownloadSystemHost{.Pinger = pinger});

    EXPECT_FALSE(AddHandedOverDownload(*system, "/uninstall"));
    EXPECT_EQ(system->Records().Count(), 0);
    ASSERT_TRUE(AddHandedOverDownload(*system, server.Url("note.txt")));
    ASSERT_EQ(system->Records().Count(), 1);
    const TLocalDownloadinfo* record = system->Records().Get(0);
    ASSERT_TRUE(ProcessEventsUntil([&] { return record->Status() == StatusTexts().Done; }));
    EXPECT_EQ(ReadWholeFile(Path("dl/note.txt")), "handed over");
}
