#include "app/CredentialsPrompt.h"

#include "app/CliText.h"
#include "app/InterruptWatch.h"
#include "platform/base/Guard.h"

#include <QSocketNotifier>
#include <cstdio>
#include <termios.h>
#include <unistd.h>

namespace {
// On stderr, where the terminal's user sees it; a question ends without a line break.
void Prompt(const QString& text, bool lineBreak = false)
{
    const QByteArray bytes = PrintableText(text).toLocal8Bit() + (lineBreak ? "\n" : "");
    std::fwrite(bytes.constData(), 1, size_t(bytes.size()), stderr);
    std::fflush(stderr);
}

bool SameServer(const TAuthRequest& a, const TAuthRequest& b)
{
    return a.Host() == b.Host() && a.Realm() == b.Realm();
}
}

TCredentialsPrompt::TCredentialsPrompt() = default;

TCredentialsPrompt::~TCredentialsPrompt()
{
    Guarded("destructor TCredentialsPrompt.Destroy", [&] { SetEcho(true); });
}

bool TCredentialsPrompt::Available()
{
    return isatty(STDIN_FILENO) && isatty(STDERR_FILENO);
}

void TCredentialsPrompt::Ask(const TAuthRequest& request)
{
    Guarded("procedure TCredentialsPrompt.Ask", [&] {
        if (closed)
            return request.Cancel();
        queue.push_back(request);
        if (queue.size() == 1)
            Next();
    });
}

void TCredentialsPrompt::Next()
{
    if (queue.empty())
        return;
    if (OnBegin)
        OnBegin();
    const TAuthRequest& request = queue.front();
    const QString realm = request.Realm().isEmpty() ? QString() : QStringLiteral(" (realm \"%1\")").arg(request.Realm());
    Prompt(QStringLiteral("%1 wants a user name and password%2").arg(request.Host(), realm), true);
    Prompt(QStringLiteral("User: "));
    askingPassword = false;
    input.clear();
    if (!notifier) {
        notifier = std::make_unique<QSocketNotifier>(STDIN_FILENO, QSocketNotifier::Read);
        QObject::connect(notifier.get(), &QSocketNotifier::activated, notifier.get(), [this] { Read(); });
    }
    notifier->setEnabled(true);
}

void TCredentialsPrompt::Read()
{
    Guarded("procedure TCredentialsPrompt.Read", [&] {
        char buffer[512];
        const ssize_t got = read(STDIN_FILENO, buffer, sizeof buffer);
        if (got <= 0) {
            // The input has ended: nobody can answer any more.
            closed = true;
            notifier->setEnabled(false);
            Prompt({}, true);
            SetEcho(true);
            std::deque<TAuthRequest> cancelled;
            cancelled.swap(queue);
            for (const TAuthRequest& request : cancelled)
                request.Cancel();
            if (OnEnd)
                OnEnd();
            return;
        }
        input.append(buffer, got);
        qsizetype end;
        while (!queue.empty() && (end = input.indexOf('\n')) >= 0) {
            const QString line = QString::fromLocal8Bit(input.left(end));
            input.remove(0, end + 1);
            Line(line);
        }
    });
}

void TCredentialsPrompt::Line(const QString& line)
{
    if (!askingPassword) {
        user = line;
        askingPassword = true;
        SetEcho(false); // before the question: an answer typed at once must not show
        Prompt(QStringLiteral("Password: "));
        return;
    }
    SetEcho(true);
    Prompt({}, true);
    const TAuthRequest answered = queue.front();
    // The answer reaches every slot waiting for this server, so the requests of those
    // slots are answered too.
    std::erase_if(queue, [&](const TAuthRequest& request) { return SameServer(request, answered); });
    notifier->setEnabled(false);
    answered.Answer(user, line);
    user.clear();
    Finish();
}

void TCredentialsPrompt::Finish()
{
    if (OnEnd)
        OnEnd();
    Next();
}

// Only an echo this prompt turned off is turned on again.
void TCredentialsPrompt::SetEcho(bool on)
{
    termios mode {};
    if (on == !echoOff || tcgetattr(STDIN_FILENO, &mode) != 0)
        return;
    if (!on)
        TInterruptWatch::RestoreOnExit(mode);
    mode.c_lflag = on ? (mode.c_lflag | ECHO) : (mode.c_lflag & ~tcflag_t(ECHO));
    if (tcsetattr(STDIN_FILENO, TCSANOW, &mode) == 0)
        echoOff = !on;
}
