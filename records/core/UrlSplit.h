#pragma once
#include <string>
#include <string_view>

// Splitting URL text into its parts, without Qt: the program's TUrl and the browser
// libraries read URLs the same way. Text is UTF-8; nothing here decodes "%XX".

struct TUrlParts {
    std::string Protocol; // lower-cased scheme, or the caller's "unknown" text
    std::string User, Password;
    std::string Host;     // without port; an IPv6 literal without its brackets
    int Port = 0;
    std::string Dir;      // from the first "/" up to and including the last one; at least "/"
    std::string FileName; // after the last "/"; for http(s) cut before the first "?"
    std::string Query;    // what was cut off FileName ("?..."), still part of the request
    std::string Extension; // of the uncut file name, without dots
};

// Splits text as the download engine reads a URL. A text without a scheme ("://"
// after a valid scheme name) gets unknownProtocol and empty parts; a text starting
// with "ftp" or "www" is read as ftp:// or http:// respectively. User information and
// port are looked for only in the authority, and a "#fragment" is dropped.
TUrlParts SplitUrl(std::string_view text, const std::string& unknownProtocol);

// Protocol "://" [User [":" Password] "@"] Host ":" Port Dir FileName Query, with the
// port always written.
std::string JoinUrl(const TUrlParts& parts);

// 80 for http, 443 for https, 21 for ftp, 0 otherwise.
int DefaultPort(std::string_view protocol);

// Every byte below 0x20 and DEL as "%XX", so URL text from outside reaches no request
// line, command line or record file with a line break or NUL in it.
std::string EncodeControlCharacters(std::string_view text);

// The URL text with the password of its user information replaced by "****"; other
// text comes back unchanged.
std::string MaskUrlPassword(std::string_view text);

// The extension of the last component of a path, with its dot (".zip"); empty when
// that component has no ".".
std::string ExtractFileExt(std::string_view path);
// The extension of a file name without any dot ("zip" for "a.zip").
std::string ExtensionOf(std::string_view fileName);
