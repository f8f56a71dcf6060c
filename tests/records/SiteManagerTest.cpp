#include "records/SiteManager.h"

#include <gtest/gtest.h>

namespace {
// Slots are only queued and handed back, never used, so any distinct addresses do.
TPartDownloadSlot* FakeSlot(int n)
{
    static char storage[8];
    return reinterpret_cast<TPartDownloadSlot*>(&storage[n]);
}

const TUrl Site(QStringLiteral("http://site.com/f.zip"));
}

TEST(SiteManager, UnknownHostHasNoCredentials)
{
    TSiteManager store;
    const TUrl withUser(QStringLiteral("http://joe:pw@site.com/f.zip"));
    store.SetUserPass(withUser, "", withUser.User, withUser.Password);
    EXPECT_EQ(store.Count(), 0);
    EXPECT_EQ(store.GetUser(withUser, ""), "");
    EXPECT_EQ(store.GetPass(withUser, ""), "");
    EXPECT_EQ(store.NextWaitingSlot(withUser, ""), nullptr);
}

TEST(SiteManager, RealmFallsBackToTheFirstEntryOfTheHost)
{
    TSiteManager store;
    store.AddWaitingSlot(Site, "first", FakeSlot(0));
    store.AddWaitingSlot(Site, "second", FakeSlot(1));
    ASSERT_EQ(store.Count(), 2);
    store.SetUserPass(Site, "first", "u1", "p1");
    store.SetUserPass(Site, "second", "u2", "p2");

    const struct {
        const char* Host;
        const char* Realm;
        const char* User;
        const char* Pass;
    } cases[] = {
        {"site.com", "first", "u1", "p1"},
        {"site.com", "second", "u2", "p2"},
        {"site.com", "third", "u1", "p1"},
        {"site.com", "", "u1", "p1"},
        {"SITE.com", "first", "", ""},
        {"other.com", "first", "", ""},
    };
    for (const auto& c : cases) {
        const TUrl url(QStringLiteral("http://%1/x").arg(QLatin1String(c.Host)));
        EXPECT_EQ(store.GetUser(url, c.Realm), c.User) << c.Host << " " << c.Realm;
        EXPECT_EQ(store.GetPass(url, c.Realm), c.Pass) << c.Host << " " << c.Realm;
    }
}

TEST(SiteManager, WaitingSlotsComeBackFirstInFirstOut)
{
    TSiteManager store;
    store.AddWaitingSlot(Site, "r", FakeSlot(0));
    store.AddWaitingSlot(Site, "r", FakeSlot(1));
    store.AddWaitingSlot(Site, "r", FakeSlot(2));
    EXPECT_EQ(store.Count(), 1) << "one entry per host and realm";
    store.RemoveWaitingSlot(FakeSlot(1));
    EXPECT_EQ(store.NextWaitingSlot(Site, "r"), FakeSlot(0));
    EXPECT_EQ(store.NextWaitingSlot(Site, "r"), FakeSlot(2));
    EXPECT_EQ(store.NextWaitingSlot(Site, "r"), nullptr);

    // A slot for another realm of the host gets an entry of its own.
    store.AddWaitingSlot(Site, "other", FakeSlot(3));
    EXPECT_EQ(store.Count(), 2);
    EXPECT_EQ(store.NextWaitingSlot(Site, "r"), nullptr);
    EXPECT_EQ(store.NextWaitingSlot(Site, "other"), FakeSlot(3));
}

TEST(SiteManager, NewEntryStartsWithTheCredentialsOfItsUrl)
{
    TSiteManager store;
    TUrl withUser(QStringLiteral("http://joe:pw@site.com/f.zip"));
    withUser.User = "overwritten";
    store.AddWaitingSlot(withUser, "r", FakeSlot(0));
    EXPECT_EQ(store.GetUser(Site, "r"), "joe");
    EXPECT_EQ(store.GetPass(Site, "r"), "pw");

    store.AddWaitingSlot(TUrl(QStringLiteral("ftp://ftp.site.com/f")), "", FakeSlot(1));
    EXPECT_EQ(store.GetUser(TUrl(QStringLiteral("ftp://ftp.site.com/")), ""), "anonymous");
    EXPECT_EQ(&SiteManager(), &SiteManager());
}
