#pragma once
#include "platform/instance/HandOverClient.h"
#include "platform/instance/InstanceLock.h"

#include <QByteArray>
#include <QString>
#include <functional>
#include <memory>

class THandOverServer;
struct THandOverMessage;
class TUrl;

// Only one instance runs per user. The start-up check decides which one this is: the
// first instance holds the instance lock for its life and serves hand-overs; a later
// one hands its first command-line argument to the first and, when that counts as
// done, ends.
class TInstanceManager {
public:
    enum TStartup {
        // Holds the lock and serves: start the program.
        FirstInstance,
        // A later instance whose hand-over counts as done (answered, or the first
        // instance could not be reached within the wait): end with exit code 0.
        HandedOver,
        // A later instance whose message was not taken (no answer, or an answer of 0):
        // go on starting, without serving.
        NotHandedOver,
        // The lock or the socket could not be set up: the program does not start;
        // Error() says why.
        StartFailed,
    };

    explicit TInstanceManager(THandOverWait wait = {});
    TInstanceManager(const TInstanceManager&) = delete;
    TInstanceManager& operator=(const TInstanceManager&) = delete;
    ~TInstanceManager();

    // The start-up check, once per process. argument is the first command-line
    // argument as given (empty when there is none). A first instance serves on the
    // event loop, so the application object must exist.
    TStartup CheckInstance(const QByteArray& argument);
    bool IsFirstInstance() const { return server != nullptr; }
    // Stops serving (the socket file goes) and clears ReceivedText. The lock stays
    // held until the manager is destroyed, as the process ends.
    void Shutdown();
    const QString& Error() const { return error; }

    // The last text received, up to its first NUL, and its dwData (always 0 from this
    // program; kept, not used).
    QString ReceivedText;
    quint64 ReceivedData = 0;
    // Raised for every text received; unset, the text is only stored. The handler may
    // destroy the manager.
    std::function<void()> OnNewInstance;

private:
    TStartup HandOver(const QByteArray& argument);
    TStartup Serve(const QByteArray& argument);
    void Receive(const THandOverMessage& message);

    THandOverWait wait;
    TInstanceLock lock;
    std::unique_ptr<THandOverServer> server;
    QString error;
};

// Hands a URL on to the download system, which creates the record.
using TAddDownload = std::function<void(const TUrl& url)>;

// What the first instance does with a text handed over (and, once after start, with
// its own first argument): an "http", "https" or "ftp" URL goes to addDownload with
// its control characters encoded; anything else ("/uninstall", a file path, an empty
// text) is ignored. True when the URL was passed on.
bool CheckInstances(const QString& text, const TAddDownload& addDownload);
