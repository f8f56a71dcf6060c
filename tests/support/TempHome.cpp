#include "tests/support/TempHome.h"

#include "platform/base/Clock.h"

#include <QFile>
#include <cstdlib>

void TempHomeTest::SetUp()
{
    ASSERT_TRUE(dir.isValid());
    setenv("CORVANE_HOME", dir.path().toLocal8Bit().constData(), 1);
    for (const char* name : {"http_proxy", "https_proxy", "ftp_proxy", "all_proxy", "no_proxy",
                             "HTTP_PROXY", "HTTPS_PROXY", "FTP_PROXY", "ALL_PROXY", "NO_PROXY"})
        unsetenv(name);
}

void TempHomeTest::TearDown()
{
    TestClock::Release();
}

QString TempHomeTest::Path(const QString& name) const
{
    return dir.path() + "/" + name;
}

QByteArray ReadWholeFile(const QString& path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return {};
    return file.readAll();
}

bool WriteWholeFile(const QString& path, const QByteArray& bytes)
{
    QFile file(path);
    return file.open(QIODevice::WriteOnly | QIODevice::Truncate) && file.write(bytes) == bytes.size();
}
