#pragma once
#include "coordination/DownloadWindows.h"

#include <QByteArray>
#include <QString>
#include <deque>
#include <functional>
#include <memory>

class QSocketNotifier;

// Asks on the terminal for the user name and password of a server that wants them
// (the password typed without echo), one request at a time, while the event loop and
// so every other download go on. An answer serves every slot waiting for that host
// and realm; the end of input cancels every request.
class TCredentialsPrompt {
public:
    TCredentialsPrompt();
    // Gives the terminal its echo back.
    ~TCredentialsPrompt();
    TCredentialsPrompt(const TCredentialsPrompt&) = delete;
    TCredentialsPrompt& operator=(const TCredentialsPrompt&) = delete;

    // Standard input and standard error are terminals.
    static bool Available();
    void Ask(const TAuthRequest& request);

    // The prompt takes the terminal, and gives it back.
    std::function<void()> OnBegin, OnEnd;

private:
    void Next();
    void Read();
    void Line(const QString& line);
    void Finish();
    void SetEcho(bool on);

    std::deque<TAuthRequest> queue;
    std::unique_ptr<QSocketNotifier> notifier;
    QByteArray input;
    QString user;
    bool askingPassword = false;
    bool echoOff = false;
    bool closed = false;
};
