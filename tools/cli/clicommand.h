#ifndef CLICOMMAND_H
#define CLICOMMAND_H

#include "formats/fileformats.h"
#include "model/units.h"

#include <QCommandLineParser>
#include <QList>
#include <QString>
#include <QStringList>
#include <QTextStream>
#include <QVector>

// What the commands of lx300-cli share: exit statuses, output, option parsing and the
// checks made before a file or the logger is touched.
namespace Cli {

enum Status
{
    Ok = 0,
    Failed = 1,
    Usage = 2
};

QTextStream &out();
// One line on stderr; returns `status`.
int failWith(int status, const QString &message);
bool stderrIsTerminal();
// The format for a file name, its extension in any case (trip.GPX).
FileFormat *formatFor(const FileFormats &formats, const QString &name);
QString utcText(quint32 epoch);

// One command's options, parsed with the usage errors of this tool.
class Command
{
public:
    Command(const QString &name, const QString &description);
    void option(const QString &opt, const QString &help, const QString &value = QString(),
                const QString &def = QString());
    // The logger's port, which every device command takes.
    void portOption();
    void positional(const QString &arg, const QString &help);
    // Usage when the arguments do not parse, Ok after --help; -1 to go on.
    int parse(const QStringList &args);
    QString value(const QString &opt) const { return parser.value(opt); }
    QStringList values(const QString &opt) const { return parser.values(opt); }
    bool isSet(const QString &opt) const { return parser.isSet(opt); }
    QStringList files() const { return parser.positionalArguments(); }
    // Usage unless the option has a value; -1 to go on.
    int require(const QString &opt) const;

    QString name;
    QCommandLineParser parser;
    int positionals = 0;
    bool manyFiles = false; // one or more positional files, not exactly `positionals`
};

// --tracks, --marked-only and the CSV's units and time.
void addExportOptions(Command &c);
// Reads the unit options and checks the form of --tracks (its numbers are checked against the
// real count later), before any file or logger is touched; usage status on a bad value, else -1.
int exportSettings(const Command &c, FixedDisplayUnits *settings);
// A name with a format and a writable folder, checked before anything else; -1 when good.
int checkOutputName(const FileFormats &formats, const QString &name);
// Writes with the command's --marked-only and --with-marks; into TKR, only with
// --drop-incomplete when some points cannot be kept.
// `waypoints`, where given, go along (into formats that keep them; said where not).
int writeOutput(const FileFormats &formats, const QVector<Track> &tracks, const QString &name,
                const QList<int> &selection, const Command &c,
                const QVector<Waypoint> *waypoints = nullptr);
// Reads a track file; what the file held that is not in the tracks is said on stderr. Its
// waypoints go to `waypoints` where given. -1 when read.
int readInput(const FileFormats &formats, const QString &name, QVector<Track> *tracks,
              QVector<Waypoint> *waypoints = nullptr);

// The commands; each returns the exit status.
int portsCommand(const QStringList &args);
int listCommand(const QStringList &args);
int downloadCommand(const QStringList &args);
int configCommand(const QStringList &args);
int deleteCommand(const QStringList &args);
int convertCommand(const QStringList &args);
int infoCommand(const QStringList &args);
int splitCommand(const QStringList &args);
int mergeCommand(const QStringList &args);
int trimCommand(const QStringList &args);
int geotagCommand(const QStringList &args);
int syncCommand(const QStringList &args);
int libraryCommand(const QStringList &args);

} // namespace Cli

#endif // CLICOMMAND_H
