#pragma once
#include <QStringList>

// corvane list: one line per known download (status, size, bytes done, target, URL
// with its password masked), oldest first, read from the record files without changing
// any. Returns the exit status: 0, or 2 for a usage error.
int RunListCommand(const QStringList& arguments);
