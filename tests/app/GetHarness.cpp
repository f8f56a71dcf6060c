#include "tests/app/GetHarness.h"

#include "records/Settings.h"
#include "tests/support/EventLoop.h"

#include <QDir>
#include <QFileInfo>
#include <QRandomGenerator>

void GetTest::SetUp()
{
    TempHomeTest::SetUp();
    ASSERT_TRUE(QDir().mkpath(Path("www")));
    Write(Setting::DefaultDownloadDirectory, Path("Downloads"));
    Write(Setting::RetryDelay, 1);
    ASSERT_TRUE(server.Listen());
}

void GetTest::TearDown()
{
    nginx.Stop();
    TempHomeTest::TearDown();
}

CorvaneResult GetTest::Corvane(const QStringList& arguments, int timeoutMs)
{
    const std::unique_ptr<QProcess> process = Start(arguments);
    return Finish(*process, timeoutMs);
}

std::unique_ptr<QProcess> GetTest::Start(const QStringList& arguments)
{
    auto process = std::make_unique<QProcess>();
    process->start(CORVANE_BIN_DIR "/corvane", arguments);
    EXPECT_TRUE(process->waitForStarted(10000));
    return process;
}

bool GetTest::WaitForOutput(QProcess& process, const QString& text, QString& seen, int timeoutMs)
{
    return ProcessEventsUntil(
        [&] {
            seen += QString::fromLocal8Bit(process.readAllStandardOutput());
            return seen.contains(text) || process.state() == QProcess::NotRunning;
        },
        timeoutMs)
        && seen.contains(text);
}

CorvaneResult GetTest::Finish(QProcess& process, int timeoutMs)
{
    CorvaneResult result;
    const bool ended = ProcessEventsUntil([&] {
        result.out += QString::fromLocal8Bit(process.readAllStandardOutput());
        result.err += QString::fromLocal8Bit(process.readAllStandardError());
        return process.state() == QProcess::NotRunning;
    }, timeoutMs);
    if (!ended) {
        process.kill();
        process.waitForFinished();
    }
    result.out += QString::fromLocal8Bit(process.readAllStandardOutput());
    result.err += QString::fromLocal8Bit(process.readAllStandardError());
    if (ended && process.exitStatus() == QProcess::NormalExit)
        result.status = process.exitCode();
    return result;
}

void GetTest::StartNginx(qint64 bytesPerSecond)
{
    ASSERT_TRUE(nginx.Start(Path("www"), {.limitRate = bytesPerSecond, .accessLog = Path("access.log")}))
        << nginx.Error().toStdString();
}

QByteArray GetTest::Serve(const QString& name, qint64 size)
{
    QByteArray content(size, Qt::Uninitialized);
    QRandomGenerator generator {quint32(size)};
    for (qint64 i = 0; i + 4 <= size; i += 4) {
        const quint32 word = generator.generate();
        memcpy(content.data() + i, &word, 4);
    }
    for (qint64 i = size / 4 * 4; i < size; ++i)
        content[i] = char(i);
    EXPECT_TRUE(QDir().mkpath(QFileInfo(Path("www/" + name)).absolutePath()));
    EXPECT_TRUE(WriteWholeFile(Path("www/" + name), content));
    return content;
}

QStringList GetTest::PartFiles() const
{
    QStringList files;
    for (const QFileInfo& file : QDir(Path("Partial Downloads")).entryInfoList(QDir::Files, QDir::Name))
        files.append(QStringLiteral("%1 %2").arg(file.fileName()).arg(file.size()));
    return files;
}

QStringList LinesWith(const QString& output, const QString& text)
{
    QStringList lines;
    for (const QString& line : output.split('\n')) {
        if (line.contains(text))
            lines.append(line);
    }
    return lines;
}
