#include "app/GetOptions.h"

#include "records/Url.h"

#include <QDir>
#include <QFileInfo>

const char* const GetUsage =
    "usage: corvane get [-d DIR | -o FILE] [-n PARTS] [--no-mirrors] [-q] URL...\n"
    "  -d DIR        save into DIR (created when missing; default: the download folder)\n"
    "  -o FILE       save the one URL as FILE\n"
    "  -n PARTS      split each new download into PARTS parts (1-20; default: SplitParts)\n"
    "  --no-mirrors  fetch from the URL only, not from the local mirror list\n"
    "  -q            print only errors and the summary";

namespace {
// Only a URL that says its scheme: "www.example.org/f.zip" would be taken for http.
bool Fetchable(const QString& text)
{
    const qsizetype scheme = text.indexOf(QLatin1String("://"));
    if (scheme <= 0 || text.left(scheme).toLower() != TUrl(text).Protocol)
        return false;
    const TUrl url(text);
    const bool known = url.Protocol == QLatin1String("http") || url.Protocol == QLatin1String("https")
                       || url.Protocol == QLatin1String("ftp");
    return known && !url.Host.isEmpty();
}

TParsedGet Refused(const QString& error)
{
    return {std::nullopt, error};
}
}

TParsedGet ParseGetArguments(const QStringList& arguments, const QString& defaultFolder)
{
    TGetOptions options;
    QString folder, partsText;
    bool optionsEnd = false;
    for (qsizetype i = 0; i < arguments.size(); ++i) {
        const QString& argument = arguments[i];
        if (optionsEnd || !argument.startsWith(QLatin1Char('-')) || argument == QLatin1String("-")) {
            options.Urls.append(argument);
            continue;
        }
        if (argument == QLatin1String("--")) {
            optionsEnd = true;
        } else if (argument == QLatin1String("-q")) {
            options.Quiet = true;
        } else if (argument == QLatin1String("--no-mirrors")) {
            options.NoMirrors = true;
            options.LocalOnly.append(argument);
        } else if (argument == QLatin1String("-h") || argument == QLatin1String("--help")) {
            options.Help = true;
        } else if (argument == QLatin1String("-d") || argument == QLatin1String("-o")
                   || argument == QLatin1String("-n")) {
            if (i + 1 >= arguments.size())
                return Refused(argument + " needs a value");
            const QString value = arguments[++i];
            if (argument == QLatin1String("-d"))
                folder = value;
            else if (argument == QLatin1String("-o"))
                options.OutputFile = value;
            else
                partsText = value;
            options.LocalOnly.append(argument);
        } else {
            return Refused("unknown option " + argument);
        }
    }
    if (options.Help)
        return {options, {}};
    if (!folder.isEmpty() && !options.OutputFile.isEmpty())
        return Refused("-d and -o cannot be used together");
    if (options.Urls.isEmpty())
        return Refused("no URL given");
    if (!options.OutputFile.isEmpty() && options.Urls.size() > 1)
        return Refused("-o saves one URL; use -d for several");
    if (!partsText.isEmpty()) {
        bool ok = false;
        const int parts = partsText.toInt(&ok);
        if (!ok || parts < 1 || parts > MaxGetParts)
            return Refused(QStringLiteral("-n takes a number of parts from 1 to %1, not %2").arg(MaxGetParts).arg(partsText));
        options.Parts = parts;
    }
    for (const QString& url : options.Urls) {
        if (!Fetchable(url))
            return Refused("not an http, https or ftp URL: " + url);
    }
    if (!options.OutputFile.isEmpty()) {
        const QFileInfo output(options.OutputFile);
        if (options.OutputFile.endsWith(QLatin1Char('/')) || output.isDir())
            return Refused("-o names a file, not a folder: " + options.OutputFile + " (use -d)");
        options.OutputFile = output.absoluteFilePath();
        options.Folder = output.absolutePath();
    } else {
        options.Folder = QDir::cleanPath(QFileInfo(folder.isEmpty() ? defaultFolder : folder).absoluteFilePath());
    }
    return {options, {}};
}
