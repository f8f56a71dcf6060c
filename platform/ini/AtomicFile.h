#pragma once
#include <QByteArray>
#include <QString>

// Replaces the file's content so that a crash at any moment leaves either the old or
// the new content, never a mix: the bytes go to a temporary file in the same folder,
// which is synced and renamed over the file; for a new file the folder is synced
// too (a power cut may then still undo the latest replacement, never half of it). A new file
// gets newFileMode (owner-only by default, since these files hold URLs and
// passwords); an existing one keeps its mode. False when the file is not writable or
// any step fails; the old content is then untouched.
bool WriteFileAtomically(const QString& path, const QByteArray& content, unsigned newFileMode = 0600);
