#pragma once
#include "platform/base/Clock.h"

#include <cstdint>
#include <string>
#include <vector>

// The program's settings in the registry hive, below HKEY_CURRENT_USER\Software\Corvane.
// A section ("Options", "IgnoreLinks", "Form_Main Position") names a key below it; ""
// is Software\Corvane itself. Every read goes to the hive at the time of the call and
// gives the caller's default for anything missing, of another type or of the wrong
// size; nothing is created before the first write. A failed write is handed to
// LogError and reported as false. Text is UTF-8.
//
// Plain C++ so the browser libraries read the same settings; the program uses the
// QString versions in records/Settings.h.
namespace SettingsStore {

// REG_DWORD; any value other than 0 is true.
bool ReadBool(const std::string& section, const std::string& name, bool defaultValue);
bool WriteBool(const std::string& section, const std::string& name, bool value);
// REG_DWORD, signed 32-bit.
int32_t ReadInteger(const std::string& section, const std::string& name, int32_t defaultValue);
bool WriteInteger(const std::string& section, const std::string& name, int32_t value);
// REG_SZ, or REG_EXPAND_SZ read as stored. An empty text reads as the default.
std::string ReadString(const std::string& section, const std::string& name, const std::string& defaultValue);
bool WriteString(const std::string& section, const std::string& name, const std::string& value);
// REG_BINARY of exactly 8 bytes: a little-endian IEEE-754 double of days since 1899-12-30.
TDateTime ReadDateTime(const std::string& section, const std::string& name, TDateTime defaultValue);
bool WriteDateTime(const std::string& section, const std::string& name, TDateTime value);

// The desktop's proxies (http_proxy, ftp_proxy) as one text: "host:port" when both are
// the same, else "http=host:port;ftp=host:port" with what is set; "" for none.
std::string ReadProxySettings();
// True when http_proxy or ftp_proxy names a proxy.
bool UseProxySettings();
// True when host is reached without a proxy: loopback names and addresses, and the
// hosts no_proxy lists ("*", domain suffixes, addresses and CIDR ranges).
bool BypassesProxy(const std::string& host);

// Path under Software\Corvane: the running executable, for the browser libraries.
bool SetProgramPath();
// The automation-protocol handler entries for "ftp" and "http".
bool WriteNSRegistrySettings();
// The browser's context-menu entry: its page in the data folder, for images and links.
bool CreateIERightClickEntry();

// Section IgnoreLinks: count is raised first, then the URL stored under the new count.
void AddIgnoredLink(const std::string& url);
// The stored links "1" ... count, in that order; missing and empty ones are left out.
std::vector<std::string> ReadIgnoredLinks();

}
