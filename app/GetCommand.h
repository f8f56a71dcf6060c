#pragma once
#include <QStringList>

// corvane get [-d DIR | -o FILE] [-n PARTS] [--no-mirrors] [-q] URL...: downloads the
// URLs without any window, or hands them to the instance already running. Returns the
// exit status: 0 all done (or handed over), 1 some failed, 2 usage, 130 interrupted.
int RunGetCommand(const QStringList& arguments);
