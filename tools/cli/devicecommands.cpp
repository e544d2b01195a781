// lx300-cli's commands that talk to the logger.
#include "device/detectdevicethread.h"
#include "device/deviceconfigform.h"
#include "model/conversions.h"
#include "tools/cli/clicommand.h"
#include "tools/cli/cliparse.h"
#include "tools/cli/clisession.h"

#include <QCoreApplication>

#include <cstdio>

namespace Cli {

namespace {
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

} // namespace

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

namespace {
// A bar on stderr when it is a terminal.
void showProgress(int done, int all)
{
    const int width = 40;
    const int filled = all ? width * done / all : width;
    std::fprintf(stderr, "\rDownloading track files... [%s%s] %d/%d",
                 QByteArray(filled, '#').constData(), QByteArray(width - filled, ' ').constData(),
                 done, all);
    if (done == all)
        std::fprintf(stderr, "\n");
}

// Lists the tracks, downloads the chosen ones and writes them; the file only when every
// block has arrived.
int downloadTo(const Command &c, const FileFormats &formats, const QString &output)
{
    CliSession session;
    QVector<TrackFileHeader> headers;
    if (!session.open(c.value(QStringLiteral("port"))) || !session.listTracks(&headers))
        return failWith(Failed, session.errorString());
    if (headers.isEmpty()) // an empty file would pass for a download
        return failWith(Failed, QStringLiteral("The logger holds no tracks. Nothing was written."));
    QList<int> chosen;
    QString error;
    if (!parseTrackSelection(c.value(QStringLiteral("tracks")), int(headers.size()), &chosen,
                             &error))
        return failWith(Usage, error);
    QVector<TrackFileHeader> wanted;
    for (int i : chosen)
        wanted.append(headers[i]);
    const bool bar = stderrIsTerminal();
    QVector<Track> tracks;
    if (!session.download(wanted, &tracks, bar ? showProgress : std::function<void(int, int)>())) {
        if (bar)
            std::fprintf(stderr, "\n");
        return failWith(Failed, session.errorString());
    }
    if (!session.downloadMismatch().isEmpty())
        return failWith(Failed,
                        session.downloadMismatch() + QStringLiteral(" Nothing was written."));
    if (session.impossiblePoints() > 0)
        std::fprintf(stderr, "Records with an impossible position, left out: %d.\n",
                     session.impossiblePoints());
    QList<int> all;
    for (int i = 0; i < tracks.size(); ++i)
        all.append(i);
    return writeOutput(formats, tracks, output, all, c);
}
} // namespace

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
    const FileFormats formats(&settings);
    const QString output = c.value(QStringLiteral("output"));
    if (int s = checkOutputName(formats, output); s >= 0)
        return s;
    return downloadTo(c, formats, output);
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

} // namespace Cli
