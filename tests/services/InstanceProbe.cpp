// Runs the single-instance start-up check with its first argument, as corvane does.
// A later instance ends with 0 when its hand-over counts as done, 3 when it would go
// on starting, 2 when the check failed. A first instance prints "first" and serves:
// every text it receives becomes one hex-encoded line in $PROBE_RECEIVED; "quit" ends it.
#include "services/InstanceManager.h"

#include <QCoreApplication>
#include <QFile>
#include <cstdio>

int main(int argc, char** argv)
{
    const QByteArray argument = argc > 1 ? QByteArray(argv[1]) : QByteArray();
    QCoreApplication app(argc, argv);
    TInstanceManager manager;
    switch (manager.CheckInstance(argument)) {
    case TInstanceManager::HandedOver:
        return 0;
    case TInstanceManager::NotHandedOver:
        return 3;
    case TInstanceManager::StartFailed:
        std::fprintf(stderr, "%s\n", manager.Error().toLocal8Bit().constData());
        return 2;
    case TInstanceManager::FirstInstance:
        break;
    }
    QFile log(QString::fromLocal8Bit(qgetenv("PROBE_RECEIVED")));
    if (!log.open(QIODevice::WriteOnly | QIODevice::Append))
        return 2;
    manager.OnNewInstance = [&] {
        log.write(manager.ReceivedText.toLocal8Bit().toHex() + '\n');
        log.flush();
        if (manager.ReceivedText == QLatin1String("quit"))
            app.quit();
    };
    std::printf("first\n");
    std::fflush(stdout);
    return app.exec();
}
