#include "services/InstanceManager.h"

#include "platform/base/Guard.h"
#include "platform/instance/HandOverServer.h"
#include "platform/instance/InstanceFiles.h"
#include "records/Url.h"

#include <utility>

TInstanceManager::TInstanceManager(THandOverWait wait) : wait(std::move(wait)) {}

TInstanceManager::~TInstanceManager()
{
    Guarded("destructor TInstanceManager.Destroy", [&] { Shutdown(); });
}

TInstanceManager::TStartup TInstanceManager::CheckInstance(const QByteArray& argument)
{
    TStartup result = StartFailed;
    Guarded("function TInstanceManager.CheckInstance(Argument: string): TStartup", [&] {
        error.clear();
        if (!PrepareRuntimeFolder(error))
            return;
        switch (lock.Acquire(InstanceLockPath())) {
        case TInstanceLock::Acquired:
            result = Serve(argument);
            return;
        case TInstanceLock::HeldElsewhere:
            result = HandOver(argument);
            return;
        case TInstanceLock::Failed:
            error = lock.Error();
            return;
        }
    });
    if (result == StartFailed)
        LogError("function TInstanceManager.CheckInstance(Argument: string): TStartup", error.toLocal8Bit().constData());
    return result;
}

TInstanceManager::TStartup TInstanceManager::Serve(const QByteArray& argument)
{
    server = std::make_unique<THandOverServer>();
    server->OnMessage = [this](const THandOverMessage& message) { Receive(message); };
    switch (server->Listen(HandOverSocketPath(), lock)) {
    case THandOverServer::Listening:
        return FirstInstance;
    case THandOverServer::LiveElsewhere:
        // An instance whose lock file was removed behind it still serves: it stays
        // the one instance and gets the argument.
        server.reset();
        lock.Release();
        return HandOver(argument);
    case THandOverServer::Failed:
        break;
    }
    error = server->Error();
    server.reset();
    lock.Release();
    return StartFailed;
}

TInstanceManager::TStartup TInstanceManager::HandOver(const QByteArray& argument)
{
    const THandOverResult sent = SendHandOver(HandOverSocketPath(), argument, 0, wait);
    // Not reaching the first instance within the wait also counts as done.
    return !sent.Connected || sent.Reply > 0 ? HandedOver : NotHandedOver;
}

void TInstanceManager::Receive(const THandOverMessage& message)
{
    Guarded("procedure TInstanceManager.Receive(Message: TWMCopyData)", [&] {
        ReceivedText = QString::fromLocal8Bit(message.Text);
        ReceivedData = message.Data;
        if (const auto handler = OnNewInstance) // a copy: the handler may destroy us
            handler();
    });
}

void TInstanceManager::Shutdown()
{
    Guarded("procedure TInstanceManager.Shutdown", [&] {
        server.reset();
        ReceivedText.clear();
    });
}

bool CheckInstances(const QString& text, const TAddDownload& addDownload)
{
    bool added = false;
    Guarded("procedure TForm_Splash.CheckInstances", [&] {
        const TUrl url(text);
        if (url.Protocol != QLatin1String("http") && url.Protocol != QLatin1String("https")
            && url.Protocol != QLatin1String("ftp"))
            return;
        if (addDownload)
            addDownload(url);
        added = true;
    });
    return added;
}
