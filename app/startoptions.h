#ifndef STARTOPTIONS_H
#define STARTOPTIONS_H

#include <QString>
#include <QStringList>

// What the window is started with: lx300 [--port PATH] [--map NAME|FILE.mbtiles] [FILE.tkr]
struct StartOptions
{
    QString port;      // offered in the port box whatever detection finds
    QStringList files; // track files to open
    QString map;       // a map source's name or an offline map's file
    QString error;     // a usage mistake to report; nothing else is valid then
    bool help = false;
    bool version = false;
};

// Parses the program's arguments (the first is the program itself).
StartOptions parseStartOptions(const QStringList &arguments);
QString startOptionsHelp();

#endif // STARTOPTIONS_H
