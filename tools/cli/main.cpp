// lx300-cli: the LX-300 companion without a window, for scripts and schedules.
#include "tools/cli/clicommand.h"

#include <QCoreApplication>
#include <QLoggingCategory>

#include <cstdio>

using namespace Cli;

namespace {
const char *const ToolHelp =
    "Usage: lx300-cli COMMAND [options]\n"
    "\n"
    "Commands:\n"
    "  ports                      list the serial ports and which may be a logger\n"
    "  list --port PORT           list the tracks on the logger\n"
    "  download --port PORT --output FILE [--tracks all|N[,N...]] [--marked-only]\n"
    "           [--with-marks]\n"
    "           [--speed-unit km|mi] [--height-unit m|ft] [--time utc|local]\n"
    "                             download tracks into a .tkr, .gpx, .kml or .csv file\n"
    "  config --port PORT [--set KEY=VALUE]...\n"
    "                             show or change the logger's settings\n"
    "  delete-all --port PORT --yes\n"
    "                             delete every track on the logger\n"
    "  convert INPUT OUTPUT [--tracks ...] [--marked-only] [--with-marks]\n"
    "           [--drop-incomplete] [--speed-unit ...] [--height-unit ...] [--time ...]\n"
    "                             convert .tkr, .gpx, .kml, .kmz, .tcx, .fit, .geojson,\n"
    "                             .igc, .nmea or .csv files into .tkr, .gpx, .kml,\n"
    "                             .geojson or .csv\n"
    "  info FILE [--speed-unit km|mi] [--height-unit m|ft] [--json]\n"
    "                             describe the tracks of a file: counts, distance,\n"
    "                             times, speeds, altitudes\n"
    "  split INPUT --by-day | --gap MINUTES | --at TIME --output-dir DIR\n"
    "           [--time utc|local] [--format tkr|gpx|kml|geojson|csv]\n"
    "                             one file per track after splitting, named by its start\n"
    "  trim INPUT OUTPUT [--from TIME] [--to TIME] [--time utc|local] [--tracks ...]\n"
    "                             keep the points between two times\n"
    "  merge INPUT... OUTPUT [--join]\n"
    "                             all tracks as one, in time order; overlaps refused\n"
    "  geotag TRACKFILE... --photos PATH... [--recursive] [--offset +HH:MM[:SS]]\n"
    "           [--max-gap SECONDS] [--replace] [--sidecar] [--dry-run] [--json]\n"
    "                             write the tracks' positions into photos\n"
    "  sync --port PORT --library DIR [--json] [--delete-after]\n"
    "                             archive the logger's new tracks, each read back and checked;\n"
    "                             then clear the logger only if every track is archived\n"
    "  library DIR [--json] [--rebuild]\n"
    "                             list the library's tracks and their totals\n"
    "\n"
    "Exit status: 0 success, 1 the logger or a file failed, 2 usage error.\n"
    "lx300-cli --version prints the version.\n"
    "Run 'lx300-cli COMMAND --help' for a command's options.\n";

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
    const struct
    {
        const char *name;
        int (*run)(const QStringList &);
    } commands[] = {
        {"ports", portsCommand},    {"list", listCommand},         {"download", downloadCommand},
        {"config", configCommand},  {"delete-all", deleteCommand}, {"convert", convertCommand},
        {"info", infoCommand},      {"geotag", geotagCommand},     {"split", splitCommand},
        {"merge", mergeCommand},    {"trim", trimCommand},         {"sync", syncCommand},
        {"library", libraryCommand}};
    int status = -1;
    for (const auto &c : commands)
        if (command == QLatin1String(c.name))
            status = c.run(args);
    if (status < 0)
        status = failWith(Usage, QStringLiteral("lx300-cli: unknown command '%1'; see "
                                                "lx300-cli --help")
                                     .arg(command));
    out().flush();
    return status;
}
