#pragma once
#include <QStringList>

// corvane config [NAME [VALUE]]: lists, reads or writes a setting of section Options.
// Returns the exit status: 0, or 2 for a usage error (unknown name, bad value).
int RunConfigCommand(const QStringList& arguments);
