#pragma once
#include <QString>
#include <QStringList>

// Splits a command line as Windows programs split theirs. Arguments are separated
// by blanks and tabs; double quotes group, and "" inside quotes is a literal quote;
// 2n backslashes before a quote give n backslashes and the quote groups, 2n+1 give n
// backslashes and a literal quote; other backslashes stand as they are. The first
// argument, the program, knows quotes but no backslash escapes.
QStringList SplitCommandLine(const QString& commandLine);

// Starts the program (found on PATH unless the name holds a "/") with its arguments
// as they stand, no shell in between. It runs detached: in a session of its own, not
// our child, so it leaves no zombie, and we do not wait for it. False when there is
// no such program or it could not be started.
bool StartDetached(const QStringList& arguments);

// Starts a command line's program detached (SplitCommandLine, StartDetached).
bool ExecuteCommandLine(const QString& commandLine);

// Opens a URL or document with the desktop's "open" action (xdg-open).
bool Callbrowser(const QString& url);
