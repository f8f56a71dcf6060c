#include "records/core/FileMask.h"

#include <vector>

namespace {
// Length of the UTF-8 sequence a lead byte starts, 0 for a byte that starts none.
size_t SequenceLength(unsigned char lead)
{
    if (lead < 0x80)
        return 1;
    if ((lead >> 5) == 0x6)
        return 2;
    if ((lead >> 4) == 0xE)
        return 3;
    if ((lead >> 3) == 0x1E)
        return 4;
    return 0;
}

// Code points, ASCII letters folded to lower case. A byte that starts no valid UTF-8
// sequence stands for itself, so any text can be matched.
std::vector<char32_t> Folded(const std::string& text)
{
    std::vector<char32_t> out;
    out.reserve(text.size());
    for (size_t i = 0; i < text.size();) {
        const unsigned char lead = static_cast<unsigned char>(text[i]);
        const size_t length = SequenceLength(lead);
        bool valid = length > 0 && i + length <= text.size();
        char32_t code = length <= 1 ? lead : lead & (0x7F >> length);
        for (size_t k = 1; valid && k < length; ++k) {
            const unsigned char next = static_cast<unsigned char>(text[i + k]);
            valid = (next & 0xC0) == 0x80;
            code = (code << 6) | (next & 0x3F);
        }
        if (!valid) {
            out.push_back(lead);
            ++i;
            continue;
        }
        out.push_back(code >= U'A' && code <= U'Z' ? code + (U'a' - U'A') : code);
        i += length;
    }
    return out;
}
}

bool MatchesMask(const std::string& text, const std::string& mask)
{
    const std::vector<char32_t> t = Folded(text), m = Folded(mask);
    // Greedy scan that falls back to the last "*": linear in practice, never exponential.
    size_t ti = 0, mi = 0, starMask = std::string::npos, starText = 0;
    while (ti < t.size()) {
        if (mi < m.size() && (m[mi] == U'?' || (m[mi] != U'*' && m[mi] == t[ti]))) {
            ++ti;
            ++mi;
        } else if (mi < m.size() && m[mi] == U'*') {
            starMask = mi++;
            starText = ti;
        } else if (starMask != std::string::npos) {
            mi = starMask + 1;
            ti = ++starText;
        } else {
            return false;
        }
    }
    while (mi < m.size() && m[mi] == U'*')
        ++mi;
    return mi == m.size();
}

bool MatchesAnyMask(const std::string& text, const std::string& maskList)
{
    size_t start = 0;
    while (start < maskList.size()) {
        const size_t end = std::min(maskList.find_first_of(" \t", start), maskList.size());
        if (end > start && MatchesMask(text, maskList.substr(start, end - start)))
            return true;
        start = end + 1;
    }
    return false;
}
