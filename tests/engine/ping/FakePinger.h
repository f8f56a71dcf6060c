#pragma once
#include "engine/Pinger.h"

#include <QStringList>
#include <condition_variable>
#include <functional>
#include <map>
#include <mutex>
#include <optional>

// A pinger with answers chosen by the test. Pings wait behind a gate the test opens
// one at a time or for good, so it can see how many run at once.
class TFakePinger : public TPinger {
public:
    // Round trip per host; a host not listed gets no answer.
    explicit TFakePinger(std::map<QString, std::optional<int>> answers, bool gateOpen = true);

    std::optional<int> Ping(const QString& host) override;

    // Lets count waiting pings (or later ones) through.
    void Release(int count);
    void OpenGate();
    // Real-time waits for the worker threads, false after timeoutMs.
    bool WaitUntilStarted(int count, int timeoutMs = 5000);
    bool WaitUntilAnswered(int count, int timeoutMs = 5000);
    int Started() const;
    QStringList Hosts() const;

private:
    const std::map<QString, std::optional<int>> Answers;
    mutable std::mutex Lock;
    std::condition_variable Changed;
    bool GateOpen;
    int Passes = 0;
    int StartedPings = 0;
    int AnsweredPings = 0;
    QStringList PingedHosts;
};

// Waits (real time, events not processed) until condition() holds, at most timeoutMs.
bool WaitWithoutEvents(const std::function<bool()>& condition, int timeoutMs = 5000);
