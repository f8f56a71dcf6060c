#pragma once
#include <QString>

// Where the running instance announces itself: both full paths in RuntimeFolder(),
// never a bare name (that would land in /tmp, shared by users and parallel tests).

// The file the first instance holds locked for its whole life.
QString InstanceLockPath();
// The first instance's hand-over socket.
QString HandOverSocketPath();

// Creates RuntimeFolder() and makes it owner-only (group and other bits removed).
// False, with the reason in error, when it cannot be created or belongs to another
// user: nobody else's folder is used for our socket.
bool PrepareRuntimeFolder(QString& error);
