#include "records/Url.h"
#include "services/InstanceManager.h"

#include <gtest/gtest.h>

TEST(CheckInstances, OnlyHttpHttpsAndFtpUrlsBecomeDownloads)
{
    const std::pair<QString, bool> cases[] = {
        {"http://a.example/f.zip", true},
        {"https://a.example/f.zip?x=1", true},
        {"ftp://a.example/pub/f.tar.gz", true},
        {"", false},
        {"/uninstall", false},
        {"/home/user/f.zip", false},
        {"file:///home/user/f.zip", false},
        {"mailto:someone@a.example", false},
        {"gopher://a.example/f", false},
    };
    for (const auto& [text, accepted] : cases) {
        QStringList added;
        EXPECT_EQ(CheckInstances(text, [&](const TUrl& url) { added.append(url.Url); }), accepted) << text.toStdString();
        EXPECT_EQ(added, accepted ? QStringList {text} : QStringList {}) << text.toStdString();
    }
}

TEST(CheckInstances, ControlCharactersReachTheDownloadEncoded)
{
    QString url;
    ASSERT_TRUE(CheckInstances("http://a.example/f.zip\r\nX-Injected: 1", [&](const TUrl& u) { url = u.Url; }));
    EXPECT_EQ(url, "http://a.example/f.zip%0D%0AX-Injected: 1");
}
