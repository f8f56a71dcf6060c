#include "FakePinger.h"

#include <QElapsedTimer>
#include <chrono>
#include <thread>

TFakePinger::TFakePinger(std::map<QString, std::optional<int>> answers, bool gateOpen)
    : Answers(std::move(answers)), GateOpen(gateOpen)
{
}

std::optional<int> TFakePinger::Ping(const QString& host)
{
    std::unique_lock lock(Lock);
    ++StartedPings;
    PingedHosts.append(host);
    Changed.notify_all();
    Changed.wait(lock, [&] { return GateOpen || Passes > 0; });
    if (!GateOpen)
        --Passes;
    ++AnsweredPings;
    Changed.notify_all();
    const auto answer = Answers.find(host);
    return answer == Answers.end() ? std::nullopt : answer->second;
}

void TFakePinger::Release(int count)
{
    {
        std::lock_guard lock(Lock);
        Passes += count;
    }
    Changed.notify_all();
}

void TFakePinger::OpenGate()
{
    {
        std::lock_guard lock(Lock);
        GateOpen = true;
    }
    Changed.notify_all();
}

bool TFakePinger::WaitUntilStarted(int count, int timeoutMs)
{
    std::unique_lock lock(Lock);
    return Changed.wait_for(lock, std::chrono::milliseconds(timeoutMs), [&] { return StartedPings >= count; });
}

bool TFakePinger::WaitUntilAnswered(int count, int timeoutMs)
{
    std::unique_lock lock(Lock);
    return Changed.wait_for(lock, std::chrono::milliseconds(timeoutMs), [&] { return AnsweredPings >= count; });
}

int TFakePinger::Started() const
{
    std::lock_guard lock(Lock);
    return StartedPings;
}

QStringList TFakePinger::Hosts() const
{
    std::lock_guard lock(Lock);
    return PingedHosts;
}

bool WaitWithoutEvents(const std::function<bool()>& condition, int timeoutMs)
{
    QElapsedTimer timer;
    timer.start();
    while (!condition()) {
        if (timer.elapsed() > timeoutMs)
            return false;
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    return true;
}
