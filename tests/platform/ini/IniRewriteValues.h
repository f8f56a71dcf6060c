#pragma once
#include "platform/ini/IniFile.h"

// The nine keys of a download record, in two versions; the description is long so
// that a rewrite takes a while and a kill lands inside one often.
inline TIniFile::Values RewriteValues(int version)
{
    const QString v = QString::number(version);
    return {{"URL", "http://example.org/file" + v + ".zip"},
            {"LocalFileName", "/home/user/Downloads/file" + v + ".zip"},
            {"Status", version ? "Paused" : "Downloading"},
            {"FileSize", version ? "123456789" : "42"},
            {"NumOfParts", version ? "4" : "-1"},
            {"Category", "Category " + v},
            {"LastActivity", "2026-12-10 12:0" + v + ":00"},
            {"Created", "2026-12-10 11:00:00"},
            {"Description", QString(256 * 1024, QChar(u'a' + version))}};
}
