#pragma once
#include <QString>
#include <QStringList>
#include <memory>

// Flags of TWinReboot::WinExit, as the callers know them.
enum TWinExitFlags : unsigned {
    EWX_LOGOFF = 0,
    EWX_SHUTDOWN = 1,
    EWX_REBOOT = 2,
    EWX_FORCE = 4,
    EWX_POWEROFF = 8,
};

enum class TSessionEnd { LogOff, PowerOff, Reboot };

// What actually ends the session or stops the machine; tests put a recorder in its place.
class TPowerControl {
public:
    virtual ~TPowerControl() = default;
    // True when the system accepted the request. force: do not let other programs
    // delay or veto it.
    virtual bool EndSession(TSessionEnd end, bool force) = 0;
};

// Asks logind by command (systemctl poweroff / reboot, loginctl terminate-session).
class TSystemdPowerControl : public TPowerControl {
public:
    bool EndSession(TSessionEnd end, bool force) override;
    // The command line for a request, program first.
    static QStringList Command(TSessionEnd end, bool force);
};

// The control WinExit uses; the systemd one until replaced. Returns the one replaced.
TPowerControl& PowerControl();
std::unique_ptr<TPowerControl> SetPowerControl(std::unique_ptr<TPowerControl> control);

class TWinReboot {
public:
    // Processes here need no privilege to ask logind, which decides by its own policy;
    // so adjusting one always succeeds and changes nothing.
    static bool SetPrivilege(const QString& privilegeName, bool enable);
    // Asks the system to end the session as the flags say (EWX_POWEROFF after the
    // last download); true when the request was accepted.
    static bool WinExit(unsigned flags);
};
