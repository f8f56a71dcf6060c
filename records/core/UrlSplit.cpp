#include "records/core/UrlSplit.h"

#include <algorithm>
#include <cctype>

namespace {
constexpr std::string_view SchemeSeparator = "://";

bool IsSchemeName(std::string_view text)
{
    if (text.empty() || !std::isalpha(static_cast<unsigned char>(text.front())))
        return false;
    for (const char c : text) {
        const auto u = static_cast<unsigned char>(c);
        if (!std::isalnum(u) && c != '+' && c != '-' && c != '.')
            return false;
    }
    return true;
}

// Where "://" ends a scheme name. A "://" that follows anything else (a query holding
// another URL, for instance) does not make the text before it a protocol.
size_t FindSchemeSeparator(std::string_view text)
{
    const size_t at = text.find(SchemeSeparator);
    if (at == std::string_view::npos || !IsSchemeName(text.substr(0, at)))
        return std::string_view::npos;
    return at;
}

// What a text without a scheme is read with: "ftp..." as ftp://, "www..." as http://.
std::string_view AssumedScheme(std::string_view text)
{
    if (FindSchemeSeparator(text) != std::string_view::npos)
        return {};
    if (text.starts_with("ftp"))
        return "ftp://";
    if (text.starts_with("www"))
        return "http://";
    return {};
}

std::string Lower(std::string_view text)
{
    std::string result(text);
    for (char& c : result)
        c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return result;
}

// A port is 1 to 5 decimal digits up to 65535; anything else is no number.
bool ParsePort(std::string_view text, int& port)
{
    if (text.empty() || text.size() > 5)
        return false;
    int value = 0;
    for (const char c : text) {
        if (c < '0' || c > '9')
            return false;
        value = value * 10 + (c - '0');
    }
    if (value > 65535)
        return false;
    port = value;
    return true;
}

bool IsHttp(std::string_view protocol)
{
    return protocol == "http" || protocol == "https";
}

void SplitUserInfo(std::string_view userInfo, TUrlParts& parts)
{
    const size_t colon = userInfo.find(':');
    if (colon == std::string_view::npos) {
        parts.User = std::string(userInfo);
        return;
    }
    parts.User = std::string(userInfo.substr(0, colon));
    parts.Password = std::string(userInfo.substr(colon + 1));
}

// Host and port of "host", "host:port", "[v6]" or "[v6]:port". A port text that is no
// number leaves port 0 and the host text as it stands.
void SplitHostPort(std::string_view hostPort, TUrlParts& parts)
{
    std::string_view host = hostPort;
    std::string_view rest;
    if (hostPort.starts_with('[')) {
        const size_t close = hostPort.find(']');
        if (close != std::string_view::npos) {
            host = hostPort.substr(1, close - 1);
            rest = hostPort.substr(close + 1);
        }
    } else if (const size_t colon = hostPort.find(':'); colon != std::string_view::npos) {
        host = hostPort.substr(0, colon);
        rest = hostPort.substr(colon);
    }
    if (rest.empty()) {
        parts.Host = std::string(host);
        if (const int port = DefaultPort(parts.Protocol))
            parts.Port = port;
        return;
    }
    if (rest.starts_with(':') && ParsePort(rest.substr(1), parts.Port)) {
        parts.Host = std::string(host);
        return;
    }
    parts.Port = 0;
    parts.Host = std::string(hostPort);
}

// Hex digits, ":" and "." with at least one ":", then perhaps "%" and a zone
// ("fe80::1%25eth0"), which may hold any letters.
bool LooksLikeIPv6(std::string_view host)
{
    const std::string_view address = host.substr(0, host.find('%'));
    if (address.find(':') == std::string_view::npos)
        return false;
    for (const char c : address) {
        if (!std::isxdigit(static_cast<unsigned char>(c)) && c != ':' && c != '.')
            return false;
    }
    return true;
}

// Authority (user information, host, port) and the rest after "scheme://".
void SplitAfterScheme(std::string_view text, TUrlParts& parts)
{
    text = text.substr(0, text.find('#'));
    const size_t authorityEnd = std::min(text.find_first_of("/?"), text.size());
    std::string_view authority = text.substr(0, authorityEnd);
    std::string path(text.substr(authorityEnd));

    if (const size_t at = authority.rfind('@'); at != std::string_view::npos) {
        SplitUserInfo(authority.substr(0, at), parts);
        authority = authority.substr(at + 1);
    }
    SplitHostPort(authority, parts);

    if (!path.starts_with('/'))
        path.insert(0, 1, '/');
    const size_t lastSlash = path.rfind('/');
    parts.Dir = path.substr(0, lastSlash + 1);
    parts.FileName = path.substr(lastSlash + 1);
}
}

int DefaultPort(std::string_view protocol)
{
    if (protocol == "http")
        return 80;
    if (protocol == "https")
        return 443;
    if (protocol == "ftp")
        return 21;
    return 0;
}

TUrlParts SplitUrl(std::string_view text, const std::string& unknownProtocol)
{
    TUrlParts parts;
    parts.Protocol = unknownProtocol;
    const std::string url = std::string(AssumedScheme(text)).append(text);
    const size_t separator = FindSchemeSeparator(url);
    if (separator == std::string::npos)
        return parts;

    parts.Protocol = Lower(std::string_view(url).substr(0, separator));
    SplitAfterScheme(std::string_view(url).substr(separator + SchemeSeparator.size()), parts);
    parts.Extension = ExtensionOf(parts.FileName);
    if (IsHttp(parts.Protocol)) {
        if (const size_t question = parts.FileName.find('?'); question != std::string::npos) {
            parts.Query = parts.FileName.substr(question);
            parts.FileName.resize(question);
        }
    }
    return parts;
}

std::string JoinUrl(const TUrlParts& parts)
{
    std::string url = parts.Protocol + "://";
    if (!parts.User.empty()) {
        url += parts.User;
        if (!parts.Password.empty())
            url += ":" + parts.Password;
        url += "@";
    }
    url += LooksLikeIPv6(parts.Host) ? "[" + parts.Host + "]" : parts.Host;
    url += ":" + std::to_string(parts.Port);
    return url + parts.Dir + parts.FileName + parts.Query;
}

std::string EncodeControlCharacters(std::string_view text)
{
    static constexpr char Hex[] = "0123456789ABCDEF";
    std::string result;
    result.reserve(text.size());
    for (const char c : text) {
        const auto u = static_cast<unsigned char>(c);
        if (u >= 0x20 && u != 0x7F) {
            result += c;
            continue;
        }
        result += '%';
        result += Hex[u >> 4];
        result += Hex[u & 0x0F];
    }
    return result;
}

std::string MaskUrlPassword(std::string_view text)
{
    // Read as SplitUrl reads it, so "ftpuser:secret@host" is masked too.
    const std::string_view assumed = AssumedScheme(text);
    std::string result = std::string(assumed).append(text);
    const size_t separator = FindSchemeSeparator(result);
    if (separator == std::string::npos)
        return std::string(text);
    const size_t start = separator + SchemeSeparator.size();
    const size_t end = std::min(result.find_first_of("/?#", start), result.size());
    const size_t at = std::string_view(result).substr(0, end).rfind('@');
    const size_t colon = at == std::string::npos || at < start ? std::string::npos : result.find(':', start);
    if (colon < at && colon + 1 < at)
        result.replace(colon + 1, at - colon - 1, "****");
    return result.substr(assumed.size());
}

std::string ExtractFileExt(std::string_view path)
{
    const size_t dot = path.rfind('.');
    const size_t slash = path.rfind('/');
    if (dot == std::string_view::npos || (slash != std::string_view::npos && dot < slash))
        return {};
    return std::string(path.substr(dot));
}

std::string ExtensionOf(std::string_view fileName)
{
    std::string extension = ExtractFileExt(fileName);
    std::erase(extension, '.');
    return extension;
}
