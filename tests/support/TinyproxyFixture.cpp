#include "tests/support/TinyproxyFixture.h"

#include "tests/support/TempHome.h"

#include <QFile>

bool TinyproxyFixture::Start(const QString& user, const QString& password)
{
    port = FreeLoopbackPort();
    const QString d = dir.path();
    QString config = QStringLiteral("Port %1\nListen 127.0.0.1\nTimeout 600\nMaxClients 50\n"
                                    "LogFile \"%2/tinyproxy.log\"\nLogLevel Connect\nPidFile \"%2/tinyproxy.pid\"\n"
                                    "Allow 127.0.0.1\n")
                         .arg(port)
                         .arg(d);
    if (!user.isEmpty())
        config += QStringLiteral("BasicAuth %1 %2\n").arg(user, password);
    QFile file(d + "/tinyproxy.conf");
    if (!file.open(QIODevice::WriteOnly) || file.write(config.toUtf8()) < 0) {
        error = "cannot write tinyproxy.conf";
        return false;
    }
    file.close();
    if (!process.Start("tinyproxy", {"-d", "-c", d + "/tinyproxy.conf"}, d + "/output.log") || !process.WaitForPort(port)) {
        error = "tinyproxy did not start: " + process.Log() + Log();
        process.Stop();
        return false;
    }
    return true;
}

QString TinyproxyFixture::Log() const
{
    return QString::fromLocal8Bit(ReadWholeFile(dir.path() + "/tinyproxy.log"));
}
