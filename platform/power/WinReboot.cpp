#include "platform/power/WinReboot.h"

#include "platform/base/Guard.h"

#include <QProcess>

namespace {
// systemctl returns once logind has taken the request; this only bounds a hang.
constexpr int CommandTimeoutMs = 30000;

std::unique_ptr<TPowerControl>& CurrentControl()
{
    static std::unique_ptr<TPowerControl> control = std::make_unique<TSystemdPowerControl>();
    return control;
}

TSessionEnd SessionEndOf(unsigned flags)
{
    if (flags & EWX_REBOOT)
        return TSessionEnd::Reboot;
    if (flags & (EWX_POWEROFF | EWX_SHUTDOWN))
        return TSessionEnd::PowerOff;
    return TSessionEnd::LogOff;
}
}

QStringList TSystemdPowerControl::Command(TSessionEnd end, bool force)
{
    switch (end) {
    case TSessionEnd::LogOff: {
        const QString session = qEnvironmentVariable("XDG_SESSION_ID");
        return {"loginctl", "terminate-session", session};
    }
    case TSessionEnd::Reboot:
        return force ? QStringList{"systemctl", "reboot", "--ignore-inhibitors"} : QStringList{"systemctl", "reboot"};
    case TSessionEnd::PowerOff:
        break;
    }
    return force ? QStringList{"systemctl", "poweroff", "--ignore-inhibitors"} : QStringList{"systemctl", "poweroff"};
}

bool TSystemdPowerControl::EndSession(TSessionEnd end, bool force)
{
    bool accepted = false;
    Guarded("function TSystemdPowerControl.EndSession: boolean", [&] {
        const QStringList command = Command(end, force);
        if (command.last().isEmpty())
            return; // no session to end
        QProcess process;
        process.start(command.first(), command.mid(1));
        accepted = process.waitForFinished(CommandTimeoutMs) && process.exitStatus() == QProcess::NormalExit &&
                   process.exitCode() == 0;
    });
    return accepted;
}

TPowerControl& PowerControl()
{
    return *CurrentControl();
}

std::unique_ptr<TPowerControl> SetPowerControl(std::unique_ptr<TPowerControl> control)
{
    std::swap(CurrentControl(), control);
    return control;
}

bool TWinReboot::SetPrivilege(const QString&, bool)
{
    return true;
}

bool TWinReboot::WinExit(unsigned flags)
{
    bool accepted = false;
    Guarded("function TWinReboot.WinExit(Flags: Cardinal): Boolean", [&] {
        SetPrivilege("SeShutdownPrivilege", true);
        accepted = PowerControl().EndSession(SessionEndOf(flags), flags & EWX_FORCE);
        SetPrivilege("SeShutdownPrivilege", false);
    });
    return accepted;
}
