#include "app/InterruptWatch.h"

#include "platform/base/Guard.h"

#include <QSocketNotifier>
#include <atomic>
#include <csignal>
#include <fcntl.h>
#include <termios.h>
#include <unistd.h>

namespace {
int pipeEnds[2] = {-1, -1};
std::atomic<int> signalsSeen {0};
std::atomic<bool> restoreTerminal {false};
termios savedTerminal {};

extern "C" void OnSignal(int)
{
    if (signalsSeen.fetch_add(1) > 0) {
        if (restoreTerminal.load())
            tcsetattr(STDIN_FILENO, TCSANOW, &savedTerminal);
        _exit(InterruptedExitStatus);
    }
    const char byte = 1;
    [[maybe_unused]] const ssize_t written = write(pipeEnds[1], &byte, 1);
}

void Handle(void (*handler)(int))
{
    struct sigaction action {};
    action.sa_handler = handler;
    sigemptyset(&action.sa_mask);
    action.sa_flags = SA_RESTART;
    sigaction(SIGINT, &action, nullptr);
    sigaction(SIGTERM, &action, nullptr);
}
}

TInterruptWatch::TInterruptWatch()
{
    Guarded("constructor TInterruptWatch.Create", [&] {
        if (pipeEnds[0] < 0 && pipe2(pipeEnds, O_CLOEXEC | O_NONBLOCK) != 0)
            return;
        signalsSeen = 0;
        notifier = std::make_unique<QSocketNotifier>(pipeEnds[0], QSocketNotifier::Read);
        QObject::connect(notifier.get(), &QSocketNotifier::activated, notifier.get(), [this] {
            char bytes[16];
            while (read(pipeEnds[0], bytes, sizeof bytes) > 0) {
            }
            if (const auto handler = OnInterrupt)
                handler();
        });
        Handle(OnSignal);
    });
}

TInterruptWatch::~TInterruptWatch()
{
    Guarded("destructor TInterruptWatch.Destroy", [&] { Handle(SIG_DFL); });
}

void TInterruptWatch::RestoreOnExit(const termios& mode)
{
    savedTerminal = mode;
    restoreTerminal = true;
}
