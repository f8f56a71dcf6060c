#include "app/GetCommand.h"

#include "app/CliText.h"
#include "app/GetOptions.h"
#include "app/GetOutput.h"
#include "app/GetSession.h"
#include "app/InterruptWatch.h"
#include "app/Startup.h"
#include "engine/CombineParts.h"
#include "engine/MirrorPing.h"
#include "platform/instance/HandOverClient.h"
#include "platform/instance/InstanceFiles.h"
#include "records/Settings.h"
#include "services/InstanceManager.h"

namespace {
// How long the end waits for workers still running (a join stopping, a ping).
constexpr int WorkerWaitMs = 5000;

// The first URL went with the start-up check; the others follow one by one. Said also
// with -q: it is this run's summary.
int HandOver(const TGetOptions& options)
{
    for (qsizetype i = 1; i < options.Urls.size(); ++i)
        SendHandOver(HandOverSocketPath(), options.Urls[i].toLocal8Bit());
    PrintLine(QStringLiteral("Another instance of corvane is running; handed %1 URL(s) to it")
                  .arg(options.Urls.size()));
    if (!options.LocalOnly.isEmpty())
        PrintLine(QStringLiteral("Not applied there: %1 (only a URL is handed over)").arg(options.LocalOnly.join(", ")));
    return 0;
}

int Download(const TGetOptions& options, TInstanceManager& instance)
{
    PrepareProgram();
    const std::unique_ptr<TGetOutput> output = TGetOutput::Create(options.Quiet);
    TGetSession session(options, *output);
    instance.OnNewInstance = [&] { session.HandedOver(instance.ReceivedText); };
    TInterruptWatch interrupts;
    interrupts.OnInterrupt = [&] { session.Interrupt(); };
    const int status = session.Run();
    instance.OnNewInstance = nullptr;
    instance.Shutdown();
    return status;
}
}

int RunGetCommand(const QStringList& arguments)
{
    const TParsedGet parsed = ParseGetArguments(arguments, Read(Setting::DefaultDownloadDirectory));
    if (!parsed.Options) {
        PrintError("corvane get: " + parsed.Error);
        PrintErrorLines(GetUsage);
        return 2;
    }
    const TGetOptions& options = *parsed.Options;
    if (options.Help) {
        PrintLines(GetUsage);
        return 0;
    }
    TInstanceManager instance;
    int status = 1;
    switch (instance.CheckInstance(options.Urls.first().toLocal8Bit())) {
    case TInstanceManager::HandedOver:
        return HandOver(options);
    case TInstanceManager::StartFailed:
        PrintError("corvane get: " + instance.Error());
        return 1;
    case TInstanceManager::FirstInstance:
    case TInstanceManager::NotHandedOver:
        status = Download(options, instance);
        break;
    }
    // Nothing of a worker may still run while the program's statics go.
    TCombineParts::WaitForThreads(WorkerWaitMs);
    TMirrorPing::WaitForThreads(WorkerWaitMs);
    return status;
}
