#include "tests/engine/FtpTestHelpers.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QRandomGenerator>
#include <gtest/gtest.h>

void RunEvents(int ms)
{
    QElapsedTimer timer;
    timer.start();
    ProcessEventsUntil([&] { return timer.elapsed() >= ms; }, ms + 1000);
}

QByteArray Pattern(qint64 size, quint32 seed)
{
    QByteArray bytes(size, Qt::Uninitialized);
    QRandomGenerator random(seed);
    random.fillRange(reinterpret_cast<quint32*>(bytes.data()), size / 4);
    for (qint64 i = size / 4 * 4; i < size; ++i)
        bytes[i] = char(random.generate());
    return bytes;
}

FtpProbe::FtpProbe(quint16 port, const QString& user, const QString& password)
{
    client->HostName = "127.0.0.1";
    client->Port = QString::number(port);
    client->UserName = user;
    client->PassWord = password;
    client->HostDirName = "/";
    client->OnRequestDone = [this](TFtpRequest request, int error) { done.emplace_back(request, error); };
    client->OnProgress = [this](qint64 count, bool&) { progress.push_back(count); };
    client->OnStateChange = [this](TFtpState state) { states.push_back(state); };
}

int FtpProbe::Run(bool (TFtpClient::*request)())
{
    const size_t before = done.size();
    if (!(client.get()->*request)())
        return -1;
    EXPECT_EQ(done.size(), before) << "request done raised inside the call";
    if (!ProcessEventsUntil([&] { return done.size() > before; }))
        return -2;
    return done.back().second;
}

bool FtpProbe::Login()
{
    return Run(&TFtpClient::Connect) == 0 && Run(&TFtpClient::TypeSet) == 0 && Run(&TFtpClient::Cwd) == 0;
}
