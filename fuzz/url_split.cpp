// URL splitting: the parts keep their shape, a URL rebuilt from its parts splits
// into the same parts again, and masking hides exactly the password.
#include "fuzz/FuzzCheck.h"
#include "records/core/UrlSplit.h"

#include <string>

namespace {
const std::string Unknown = "Unknown";

bool Has(const std::string& text, std::string_view characters)
{
    return text.find_first_of(characters) != std::string::npos;
}

bool SameParts(const TUrlParts& a, const TUrlParts& b)
{
    return a.Protocol == b.Protocol && a.User == b.User && a.Password == b.Password && a.Host == b.Host &&
           a.Port == b.Port && a.Dir == b.Dir && a.FileName == b.FileName && a.Query == b.Query &&
           a.Extension == b.Extension;
}

void CheckShape(const TUrlParts& parts)
{
    FUZZ_CHECK(parts.Port >= 0 && parts.Port <= 65535);
    FUZZ_CHECK(!Has(parts.Extension, "./"));
    if (parts.Protocol == Unknown) {
        FUZZ_CHECK(parts.Host.empty() && parts.Dir.empty() && parts.FileName.empty() && parts.Port == 0);
        return;
    }
    FUZZ_CHECK(parts.Dir.starts_with('/') && parts.Dir.ends_with('/'));
    FUZZ_CHECK(!Has(parts.FileName, "/#"));
    FUZZ_CHECK(!Has(parts.Host, "/?#@"));
    FUZZ_CHECK(parts.Query.empty() || parts.Query.starts_with('?'));
    const bool http = parts.Protocol == "http" || parts.Protocol == "https";
    FUZZ_CHECK(http || parts.Query.empty());
    FUZZ_CHECK(!http || !Has(parts.FileName, "?"));
}

// A URL whose port text was no number keeps "host:text" as its host, and a bracket
// with anything but an IPv6 address in it stays in the host: neither can be written
// back unambiguously.
bool Rebuildable(const TUrlParts& parts)
{
    if (parts.Protocol == Unknown || Has(parts.Host, "[]"))
        return false;
    const std::string_view address = std::string_view(parts.Host).substr(0, parts.Host.find('%'));
    const bool v6 = address.find(':') != std::string::npos &&
                    address.find_first_not_of("0123456789abcdefABCDEF:.") == std::string::npos;
    return v6 || !Has(parts.Host, ":");
}

void CheckRebuilt(const TUrlParts& parts)
{
    if (!Rebuildable(parts))
        return;
    TUrlParts expected = parts;
    if (parts.User.empty())
        expected.Password.clear(); // a password without a user is not written
    FUZZ_CHECK(SameParts(SplitUrl(JoinUrl(parts), Unknown), expected));
}

void CheckMasked(std::string_view text, const TUrlParts& parts)
{
    const TUrlParts masked = SplitUrl(MaskUrlPassword(text), Unknown);
    TUrlParts expected = parts;
    if (!parts.Password.empty())
        expected.Password = "****";
    FUZZ_CHECK(SameParts(masked, expected));
}
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    const std::string_view text(reinterpret_cast<const char*>(data), size);
    const TUrlParts parts = SplitUrl(text, Unknown);
    CheckShape(parts);
    CheckRebuilt(parts);
    CheckMasked(text, parts);
    const std::string encoded = EncodeControlCharacters(text);
    for (const char c : encoded)
        FUZZ_CHECK(static_cast<unsigned char>(c) >= 0x20 && c != 0x7f);
    return 0;
}
