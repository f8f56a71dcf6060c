#include "tests/support/FtpFixture.h"

#include "tests/support/TempHome.h"

#include <QDir>
#include <QFileInfo>
#include <csignal>

namespace {
constexpr int StartTimeoutMs = 15000;
}

FtpFixture::FtpFixture() : FtpFixture(Options{}) {}

FtpFixture::FtpFixture(Options options) : m_options(std::move(options))
{
    m_process.setProcessChannelMode(QProcess::ForwardedErrorChannel);
}

FtpFixture::~FtpFixture()
{
    Stop();
}

bool FtpFixture::Start()
{
    QStringList arguments{CORVANE_SOURCE_DIR "/tests/support/FtpFixture.py", "--root", Root()};
    for (const QString& user : m_options.users)
        arguments << "--user" << user;
    if (m_options.anonymous)
        arguments << "--anonymous";
    if (m_options.bytesPerSecond > 0)
        arguments << "--rate" << QString::number(m_options.bytesPerSecond);
    if (!m_options.masquerade.isEmpty())
        arguments << "--masquerade" << m_options.masquerade;
    m_process.start("/usr/bin/python3", arguments);
    if (!m_process.waitForStarted(StartTimeoutMs))
        return false;
    while (!m_process.canReadLine())
        if (!m_process.waitForReadyRead(StartTimeoutMs))
            return false;
    m_port = quint16(m_process.readLine().trimmed().toUInt());
    return m_port != 0;
}

void FtpFixture::Stop()
{
    if (m_process.state() == QProcess::NotRunning)
        return;
    ::kill(pid_t(m_process.processId()), SIGKILL);
    m_process.waitForFinished(StartTimeoutMs);
}

QString FtpFixture::AddFile(const QString& name, const QByteArray& content)
{
    const QString path = Root() + "/" + name;
    QDir().mkpath(QFileInfo(path).path());
    WriteWholeFile(path, content);
    return path;
}
