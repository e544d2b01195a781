// Track file speed and memory for 1,000,000 points in 10 tracks:
//  - TKR read time as a ratio to reading the same bytes raw (target <= 2),
//  - each export's time as a ratio to ogr2ogr converting the same points from
//    CSV to GPX (target < 1),
//  - peak memory an export adds over the tracks already in memory (target < 50 MB).
#include "formats/fileformats.h"
#include "model/conversions.h"
#include "model/units.h"
#include "tools/sim/loggersimulator.h"

#include <QCoreApplication>
#include <QDateTime>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QLoggingCategory>
#include <QProcess>
#include <QTemporaryDir>

#include <cstdio>

namespace {

long statusKb(const char *field)
{
    QFile f(QStringLiteral("/proc/self/status"));
    if (!f.open(QIODevice::ReadOnly))
        return -1;
    for (const QByteArray &line : f.readAll().split('\n'))
        if (line.startsWith(field))
            return line.mid(int(strlen(field))).trimmed().split(' ').first().toLong();
    return -1;
}

void resetPeak()
{
    QFile f(QStringLiteral("/proc/self/clear_refs"));
    if (f.open(QIODevice::WriteOnly))
        f.write("5");
}

QVector<Track> makeTracks()
{
    QVector<Track> tracks;
    for (int t = 0; t < 10; ++t) {
        const SimulatedTrack sim =
            LoggerSimulator::makeTrack(2, 100000, quint32(t + 1), 1239437700u + 86400u * t);
        Track track;
        track.format = 2;
        track.startTime = 1239437700u + 86400u * t;
        track.points.reserve(sim.points.size());
        for (const DeviceTrackPoint &p : sim.points)
            track.points.append(trackPointFromRecord(p));
        tracks.append(track);
    }
    return tracks;
}

template <typename F> double seconds(F f, int repeats = 3)
{
    double best = 1e9;
    for (int i = 0; i < repeats; ++i) {
        QElapsedTimer t;
        t.start();
        f();
        best = qMin(best, t.nsecsElapsed() / 1e9);
    }
    return best;
}

} // namespace

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    QLoggingCategory::setFilterRules(QStringLiteral("lx300.*=false"));
    QTemporaryDir dir;
    const QVector<Track> tracks = makeTracks();
    const QList<int> all{0, 1, 2, 3, 4, 5, 6, 7, 8, 9};
    FixedDisplayUnits settings;
    const FileFormats formats(&settings);
    const QString tkr = dir.filePath(QStringLiteral("big.tkr"));

    const double writeTkr = seconds([&] { formats.write(tracks, tkr, all, false); });
    const qint64 tkrSize = QFileInfo(tkr).size();
    // The raw baseline reads the whole file into fresh memory, as a reader
    // that keeps the bytes must.
    const double rawRead = seconds(
        [&] {
            QFile raw(tkr);
            raw.open(QIODevice::ReadOnly);
            const QByteArray bytes = raw.readAll();
            if (bytes.size() != tkrSize)
                std::printf("short raw read\n");
        },
        5);
    const double readTkr = seconds(
        [&] {
            QVector<Track> back;
            formats.read(back, tkr);
        },
        5);
    {
        // The same measure on the reader, which must hold what it reads.
        const long before = statusKb("VmRSS:");
        resetPeak();
        QVector<Track> back;
        formats.read(back, tkr);
        std::printf("tkr read peak memory added: %.1f MB (it holds the 1,000,000 points)\n",
                    (statusKb("VmHWM:") - before) / 1024.0);
    }
    std::printf("points: 1000000 in 10 tracks; TKR file %lld bytes\n", tkrSize);
    std::printf("tkr write: %.3f s\n", writeTkr);
    std::printf("tkr read: %.3f s, raw read of the same bytes: %.3f s, ratio %.2f (target <= 2)\n",
                readTkr, rawRead, readTkr / rawRead);

    // GDAL's time for the same points, from a CSV with the columns its GPX
    // writer knows (lat, lon, ele, time) to GPX.
    const QString csvIn = dir.filePath(QStringLiteral("in.csv"));
    {
        QFile in(csvIn);
        in.open(QIODevice::WriteOnly);
        in.write("lat,lon,ele,time\n");
        for (const Track &track : tracks)
            for (const TrackPoint &p : track.points)
                in.write(QByteArray::number(p.position.x, 'f', 6) + ',' +
                         QByteArray::number(p.position.y, 'f', 6) + ',' +
                         QByteArray::number(p.position.z, 'f', 2) + ',' +
                         QDateTime::fromSecsSinceEpoch(p.time, Qt::UTC)
                             .toString(Qt::ISODate)
                             .toLatin1() +
                         '\n');
    }
    const QString gdalOut = dir.filePath(QStringLiteral("gdal.gpx"));
    bool gdalOk = false;
    const double gdal = seconds(
        [&] {
            QFile::remove(gdalOut);
            QProcess ogr;
            ogr.start(QStringLiteral("ogr2ogr"),
                      {QStringLiteral("-f"), QStringLiteral("GPX"), gdalOut, csvIn,
                       QStringLiteral("-oo"), QStringLiteral("X_POSSIBLE_NAMES=lon"),
                       QStringLiteral("-oo"), QStringLiteral("Y_POSSIBLE_NAMES=lat"),
                       QStringLiteral("-oo"), QStringLiteral("AUTODETECT_TYPE=YES"),
                       QStringLiteral("-oo"), QStringLiteral("KEEP_GEOM_COLUMNS=NO")});
            gdalOk = ogr.waitForFinished(-1) && ogr.exitCode() == 0 &&
                     QFileInfo(gdalOut).size() > tkrSize;
        },
        1);
    if (!gdalOk) {
        std::fprintf(stderr, "ogr2ogr failed; is gdal-bin installed?\n");
        return 1;
    }
    std::printf("ogr2ogr CSV to GPX: %.3f s\n", gdal);

    for (const char *ext : {".gpx", ".kml", ".csv"}) {
        const QString out = dir.filePath(QStringLiteral("out") + QLatin1String(ext));
        const long before = statusKb("VmRSS:");
        resetPeak();
        const double t = seconds([&] { formats.write(tracks, out, all, false); });
        const long peak = statusKb("VmHWM:");
        std::printf("export %s: %.3f s, ratio to ogr2ogr %.2f (target < 1), peak memory added "
                    "%.1f MB over %.1f MB (target < 50)\n",
                    ext, t, t / gdal, (peak - before) / 1024.0, before / 1024.0);
    }
    return 0;
}
