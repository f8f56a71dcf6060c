#pragma once
#include "records/MirrorGroupLists.h"
#include "records/Url.h"

#include <QString>
#include <memory>

// The mirror list file itself: where it lies, the sample shipped with the program, and
// the mirrors it gives a download (records/MirrorGroupLists.h reads its lines).

// The mirrors of a download URL from the mirror list file, as a new list whose
// mirrors the caller frees; none (and the failure logged) when the file cannot be
// read. The file is read afresh each time so the user's edits count at once.
std::unique_ptr<TMirrorList> GetMirrors(const QString& url);

// mirrors.lst in the data folder.
QString MirrorListPath();
// The commented sample shipped beside the program, or in the installation's share
// folder.
QString ShippedMirrorListPath();
// Copies the shipped sample into the data folder when the user has no mirror list
// yet; true when it was copied.
bool InstallShippedMirrorList(const QString& shipped = ShippedMirrorListPath(),
                              const QString& target = MirrorListPath());
