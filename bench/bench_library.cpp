// The track library:
// - `lx300-cli sync` of the simulated logger's memory paced at the real line rate: the
//   blocks' bytes over the whole run (list, download, writing and checking each file) as a
//   fraction of the line's 23040 bytes/s, at least 0.95. The full memory (40 tracks of 25,000
//   points) takes some 25 minutes: LX300_BENCH_SYNC_POINTS sets fewer points a track;
// - 10,000 tracks: the index made from their files in under 30 s, and the library's view of
//   them opened from the index in under 1 s.
#include "app/librarywindow.h"
#include "formats/fileformattkr.h"
#include "library/tracklibrary.h"
#include "model/units.h"
#include "tools/sim/loggersimulator.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QLoggingCategory>
#include <QProcess>
#include <QTableWidget>
#include <QTemporaryDir>

#include <cstdio>

namespace {
double seconds(const QElapsedTimer &t)
{
    return t.nsecsElapsed() / 1e9;
}

int syncRun()
{
    const int points = qEnvironmentVariableIsSet("LX300_BENCH_SYNC_POINTS")
                           ? qEnvironmentVariableIntValue("LX300_BENCH_SYNC_POINTS")
                           : 25000;
    constexpr int Tracks = 40;
    LoggerSimulator sim;
    QVector<SimulatedTrack> memory;
    for (int i = 0; i < Tracks; ++i)
        memory << LoggerSimulator::makeTrack(i % 2 ? 1 : 2, points, quint32(i + 1),
                                             1239437700u + quint32(i) * 86400u);
    sim.setTracks(memory);
    sim.setPaced(true);
    if (!sim.start()) {
        std::fprintf(stderr, "cannot start the simulator\n");
        return 1;
    }
    qint64 blocks = 0;
    for (const TrackFileHeader &h : sim.headers())
        blocks += h.blockIndexes.size();
    QTemporaryDir library;
    QProcess cli;
    QElapsedTimer clock;
    clock.start();
    cli.start(QStringLiteral(LX300_CLI),
              {QStringLiteral("sync"), QStringLiteral("--port"), sim.portPath(),
               QStringLiteral("--library"), library.path()});
    if (!cli.waitForFinished(-1) || cli.exitCode() != 0) {
        std::fprintf(stderr, "sync failed: %s\n", cli.readAllStandardError().constData());
        return 1;
    }
    const double s = seconds(clock);
    const double bytes = double(blocks) * 2066; // a block's two reply frames
    std::printf("sync: %d tracks of %d points, %lld blocks in %.1f s: %.3f of the line rate "
                "(target >= 0.95)\n",
                Tracks, points, blocks, s, bytes / s / LoggerSimulator::LineRate);
    return 0;
}

int indexRun()
{
    constexpr int Tracks = 10000;
    QTemporaryDir dir;
    // Files of 1,000 points each, as the logger's tracks come, in years' folders.
    FileFormatTKR tkr;
    LoggerSimulator sim;
    sim.setTracks({LoggerSimulator::makeTrack(2, 1000, 1, 1239437700u)});
    Track track = sim.expectedTracks({0}).first();
    for (int i = 0; i < Tracks; ++i) {
        const quint32 shift = quint32(i) * 7200u;
        Track t = track;
        t.startTime += shift;
        for (TrackPoint &p : t.points)
            p.time += shift;
        const QString name = QStringLiteral("%1/%2.tkr").arg(2009 + i / 2000).arg(i);
        QDir().mkpath(dir.filePath(QString::number(2009 + i / 2000)));
        if (!tkr.write({t}, dir.filePath(name), {0}, WriteOptions())) {
            std::fprintf(stderr, "cannot write %s\n", qPrintable(name));
            return 1;
        }
    }
    QElapsedTimer clock;
    clock.start();
    {
        TrackLibrary library(dir.path());
        if (!library.open(true)) {
            std::fprintf(stderr, "%s\n", qPrintable(library.errorString()));
            return 1;
        }
    }
    const double rebuild = seconds(clock);
    clock.start();
    TrackLibrary library(dir.path());
    FixedDisplayUnits units;
    if (!library.open())
        return 1;
    LibraryWindow window(&library, &units);
    window.show();
    QCoreApplication::processEvents();
    const double view = seconds(clock);
    const int rows = window.findChild<QTableWidget *>()->rowCount();
    std::printf("index of %d files of 1,000 points made from the files: %.1f s (target < 30)\n",
                Tracks, rebuild);
    std::printf("library view of %d tracks opened from the index: %.2f s (target < 1)\n", rows,
                view);
    return 0;
}
} // namespace

int main(int argc, char *argv[])
{
    QApplication app(argc, argv);
    QLoggingCategory::setFilterRules(QStringLiteral("lx300.*.debug=false"));
    const QStringList args = app.arguments();
    if (!args.contains(QStringLiteral("--sync-only")))
        if (int s = indexRun(); s != 0)
            return s;
    return args.contains(QStringLiteral("--index-only")) ? 0 : syncRun();
}
