// Profile files: reading is stable (what is written back reads the same), a value
// written reads back exactly, also from the rewritten bytes, and writing touches no
// other key.
#include "fuzz/FuzzCheck.h"
#include "platform/ini/IniContent.h"

#include <vector>

namespace {
QString Text(FuzzedDataProvider& provider)
{
    return QString::fromStdString(provider.ConsumeRandomLengthString(40));
}

// Blanks around names do not count (the ASCII ones QByteArray::trimmed drops), letter
// case neither.
QStringView Trimmed(QStringView name)
{
    const auto blank = [](QChar c) { return c == u' ' || (c >= u'\t' && c <= u'\r'); };
    while (!name.isEmpty() && blank(name.front()))
        name = name.mid(1);
    while (!name.isEmpty() && blank(name.back()))
        name.chop(1);
    return name;
}

bool SameName(const QString& a, const QString& b)
{
    return Trimmed(a).compare(Trimmed(b), Qt::CaseInsensitive) == 0;
}

struct Probe {
    QString section, key;
};

// The value the last write of a key in section gave it, or nothing.
std::optional<QString> Written(const QString& section, const TIniContent::Values& values, const Probe& probe)
{
    std::optional<QString> value;
    if (SameName(section, probe.section))
        for (const auto& [key, written] : values)
            if (SameName(key, probe.key))
                value = written;
    return value;
}
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    FuzzedDataProvider provider(data, size);
    const QString section = Text(provider);
    TIniContent::Values values;
    for (int count = provider.ConsumeIntegralInRange(1, 3); count > 0; --count)
        values.append({Text(provider), Text(provider)});
    std::vector<Probe> probes;
    for (int i = 0; i < 2; ++i)
        probes.push_back({Text(provider), Text(provider)});
    const std::string rest = provider.ConsumeRemainingBytesAsString();
    const TIniContent read(QByteArray(rest.data(), qsizetype(rest.size())));

    FUZZ_CHECK(TIniContent(read.Bytes()).Bytes() == read.Bytes());
    TIniContent changed = read;
    if (!changed.WriteStrings(section, values)) {
        FUZZ_CHECK(changed.Bytes() == read.Bytes());
        return 0;
    }
    for (const auto& [key, value] : values)
        probes.push_back({section, key});
    const TIniContent reread(changed.Bytes());
    for (const Probe& probe : probes) {
        const QString after = changed.ReadString(probe.section, probe.key, QStringLiteral("\n"));
        FUZZ_CHECK(reread.ReadString(probe.section, probe.key, QStringLiteral("\n")) == after);
        const std::optional<QString> written = Written(section, values, probe);
        FUZZ_CHECK(after == written.value_or(read.ReadString(probe.section, probe.key, QStringLiteral("\n"))));
    }
    return 0;
}
