#include "records/core/SettingsStore.h"

#include "platform/base/Guard.h"
#include "platform/base/Paths.h"
#include "platform/registry/Registry.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <map>
#include <optional>

namespace SettingsStore {
namespace {
constexpr const char* ProgramKey = "Software\\Corvane";
constexpr const char* ProtocolHandler = "CorvaneNS.ProtocolHandler";
constexpr const char* IgnoreLinks = "IgnoreLinks";

// The section is appended below the program's key; the hive has no "..", so no
// section reaches outside it.
std::string SectionKey(const std::string& section)
{
    return section.empty() ? std::string(ProgramKey) : std::string(ProgramKey) + "\\" + section;
}

template <class T, class Get>
T ReadWith(const char* signature, const std::string& section, const std::string& name, T defaultValue, Get get)
{
    T result = defaultValue;
    Guarded(signature, [&] {
        const std::optional<TRegValue> stored = TRegistry().ReadValueAt(SectionKey(section), name);
        if (!stored)
            return;
        if (const std::optional<T> value = get(*stored))
            result = *value;
    });
    return result;
}

// Opens key (created when missing) and runs put on it; a refusal goes to LogError.
template <class Put>
bool WriteWith(const char* signature, THiveRoot root, const std::string& key, Put put)
{
    bool written = false;
    Guarded(signature, [&] {
        TRegistry reg(root);
        written = reg.OpenKey(key, true) && put(reg);
        if (!written)
            LogError(signature, "the settings hive refused the write");
    });
    return written;
}

std::string EncodeDouble(double value)
{
    uint64_t bits;
    std::memcpy(&bits, &value, sizeof bits);
    std::string bytes(8, '\0');
    for (int i = 0; i < 8; ++i)
        bytes[size_t(i)] = char((bits >> (8 * i)) & 0xFF);
    return bytes;
}

double DecodeDouble(const std::string& bytes)
{
    uint64_t bits = 0;
    for (int i = 7; i >= 0; --i)
        bits = (bits << 8) | static_cast<unsigned char>(bytes[size_t(i)]);
    double value;
    std::memcpy(&value, &bits, sizeof value);
    return value;
}

// "12" -> 12; nothing for "", "012", "+1" or "x": names the links are never stored under.
std::optional<int64_t> CanonicalNumber(const std::string& name)
{
    if (name.empty() || name.size() > 10 || name[0] == '0' ||
        !std::all_of(name.begin(), name.end(), [](char c) { return c >= '0' && c <= '9'; }))
        return std::nullopt;
    return std::stoll(name);
}
}

bool ReadBool(const std::string& section, const std::string& name, bool defaultValue)
{
    return ReadWith("function ReadBool: boolean", section, name, defaultValue,
                    [](const TRegValue& stored) -> std::optional<bool> {
                        const auto value = stored.AsDword();
                        return value ? std::optional<bool>(*value != 0) : std::nullopt;
                    });
}

bool WriteBool(const std::string& section, const std::string& name, bool value)
{
    return WriteWith("procedure WriteBool", HKEY_CURRENT_USER, SectionKey(section),
                     [&](TRegistry& reg) { return reg.WriteDword(name, value ? 1 : 0); });
}

int32_t ReadInteger(const std::string& section, const std::string& name, int32_t defaultValue)
{
    return ReadWith("function ReadInteger: integer", section, name, defaultValue,
                    [](const TRegValue& stored) { return stored.AsInteger(); });
}

bool WriteInteger(const std::string& section, const std::string& name, int32_t value)
{
    return WriteWith("procedure WriteInteger", HKEY_CURRENT_USER, SectionKey(section),
                     [&](TRegistry& reg) { return reg.WriteInteger(name, value); });
}

std::string ReadString(const std::string& section, const std::string& name, const std::string& defaultValue)
{
    return ReadWith("function ReadString: string", section, name, defaultValue,
                    [](const TRegValue& stored) -> std::optional<std::string> {
                        auto value = stored.AsString();
                        return value && !value->empty() ? value : std::nullopt;
                    });
}

bool WriteString(const std::string& section, const std::string& name, const std::string& value)
{
    return WriteWith("procedure WriteString", HKEY_CURRENT_USER, SectionKey(section),
                     [&](TRegistry& reg) { return reg.WriteString(name, value); });
}

TDateTime ReadDateTime(const std::string& section, const std::string& name, TDateTime defaultValue)
{
    // Eight bytes that are no number (NaN, infinity) are no date either.
    return ReadWith("function ReadDateTime: TDateTime", section, name, defaultValue,
                    [](const TRegValue& stored) -> std::optional<TDateTime> {
                        const auto bytes = stored.AsBinary();
                        if (!bytes || bytes->size() != 8)
                            return std::nullopt;
                        const double value = DecodeDouble(*bytes);
                        return std::isfinite(value) ? std::optional<TDateTime>(value) : std::nullopt;
                    });
}

bool WriteDateTime(const std::string& section, const std::string& name, TDateTime value)
{
    return WriteWith("procedure WriteDateTime", HKEY_CURRENT_USER, SectionKey(section),
                     [&](TRegistry& reg) { return reg.WriteBinaryData(name, EncodeDouble(value)); });
}

bool SetProgramPath()
{
    return WriteWith("procedure SetProgramPath", HKEY_CURRENT_USER, ProgramKey,
                     [](TRegistry& reg) { return reg.WriteString("Path", ExecutablePath()); });
}

bool WriteNSRegistrySettings()
{
    return WriteWith("procedure WriteNSRegistrySettings", HKEY_CURRENT_USER,
                     "Software\\Netscape\\Netscape Navigator\\Automation Protocols", [](TRegistry& reg) {
                         return reg.WriteString("ftp", ProtocolHandler) && reg.WriteString("http", ProtocolHandler);
                     });
}

bool CreateIERightClickEntry()
{
    constexpr uint32_t ImagesAndLinks = 0x02 | 0x20;
    return WriteWith("procedure CreateIERightClickEntry", HKEY_CURRENT_USER,
                     "Software\\Microsoft\\Internet Explorer\\MenuExt\\Download with Corvane", [](TRegistry& reg) {
                         return reg.WriteString("", DataFolder() + "corvaneie.htm") &&
                                reg.WriteDword("contexts", ImagesAndLinks);
                     });
}

void AddIgnoredLink(const std::string& url)
{
    Guarded("procedure AddIgnoredLink", [&] {
        // Wraps like the 32-bit counter it is instead of overflowing.
        const int32_t count = int32_t(uint32_t(ReadInteger(IgnoreLinks, "count", 0)) + 1);
        WriteInteger(IgnoreLinks, "count", count);
        WriteString(IgnoreLinks, std::to_string(count), url);
    });
}

std::vector<std::string> ReadIgnoredLinks()
{
    std::vector<std::string> links;
    Guarded("function ReadIgnoredLinks: TStringList", [&] {
        const int64_t count = ReadInteger(IgnoreLinks, "count", 0);
        TRegistry reg;
        if (count <= 0 || !reg.OpenKeyReadOnly(SectionKey(IgnoreLinks)))
            return;
        // Walk the stored names rather than 1 ... count: a huge count costs nothing.
        std::map<int64_t, std::string> numbered;
        for (const std::string& name : reg.GetValueNames()) {
            const auto number = CanonicalNumber(name);
            if (!number || *number > count)
                continue;
            if (auto url = reg.ReadString(name); url && !url->empty())
                numbered[*number] = std::move(*url);
        }
        for (auto& entry : numbered)
            links.push_back(std::move(entry.second));
    });
    return links;
}

}
