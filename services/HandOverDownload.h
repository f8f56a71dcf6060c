#pragma once
#include <QString>

class TDownloadSystem;

// What the first instance does with a text a later start handed over (and with its own
// first argument): an http, https or ftp URL becomes a new download record added to
// the download system, with the list refreshed; anything else is ignored. True when a
// download was added.
bool AddHandedOverDownload(TDownloadSystem& system, const QString& text);
