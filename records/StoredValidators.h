#pragma once
#include "platform/ini/IniContent.h"
#include "records/RemoteValidators.h"

// The validators of a record file follow its other keys: "Validators" holds their
// number, then each server's Host, ETag and LastModified, numbered from 1.
THostValidatorList ReadStoredValidators(const TIniContent& content);
// How many entries the file holds now (0 for a record that never had any).
qint64 StoredValidatorCount(const TIniContent& content);
// Appends the list's keys. A record without any (an FTP download) gets no keys it did
// not have before; entries the file still holds beyond the list are blanked, so that
// no stale validator is left.
void AppendStoredValidators(TIniContent::Values& values, const THostValidatorList& list, qint64 storedBefore);
