#pragma once
#include <QString>

// General functions that depend on the user's settings.

// True when ext (an extension without its dot, "zip") matches one of the masks of the
// Extensions setting ("*" any run, "?" one character, letter case ignored).
bool ValidExtension(const QString& ext);

// Today's date folder name from Date1..Date3 ("Year" four digits, "Month" and "Day" two,
// anything else nothing) and DateDivider1..2 ("none" for no divider): 12-10-2026 with
// the defaults on 10 December 2026.
QString GetDateFolderName();
