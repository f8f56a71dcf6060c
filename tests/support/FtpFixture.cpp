#include "tests/support/FtpFixture.h"

#include "tests/support/TempHome.h"

#include <QDir>
#include <QFileInfo>

bool FtpFixture::Start()
{
    m_port = FreeLoopbackPort();
    if (m_port == 0 || !QDir().mkpath(Root()))
        return false;
    QStringList arguments{CORVANE_SOURCE_DIR "/tests/support/FtpFixture.py", "--port", QString::number(m_port),
                          "--root", Root()};
    for (const QString& user : m_options.users)
        arguments << "--user" << user;
    if (m_options.anonymous)
        arguments << "--anonymous";
    if (m_options.bytesPerSecond > 0)
        arguments << "--rate" << QString::number(m_options.bytesPerSecond);
    if (!m_options.masquerade.isEmpty())
        arguments << "--masquerade" << m_options.masquerade;
    return m_process.Start("/usr/bin/python3", arguments, m_folder.path() + "/ftp.log") &&
           m_process.WaitForPort(m_port, 15000);
}

QString FtpFixture::AddFile(const QString& name, const QByteArray& content)
{
    const QString path = Root() + "/" + name;
    QDir().mkpath(QFileInfo(path).path());
    WriteWholeFile(path, content);
    return path;
}
