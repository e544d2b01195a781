#include "tools/cli/clicommand.h"

#include <QCoreApplication>
#include <QDateTime>
#include <QDir>
#include <QFileInfo>

#include "formats/fileformattkr.h"
#include "tools/cli/cliparse.h"

#include <cstdio>
#ifdef Q_OS_WIN
#include <io.h>
#else
#include <unistd.h>
#endif

namespace Cli {

QTextStream &out()
{
    static QTextStream stream(stdout);
    return stream;
}

int failWith(int status, const QString &message)
{
    out().flush();
    std::fprintf(stderr, "%s\n", qPrintable(message));
    return status;
}

bool stderrIsTerminal()
{
#ifdef Q_OS_WIN
    return _isatty(_fileno(stderr));
#else
    return isatty(fileno(stderr));
#endif
}

FileFormat *formatFor(const FileFormats &formats, const QString &name)
{
    return formats.forName(QFileInfo(name).fileName(), Qt::CaseInsensitive);
}

QString utcText(quint32 epoch)
{
    return QDateTime::fromSecsSinceEpoch(qint64(epoch), Qt::UTC)
        .toString(QStringLiteral("yyyy-MM-ddThh:mm:ssZ"));
}

Command::Command(const QString &name, const QString &description) : name(name)
{
    parser.setApplicationDescription(description);
    parser.addHelpOption();
    parser.setSingleDashWordOptionMode(QCommandLineParser::ParseAsLongOptions);
}

void Command::option(const QString &opt, const QString &help, const QString &value,
                     const QString &def)
{
    parser.addOption(QCommandLineOption(opt, help, value, def));
}

void Command::portOption()
{
    option(QStringLiteral("port"), QStringLiteral("The logger's port name or device path."),
           QStringLiteral("PORT"));
}

void Command::positional(const QString &arg, const QString &help)
{
    parser.addPositionalArgument(arg, help);
    ++positionals;
}

int Command::parse(const QStringList &args)
{
    if (!parser.parse(QStringList{QStringLiteral("lx300-cli ") + name} + args))
        return failWith(Usage, QStringLiteral("lx300-cli %1: %2").arg(name, parser.errorText()));
    if (parser.isSet(QStringLiteral("help"))) {
        // Qt names the binary by its path; the command is what the user typed.
        QString help = parser.helpText();
        help.replace(QCoreApplication::arguments().constFirst(),
                     QStringLiteral("lx300-cli ") + name);
        out() << help;
        out().flush();
        return Ok;
    }
    if (manyFiles && parser.positionalArguments().isEmpty())
        return failWith(
            Usage, QStringLiteral("lx300-cli %1: expected file arguments; see --help").arg(name));
    if (!manyFiles && parser.positionalArguments().size() != positionals)
        return failWith(Usage, QStringLiteral("lx300-cli %1: expected %2 file argument(s); "
                                              "see --help")
                                   .arg(name)
                                   .arg(positionals));
    return -1;
}

int Command::require(const QString &opt) const
{
    if (parser.value(opt).isEmpty())
        return failWith(Usage, QStringLiteral("lx300-cli %1: --%2 is required").arg(name, opt));
    return -1;
}

void addExportOptions(Command &c)
{
    c.option(QStringLiteral("tracks"),
             QStringLiteral("Tracks to take: all, or numbers from 1 "
                            "separated by commas (default all)."),
             QStringLiteral("all|N[,N...]"), QStringLiteral("all"));
    c.option(QStringLiteral("marked-only"), QStringLiteral("Write the mark points only."));
    c.option(QStringLiteral("with-marks"),
             QStringLiteral("Write each mark point also as a waypoint (GPX), a point placemark "
                            "(KML) or in a Mark column (CSV)."));
    c.option(QStringLiteral("drop-incomplete"),
             QStringLiteral("Into a TKR file, which cannot keep them, leave out the points "
                            "without a time and, in a track with altitudes, without one; "
                            "without this option such a conversion is refused."));
    c.option(QStringLiteral("speed-unit"), QStringLiteral("CSV speed unit: km or mi (default km)."),
             QStringLiteral("km|mi"), QStringLiteral("km"));
    c.option(QStringLiteral("height-unit"), QStringLiteral("CSV height unit: m or ft (default m)."),
             QStringLiteral("m|ft"), QStringLiteral("m"));
    c.option(QStringLiteral("time"), QStringLiteral("CSV times: utc or local (default utc)."),
             QStringLiteral("utc|local"), QStringLiteral("utc"));
}

int exportSettings(const Command &c, FixedDisplayUnits *settings)
{
    const QString speed = c.value(QStringLiteral("speed-unit"));
    const QString height = c.value(QStringLiteral("height-unit"));
    const QString time = c.value(QStringLiteral("time"));
    if (speed != QLatin1String("km") && speed != QLatin1String("mi"))
        return failWith(Usage, QStringLiteral("--speed-unit takes km or mi"));
    if (height != QLatin1String("m") && height != QLatin1String("ft"))
        return failWith(Usage, QStringLiteral("--height-unit takes m or ft"));
    if (time != QLatin1String("utc") && time != QLatin1String("local"))
        return failWith(Usage, QStringLiteral("--time takes utc or local"));
    settings->speed = speed == QLatin1String("mi") ? SpeedUnit::Mph : SpeedUnit::Kmh;
    settings->height = height == QLatin1String("ft") ? HeightUnit::Feet : HeightUnit::Metres;
    settings->time = time == QLatin1String("local") ? TimeShown::Local : TimeShown::Utc;
    const QString tracks = c.value(QStringLiteral("tracks"));
    QList<int> selection;
    QString error;
    if (tracks != QLatin1String("all") &&
        !parseTrackSelection(tracks, 999999999, &selection, &error))
        return failWith(Usage, error);
    return -1;
}

int checkOutputName(const FileFormats &formats, const QString &name)
{
    FileFormat *format = formatFor(formats, name);
    if (!format || !format->canWrite())
        return failWith(Usage, QStringLiteral("No track file format to write %1: use a name "
                                              "ending in .tkr, .gpx, .kml or .csv")
                                   .arg(name));
    // Checked before the logger is asked for anything, not after a long download.
    const QFileInfo folder(QFileInfo(name).absolutePath());
    if (!folder.isDir() || !folder.isWritable())
        return failWith(Failed, QStringLiteral("Cannot write %1: the folder %2 %3")
                                    .arg(name, QDir::toNativeSeparators(folder.filePath()),
                                         folder.isDir() ? QStringLiteral("is not writable")
                                                        : QStringLiteral("does not exist")));
    return -1;
}

namespace {
// What a TKR file cannot keep of the chosen tracks: "12 points of track 2", one a track.
QStringList unstorable(const QVector<Track> &tracks, const QList<int> &selection, bool markedOnly)
{
    QStringList parts;
    for (int i : selection)
        if (const qint64 n = FileFormatTKR::unstorablePoints(tracks[i], markedOnly))
            parts << QStringLiteral("%1 points of track %2").arg(n).arg(i + 1);
    return parts;
}
} // namespace

int writeOutput(const FileFormats &formats, const QVector<Track> &tracks, const QString &name,
                const QList<int> &selection, const Command &c, const QVector<Waypoint> *waypoints)
{
    const WriteOptions options{c.isSet(QStringLiteral("marked-only")),
                               c.isSet(QStringLiteral("with-marks")), waypoints};
    FileFormat *format = formatFor(formats, name);
    if (waypoints && !waypoints->isEmpty() && !format->keepsWaypoints())
        std::fprintf(stderr,
                     "Not kept in %s: %lld waypoints (only GPX, KML and GeoJSON files keep "
                     "them).\n",
                     qPrintable(name), static_cast<long long>(waypoints->size()));
    // Nothing is dropped without a word: a TKR file keeps no point without a time, and none
    // without an altitude in a track that has altitudes.
    if (dynamic_cast<FileFormatTKR *>(format)) {
        const QStringList lost = unstorable(tracks, selection, options.markedOnly);
        const QString what = lost.join(QStringLiteral(", "));
        if (!lost.isEmpty() && !c.isSet(QStringLiteral("drop-incomplete")))
            return failWith(Failed, QStringLiteral("A TKR file cannot keep %1: they lack a time "
                                                   "or an altitude. Nothing was written; "
                                                   "--drop-incomplete leaves them out.")
                                        .arg(what));
        if (!lost.isEmpty())
            std::fprintf(stderr, "Left out of %s, lacking a time or an altitude: %s.\n",
                         qPrintable(name), qPrintable(what));
    }
    if (const qint64 n = format->descriptionsLeftOut(tracks, selection))
        std::fprintf(stderr, "Not kept in %s: the descriptions of %lld tracks.\n", qPrintable(name),
                     static_cast<long long>(n));
    if (const qint64 n = format->sensorsLeftOut(tracks, selection, options.markedOnly))
        std::fprintf(stderr,
                     "Not kept in %s: the heart rate, cadence, temperature or power of %lld "
                     "points (only GPX, KML, GeoJSON and CSV files keep them).\n",
                     qPrintable(name), static_cast<long long>(n));
    // A file with no point is no result: nothing is written, as when nothing could be read.
    const bool tkr = dynamic_cast<FileFormatTKR *>(format) != nullptr;
    qint64 kept = 0;
    for (int i : selection) {
        for (const TrackPoint &p : tracks[i].points)
            kept += !options.markedOnly || p.marked != 0;
        if (tkr)
            kept -= FileFormatTKR::unstorablePoints(tracks[i], options.markedOnly);
    }
    if (kept == 0)
        return failWith(Failed, QStringLiteral("Nothing to write to %1: no point of the chosen "
                                               "tracks is left. Nothing was written.")
                                    .arg(name));
    if (!format->write(tracks, name, selection, options))
        return failWith(Failed, format->errorString());
    return Ok;
}

int readInput(const FileFormats &formats, const QString &name, QVector<Track> *tracks,
              QVector<Waypoint> *waypoints)
{
    FileFormat *format = formatFor(formats, name);
    if (!format)
        return failWith(Usage,
                        QStringLiteral("%1 is not a %2 file").arg(name, FileFormats::readable()));
    if (!format->read(*tracks, name))
        return failWith(Failed, format->errorString());
    // What the file held that is not in the tracks is said, never dropped silently.
    if (!format->readNote().isEmpty())
        std::fprintf(stderr, "%s\n", qPrintable(format->readNote()));
    if (waypoints)
        *waypoints += format->waypoints();
    return -1;
}

} // namespace Cli
