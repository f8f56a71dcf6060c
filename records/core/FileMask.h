#pragma once
#include <string>

// File-name masks as the browser integration and the clipboard monitor use them:
// "*" matches any run of characters (also none), "?" exactly one character (a whole
// UTF-8 sequence), everything else itself with ASCII letter case ignored.
bool MatchesMask(const std::string& text, const std::string& mask);

// True when text matches one of the masks in a list separated by blanks
// ("exe zip r0*"); empty entries match nothing.
bool MatchesAnyMask(const std::string& text, const std::string& maskList);
