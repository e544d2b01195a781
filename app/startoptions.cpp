#include "app/startoptions.h"

#include "formats/fileformats.h"

#include <QCommandLineParser>

namespace {
struct Parser
{
    QCommandLineParser parser;
    QCommandLineOption port{QStringLiteral("port"),
                            QStringLiteral("Offer this serial port first in the port box, "
                                           "whatever its name (a simulated logger's, say)."),
                            QStringLiteral("PATH")};
    QCommandLineOption map{QStringLiteral("map"),
                           QStringLiteral("Start on this base map: a source's name as the Map "
                                          "menu lists it, or an offline map file."),
                           QStringLiteral("NAME|FILE.mbtiles")};
    QCommandLineOption help{{QStringLiteral("h"), QStringLiteral("help")},
                            QStringLiteral("Show this help and exit.")};
    QCommandLineOption version{QStringLiteral("version"),
                               QStringLiteral("Show the version and exit.")};

    Parser()
    {
        parser.setApplicationDescription(QStringLiteral("LX-300 GPS logger companion."));
        parser.addOptions({port, map, help, version});
        parser.addPositionalArgument(QStringLiteral("FILE"),
                                     QStringLiteral("Track files to open, ticked and shown: %1.")
                                         .arg(FileFormats::readable()),
                                     QStringLiteral("[FILE...]"));
    }
};
} // namespace

StartOptions parseStartOptions(const QStringList &arguments)
{
    Parser p;
    StartOptions options;
    if (!p.parser.parse(arguments)) {
        options.error = p.parser.errorText();
        return options;
    }
    options.help = p.parser.isSet(p.help);
    options.version = p.parser.isSet(p.version);
    options.port = p.parser.value(p.port);
    options.map = p.parser.value(p.map);
    if (p.parser.isSet(p.port) && options.port.isEmpty())
        options.error = QStringLiteral("The port path is empty.");
    else if (p.parser.isSet(p.map) && options.map.isEmpty())
        options.error = QStringLiteral("The map name is empty.");
    else
        options.files = p.parser.positionalArguments();
    return options;
}

QString startOptionsHelp()
{
    Parser p;
    return p.parser.helpText();
}
