#pragma once
#include <string>

// Where the program keeps its files. All folders come back with a trailing "/".

// "Program folder" files (cat.dat, mirrors.lst, serverstats.txt, LastURLs,
// Translations/, Partial Downloads/): $CORVANE_HOME, else $XDG_DATA_HOME/corvane,
// else ~/.local/share/corvane.
std::string DataFolder();
// The registry hive: $CORVANE_HOME/registry.db, else $XDG_CONFIG_HOME/corvane/registry.db.
std::string HivePath();
// Sockets and lock files of the running instance: $CORVANE_HOME, else
// $XDG_RUNTIME_DIR/corvane, else the data folder.
std::string RuntimeFolder();
// The desktop's download folder (~/Downloads unless the user's XDG settings say otherwise).
std::string DefaultDownloadFolder();
// The folder of the running executable, where shipped files (Translations/...) lie.
std::string ExecutableFolder();
std::string ExecutablePath();

std::string WithTrailingSeparator(const std::string& path);
// a + "/" + b with exactly one separator between them.
std::string JoinPath(const std::string& a, const std::string& b);
// Creates the folder and its parents; false when that fails (for example a regular
// file in the way).
bool MakeFolders(const std::string& path);
