// lx300-cli: the LX-300 companion without a window, for scripts and schedules.
#include "analysis/tripstats.h"
#include "device/detectdevicethread.h"
#include "device/deviceconfigform.h"
#include "formats/fileformats.h"
#include "model/conversions.h"
#include "tools/cli/cliparse.h"
#include "tools/cli/clisession.h"

#include <QCommandLineParser>
#include <QCoreApplication>
#include <QDateTime>
#include <QLoggingCategory>
#include <QRegularExpression>
#include <QTextStream>

#include <QDir>
#include <QFileInfo>

#include <cmath>
#include <cstdio>
#ifdef Q_OS_WIN
#include <io.h>
#else
#include <unistd.h>
#endif

namespace {

enum Status
{
    Ok = 0,
    Failed = 1,
    Usage = 2
};

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

// The tool takes an extension in any case (trip.GPX); the name itself is kept as given.
FileFormat *formatFor(const FileFormats &formats, const QString &name)
{
    return formats.forName(QFileInfo(name).fileName(), Qt::CaseInsensitive);
}

QString utcText(quint32 epoch)
{
    return QDateTime::fromSecsSinceEpoch(qint64(epoch), Qt::UTC)
        .toString(QStringLiteral("yyyy-MM-ddThh:mm:ssZ"));
}

const char *const ToolHelp =
    "Usage: lx300-cli COMMAND [options]\n"
    "\n"
    "Commands:\n"
    "  ports                      list the serial ports and which may be a logger\n"
    "  list --port PORT           list the tracks on the logger\n"
    "  download --port PORT --output FILE [--tracks all|N[,N...]] [--marked-only]\n"
    "           [--speed-unit km|mi] [--height-unit m|ft] [--time utc|local]\n"
    "                             download tracks into a .tkr, .gpx, .kml or .csv file\n"
    "  config --port PORT [--set KEY=VALUE]...\n"
    "                             show or change the logger's settings\n"
    "  delete-all --port PORT --yes\n"
    "                             delete every track on the logger\n"
    "  convert INPUT OUTPUT [--tracks ...] [--marked-only] [--speed-unit ...]\n"
    "           [--height-unit ...] [--time ...]\n"
    "                             convert between .tkr, .gpx, .kml and .csv files\n"
    "  info FILE [--speed-unit km|mi] [--height-unit m|ft] [--json]\n"
    "                             describe the tracks of a file: counts, distance,\n"
    "                             times, speeds, altitudes\n"
    "\n"
    "Exit status: 0 success, 1 the logger or a file failed, 2 usage error.\n"
    "lx300-cli --version prints the version.\n"
    "Run 'lx300-cli COMMAND --help' for a command's options.\n";

// One command's options, parsed with the usage errors of this tool.
class Command
{
public:
    Command(const QString &name, const QString &description) : name(name)
    {
        parser.setApplicationDescription(description);
        parser.addHelpOption();
        parser.setSingleDashWordOptionMode(QCommandLineParser::ParseAsLongOptions);
    }
    void option(const QString &opt, const QString &help, const QString &value = QString(),
                const QString &def = QString())
    {
        QCommandLineOption o(opt, help, value, def);
        parser.addOption(o);
    }
    // The logger's port, which every device command takes.
    void portOption()
    {
        option(QStringLiteral("port"), QStringLiteral("The logger's port name or device path."),
               QStringLiteral("PORT"));
    }
    void positional(const QString &arg, const QString &help)
    {
        parser.addPositionalArgument(arg, help);
        ++positionals;
    }
    // Usage when the arguments do not parse; -1 to go on.
    int parse(const QStringList &args)
    {
        if (!parser.parse(QStringList{QStringLiteral("lx300-cli ") + name} + args))
            return failWith(Usage,
                            QStringLiteral("lx300-cli %1: %2").arg(name, parser.errorText()));
        if (parser.isSet(QStringLiteral("help"))) {
            // Qt names the binary by its path; the command is what the user typed.
            QString help = parser.helpText();
            help.replace(QCoreApplication::arguments().constFirst(),
                         QStringLiteral("lx300-cli ") + name);
            out() << help;
            out().flush();
            return Ok;
        }
        if (parser.positionalArguments().size() != positionals)
            return failWith(Usage, QStringLiteral("lx300-cli %1: expected %2 file argument(s); "
                                                  "see --help")
                                       .arg(name)
                                       .arg(positionals));
        return -1;
    }
    QString value(const QString &opt) const { return parser.value(opt); }
    QStringList values(const QString &opt) const { return parser.values(opt); }
    bool isSet(const QString &opt) const { return parser.isSet(opt); }
    QStringList files() const { return parser.positionalArguments(); }
    int require(const QString &opt) const
    {
        if (parser.value(opt).isEmpty())
            return failWith(Usage, QStringLiteral("lx300-cli %1: --%2 is required").arg(name, opt));
        return -1;
    }

    QString name;
    QCommandLineParser parser;
    int positionals = 0;
};

void addExportOptions(Command &c)
{
    c.option(QStringLiteral("tracks"),
             QStringLiteral("Tracks to take: all, or numbers from 1 "
                            "separated by commas (default all)."),
             QStringLiteral("all|N[,N...]"), QStringLiteral("all"));
    c.option(QStringLiteral("marked-only"), QStringLiteral("Write the mark points only."));
    c.option(QStringLiteral("speed-unit"), QStringLiteral("CSV speed unit: km or mi (default km)."),
             QStringLiteral("km|mi"), QStringLiteral("km"));
    c.option(QStringLiteral("height-unit"), QStringLiteral("CSV height unit: m or ft (default m)."),
             QStringLiteral("m|ft"), QStringLiteral("m"));
    c.option(QStringLiteral("time"), QStringLiteral("CSV times: utc or local (default utc)."),
             QStringLiteral("utc|local"), QStringLiteral("utc"));
}

// Reads the unit options; usage status on a bad value, else -1.
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
    return -1;
}

// The form of --tracks, checked before any file or logger is touched.
int checkTrackSyntax(const Command &c)
{
    const QString text = c.value(QStringLiteral("tracks"));
    if (text == QLatin1String("all"))
        return -1;
    QList<int> selection;
    QString error;
    // Numbers are checked against the real count later.
    if (!parseTrackSelection(text, 999999999, &selection, &error))
        return failWith(Usage, error);
    return -1;
}

int checkOutputName(const FileFormats &formats, const QString &name)
{
    if (!formatFor(formats, name))
        return failWith(Usage, QStringLiteral("No track file format for %1: use a name ending "
                                              "in .tkr, .gpx, .kml or .csv")
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

int writeOutput(const FileFormats &formats, const QVector<Track> &tracks, const QString &name,
                const QList<int> &selection, bool markedOnly)
{
    FileFormat *format = formatFor(formats, name);
    if (!format->write(tracks, name, selection, markedOnly))
        return failWith(Failed, format->errorString());
    return Ok;
}

int portsCommand(const QStringList &args)
{
    Command c(QStringLiteral("ports"),
              QStringLiteral("Lists every serial port: name, friendly name, and 'usb' when it "
                             "may be a logger, else '-'."));
    if (int s = c.parse(args); s >= 0)
        return s;
    for (const SerialPortEntry &port : DetectDeviceThread::systemPorts())
        out() << port.portName << '\t' << port.friendlyName.trimmed() << '\t'
              << (DetectDeviceThread::isUsbPort(port) ? "usb" : "-") << '\n';
    return Ok;
}

int listCommand(const QStringList &args)
{
    Command c(QStringLiteral("list"),
              QStringLiteral("Lists the logger's tracks: number, start (UTC), block count, "
                             "block indexes."));
    c.portOption();
    if (int s = c.parse(args); s >= 0)
        return s;
    if (int s = c.require(QStringLiteral("port")); s >= 0)
        return s;
    CliSession session;
    QVector<TrackFileHeader> headers;
    if (!session.open(c.value(QStringLiteral("port"))) || !session.listTracks(&headers))
        return failWith(Failed, session.errorString());
    if (headers.isEmpty())
        std::fprintf(stderr, "The logger holds no tracks.\n");
    int n = 1;
    for (const TrackFileHeader &h : headers) {
        QStringList blocks;
        for (int b : h.blockIndexes)
            blocks << QString::number(b);
        out() << n++ << '\t' << utcText(packedDateTimeToEpoch(h.date, h.time)) << '\t'
              << h.blockIndexes.size() << '\t' << blocks.join(QLatin1Char(',')) << '\n';
    }
    return Ok;
}

int downloadCommand(const QStringList &args)
{
    Command c(QStringLiteral("download"),
              QStringLiteral("Downloads tracks from the logger and writes them to FILE in the "
                             "format its extension selects (.tkr, .gpx, .kml, .csv)."));
    c.portOption();
    c.option(QStringLiteral("output"), QStringLiteral("The file to write."),
             QStringLiteral("FILE"));
    addExportOptions(c);
    if (int s = c.parse(args); s >= 0)
        return s;
    for (const char *required : {"port", "output"})
        if (int s = c.require(QLatin1String(required)); s >= 0)
            return s;
    FixedDisplayUnits settings;
    if (int s = exportSettings(c, &settings); s >= 0)
        return s;
    if (int s = checkTrackSyntax(c); s >= 0)
        return s;
    const FileFormats formats(&settings);
    const QString output = c.value(QStringLiteral("output"));
    int status = checkOutputName(formats, output);
    if (status < 0) {
        CliSession session;
        QVector<TrackFileHeader> headers;
        QList<int> chosen;
        QString error;
        if (!session.open(c.value(QStringLiteral("port"))) || !session.listTracks(&headers)) {
            status = failWith(Failed, session.errorString());
        } else if (!parseTrackSelection(c.value(QStringLiteral("tracks")), int(headers.size()),
                                        &chosen, &error)) {
            status = failWith(Usage, error);
        } else {
            QVector<TrackFileHeader> wanted;
            for (int i : chosen)
                wanted.append(headers[i]);
            const bool bar = stderrIsTerminal();
            QVector<Track> tracks;
            const bool ok = session.download(wanted, &tracks, [bar](int done, int all) {
                if (!bar)
                    return;
                const int width = 40;
                const int filled = all ? width * done / all : width;
                std::fprintf(stderr, "\rDownloading track files... [%s%s] %d/%d",
                             QByteArray(filled, '#').constData(),
                             QByteArray(width - filled, ' ').constData(), done, all);
                if (done == all)
                    std::fprintf(stderr, "\n");
            });
            if (!ok) {
                if (bar)
                    std::fprintf(stderr, "\n");
                status = failWith(Failed, session.errorString());
            } else {
                QList<int> all;
                for (int i = 0; i < tracks.size(); ++i)
                    all.append(i);
                status = writeOutput(formats, tracks, output, all,
                                     c.isSet(QStringLiteral("marked-only")));
            }
        }
    }
    return status;
}

void printConfig(const DeviceConfig &config)
{
    const DeviceConfigForm form = DeviceConfigForm::fromConfig(config);
    out() << "logFormat=" << config.logFormat << '\n'
          << "waasEnabled=" << int(form.waasEnabled) << '\n'
          << "speedThresholdEnabled=" << int(form.speedThresholdEnabled) << '\n'
          << "speedThreshold=" << form.speedThreshold << '\n'
          << "radiusEnabled=" << int(form.radiusEnabled) << '\n'
          << "radius=" << form.radius << '\n'
          << "intervalMode=" << (form.intervalMode == 1 ? "distance" : "time") << '\n'
          << "timeInterval=" << form.timeInterval << '\n'
          << "distanceInterval=" << form.distanceInterval << '\n'
          << "memoryUsage=" << config.memoryUsage << '\n';
}

int configCommand(const QStringList &args)
{
    Command c(QStringLiteral("config"),
              QStringLiteral("Shows the logger's settings as KEY=VALUE lines, or changes them. "
                             "Keys: logFormat (1|2), waasEnabled, speedThresholdEnabled, "
                             "radiusEnabled (0|1), speedThreshold (km/h), radius (m), "
                             "intervalMode (time|distance), timeInterval (s, 1 to 1800), "
                             "distanceInterval (m, 1 to 5000 in distance mode)."));
    c.portOption();
    c.option(QStringLiteral("set"), QStringLiteral("Change one setting; may be repeated."),
             QStringLiteral("KEY=VALUE"));
    if (int s = c.parse(args); s >= 0)
        return s;
    if (int s = c.require(QStringLiteral("port")); s >= 0)
        return s;
    const QStringList sets = c.values(QStringLiteral("set"));
    // Check every assignment before touching the logger.
    DeviceConfigForm probe;
    QString error;
    for (const QString &s : sets)
        if (!setFormValue(probe, s, &error))
            return failWith(Usage, error);

    CliSession session;
    DeviceConfig config;
    if (!session.open(c.value(QStringLiteral("port"))) || !session.readConfig(&config))
        return failWith(Failed, session.errorString());
    if (sets.isEmpty()) {
        printConfig(config);
        return Ok;
    }
    // Only the keys named change; every other field goes back exactly as read (the form's
    // whole-unit rules would turn 10.50 km/h into 10).
    DeviceConfigForm form = DeviceConfigForm::fromConfig(config);
    form.logFormat = 0;
    form.intervalMode = -1;
    form.speedThreshold = form.radius = form.timeInterval = form.distanceInterval = QString();
    QStringList named;
    for (const QString &s : sets) {
        setFormValue(form, s, &error);
        named << s.section(QLatin1Char('='), 0, 0);
    }
    DeviceConfig edited = config;
    QString message;
    DeviceConfigForm::Field field = DeviceConfigForm::NoField;
    if (!form.applyTo(edited, &message, &field))
        return failWith(Usage,
                        QStringLiteral("%1: %2").arg(field == DeviceConfigForm::TimeIntervalField
                                                         ? QStringLiteral("timeInterval")
                                                         : QStringLiteral("distanceInterval"),
                                                     message));
    if (!named.contains(QLatin1String("waasEnabled")))
        edited.waasEnabled = config.waasEnabled;
    if (!named.contains(QLatin1String("speedThresholdEnabled")))
        edited.speedThresholdEnabled = config.speedThresholdEnabled;
    if (!named.contains(QLatin1String("radiusEnabled")))
        edited.radiusEnabled = config.radiusEnabled;
    config = edited;
    if (!session.writeConfig(config))
        return failWith(Failed, session.errorString());
    std::fprintf(
        stderr, "%s\n",
        qPrintable(QCoreApplication::translate("MainWindow", "Set device configuration ok.")));
    return Ok;
}

int deleteCommand(const QStringList &args)
{
    Command c(QStringLiteral("delete-all"),
              QStringLiteral("Deletes every track on the logger. Needs --yes."));
    c.portOption();
    c.option(QStringLiteral("yes"), QStringLiteral("Really delete all tracks."));
    if (int s = c.parse(args); s >= 0)
        return s;
    if (int s = c.require(QStringLiteral("port")); s >= 0)
        return s;
    if (!c.isSet(QStringLiteral("yes")))
        return failWith(Usage, QStringLiteral("delete-all deletes every track on the logger; "
                                              "add --yes to do it"));
    CliSession session;
    if (!session.open(c.value(QStringLiteral("port"))) || !session.deleteAll())
        return failWith(Failed, session.errorString());
    std::fprintf(
        stderr, "%s\n",
        qPrintable(QCoreApplication::translate("MainWindow", "Delete all track files ok.")));
    return Ok;
}

int readInput(const FileFormats &formats, const QString &name, QVector<Track> *tracks)
{
    FileFormat *format = formatFor(formats, name);
    if (!format)
        return failWith(Usage,
                        QStringLiteral("%1 is not a .tkr, .gpx, .kml or .csv file").arg(name));
    if (!format->read(*tracks, name))
        return failWith(Failed, format->errorString());
    // What the file held that is not in the tracks is said, never dropped silently.
    if (!format->readNote().isEmpty())
        std::fprintf(stderr, "%s\n", qPrintable(format->readNote()));
    return -1;
}

int convertCommand(const QStringList &args)
{
    Command c(QStringLiteral("convert"),
              QStringLiteral("Reads a track file (.tkr, .gpx, .kml or .csv) and writes OUTPUT in "
                             "the format its extension selects."));
    c.positional(QStringLiteral("INPUT"), QStringLiteral("The track file to read."));
    c.positional(QStringLiteral("OUTPUT"), QStringLiteral("The file to write."));
    addExportOptions(c);
    if (int s = c.parse(args); s >= 0)
        return s;
    FixedDisplayUnits settings;
    if (int s = exportSettings(c, &settings); s >= 0)
        return s;
    if (int s = checkTrackSyntax(c); s >= 0)
        return s;
    const FileFormats formats(&settings);
    const QString input = c.files().at(0);
    const QString output = c.files().at(1);
    QVector<Track> tracks;
    QList<int> selection;
    QString error;
    int status = checkOutputName(formats, output);
    if (status < 0)
        status = readInput(formats, input, &tracks);
    if (status < 0) {
        if (!parseTrackSelection(c.value(QStringLiteral("tracks")), int(tracks.size()), &selection,
                                 &error))
            status = failWith(Usage, error);
        else
            status = writeOutput(formats, tracks, output, selection,
                                 c.isSet(QStringLiteral("marked-only")));
    }
    return status;
}

// A JSON number at full precision; JSON has no NaN or infinity.
QByteArray jsonNumber(double v)
{
    return std::isfinite(v) ? QByteArray::number(v, 'g', 17) : QByteArray("null");
}

// One object per track, keys in a fixed order and fixed units for scripts.
void printJson(const QVector<Track> &tracks, const QVector<TripStats> &stats)
{
    QByteArray json = "{\"tracks\": [";
    for (int i = 0; i < tracks.size(); ++i) {
        const TripStats &s = stats[i];
        const auto altitude = [&](double v) {
            return s.hasAltitude ? jsonNumber(v) : QByteArray("null");
        };
        json += (i ? ", " : "") + QByteArray("{\"number\": ") + QByteArray::number(i + 1) +
                ", \"start\": \"" + utcText(tracks[i].startTime).toLatin1() +
                "\", \"format\": " + QByteArray::number(tracks[i].format) +
                ", \"points\": " + QByteArray::number(s.points) +
                ", \"marks\": " + QByteArray::number(s.marks) +
                ", \"duration_s\": " + QByteArray::number(s.durationS) +
                ", \"moving_time_s\": " + QByteArray::number(s.movingTimeS) +
                ", \"distance_m\": " + jsonNumber(s.distanceM) +
                ", \"max_speed_kmh\": " + jsonNumber(s.maxSpeedKmh) +
                ", \"avg_speed_kmh\": " + jsonNumber(s.avgSpeedKmh()) +
                ", \"avg_moving_speed_kmh\": " + jsonNumber(s.avgMovingSpeedKmh()) +
                ", \"min_altitude_m\": " + altitude(s.minAltitudeM) +
                ", \"max_altitude_m\": " + altitude(s.maxAltitudeM) +
                ", \"ascent_m\": " + altitude(s.ascentM) +
                ", \"descent_m\": " + altitude(s.descentM) + "}";
    }
    out() << json << "]}\n";
}

// The figures after the counts, in the chosen units; "-" where a track has none.
QString figuresText(const TripStats &s, SpeedUnit speedUnit, HeightUnit heightUnit)
{
    const TripAnalysis::FigureTexts f = TripAnalysis::figureTexts(s, speedUnit, heightUnit);
    return QStringList{f.distance,     f.duration, f.movingTime, f.averageSpeed, f.movingAverage,
                       f.maximumSpeed, f.lowest,   f.highest,    f.ascent,       f.descent}
        .join(QLatin1Char('\t'));
}

int infoCommand(const QStringList &args)
{
    Command c(QStringLiteral("info"),
              QStringLiteral("Describes each track of a track file: number, start (UTC), log "
                             "format, points, mark points, first and last point time, then "
                             "distance, duration, moving time, average, moving average and "
                             "maximum speed, lowest and highest altitude, ascent and descent; "
                             "then the totals."));
    c.positional(QStringLiteral("FILE"), QStringLiteral("The track file."));
    c.option(QStringLiteral("speed-unit"),
             QStringLiteral("Distances and speeds in km or mi (default km)."),
             QStringLiteral("km|mi"), QStringLiteral("km"));
    c.option(QStringLiteral("height-unit"), QStringLiteral("Heights in m or ft (default m)."),
             QStringLiteral("m|ft"), QStringLiteral("m"));
    c.option(QStringLiteral("json"),
             QStringLiteral("Print one JSON object in fixed units (m, s, km/h) instead."));
    if (int s = c.parse(args); s >= 0)
        return s;
    const QString speed = c.value(QStringLiteral("speed-unit"));
    const QString height = c.value(QStringLiteral("height-unit"));
    if (speed != QLatin1String("km") && speed != QLatin1String("mi"))
        return failWith(Usage, QStringLiteral("--speed-unit takes km or mi"));
    if (height != QLatin1String("m") && height != QLatin1String("ft"))
        return failWith(Usage, QStringLiteral("--height-unit takes m or ft"));
    const SpeedUnit speedUnit = speed == QLatin1String("mi") ? SpeedUnit::Mph : SpeedUnit::Kmh;
    const HeightUnit heightUnit =
        height == QLatin1String("ft") ? HeightUnit::Feet : HeightUnit::Metres;
    FixedDisplayUnits settings;
    const FileFormats formats(&settings);
    QVector<Track> tracks;
    int status = readInput(formats, c.files().at(0), &tracks);
    if (status >= 0)
        return status;
    const QVector<TripStats> stats = TripAnalysis::allTrackStats(tracks);
    if (c.isSet(QStringLiteral("json"))) {
        printJson(tracks, stats);
        return Ok;
    }
    out() << "track\tstart\tformat\tpoints\tmarks\tfirst\tlast\tdistance\tduration\tmoving\t"
             "avg speed\tavg moving\tmax speed\tmin alt\tmax alt\tascent\tdescent\n";
    for (int i = 0; i < tracks.size(); ++i) {
        const Track &t = tracks[i];
        out() << i + 1 << '\t' << utcText(t.startTime) << '\t' << t.format << '\t'
              << stats[i].points << '\t' << stats[i].marks << '\t'
              << (t.points.isEmpty() ? QStringLiteral("-") : utcText(t.points.first().time)) << '\t'
              << (t.points.isEmpty() ? QStringLiteral("-") : utcText(t.points.last().time)) << '\t'
              << figuresText(stats[i], speedUnit, heightUnit) << '\n';
    }
    const TripStats total = TripAnalysis::combined(stats);
    out() << "total\t" << tracks.size() << " tracks\t\t" << total.points << '\t' << total.marks
          << "\t\t\t" << figuresText(total, speedUnit, heightUnit) << '\n';
    return Ok;
}

} // namespace

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    QCoreApplication::setApplicationName(QStringLiteral("lx300-cli"));
    // The worker's and the formats' debug traces are for developers.
    QLoggingCategory::setFilterRules(QStringLiteral("lx300.*.debug=false\nlx300.device=false"));

    QStringList args = QCoreApplication::arguments().mid(1);
    if (args.isEmpty())
        return failWith(Usage, QString::fromLatin1(ToolHelp).trimmed());
    const QString command = args.takeFirst();
    if (command == QLatin1String("--help") || command == QLatin1String("-h") ||
        command == QLatin1String("help")) {
        out() << ToolHelp;
        return Ok;
    }
    if (command == QLatin1String("--version")) {
        out() << "lx300-cli " << LX300_VERSION << '\n';
        return Ok;
    }
    int status;
    if (command == QLatin1String("ports"))
        status = portsCommand(args);
    else if (command == QLatin1String("list"))
        status = listCommand(args);
    else if (command == QLatin1String("download"))
        status = downloadCommand(args);
    else if (command == QLatin1String("config"))
        status = configCommand(args);
    else if (command == QLatin1String("delete-all"))
        status = deleteCommand(args);
    else if (command == QLatin1String("convert"))
        status = convertCommand(args);
    else if (command == QLatin1String("info"))
        status = infoCommand(args);
    else
        status = failWith(Usage, QStringLiteral("lx300-cli: unknown command '%1'; see "
                                                "lx300-cli --help")
                                     .arg(command));
    out().flush();
    return status;
}
