#include "app/CliText.h"
#include "app/ConfigCommand.h"
#include "app/GetCommand.h"
#include "app/ListCommand.h"

#include <QCoreApplication>

namespace {
const char* Usage =
    "usage: corvane get [-d DIR | -o FILE] [-n PARTS] [--no-mirrors] [-q] URL...   download without a window\n"
    "       corvane list                     one line per known download\n"
    "       corvane config [NAME [VALUE]]    list, read or write a setting of section Options\n"
    "       corvane --version";

int Run(const QStringList& arguments)
{
    const QString command = arguments.value(0);
    if (command == "get")
        return RunGetCommand(arguments.mid(1));
    if (command == "list")
        return RunListCommand(arguments.mid(1));
    if (command == "config")
        return RunConfigCommand(arguments.mid(1));
    if (command == "--version") {
        PrintLine("corvane " + QCoreApplication::applicationVersion());
        return 0;
    }
    if (command == "--help" || command == "-h") {
        PrintLines(Usage);
        return 0;
    }
    PrintErrorLines(Usage);
    return 2;
}
}

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    QCoreApplication::setApplicationName("Corvane");
    QCoreApplication::setApplicationVersion(CORVANE_VERSION);
    return Run(app.arguments().mid(1));
}
