// Reading a 1,000,000-point GPX file: the time against GDAL's
// `ogr2ogr -f CSV` converting the same file in the same run (target at most
// half), and the memory the read adds at its peak against the size of the
// points it holds (target under twice). The same points as the program's CSV:
// read in at most the GPX's time. Needs ogr2ogr (Debian's gdal-bin).
#include "formats/fileformats.h"
#include "model/conversions.h"
#include "model/units.h"
#include "tools/sim/loggersimulator.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>

#include <cstdio>

namespace {
// The process's peak resident memory so far, in MB (Linux).
double peakMb()
{
    QFile f(QStringLiteral("/proc/self/status"));
    if (!f.open(QIODevice::ReadOnly))
        return 0;
    for (const QByteArray &line : f.readAll().split('\n'))
        if (line.startsWith("VmHWM:"))
            return line.mid(6).trimmed().split(' ').value(0).toDouble() / 1024;
    return 0;
}
} // namespace

// Resident memory now, in MB (Linux).
double residentMb()
{
    QFile f(QStringLiteral("/proc/self/status"));
    if (!f.open(QIODevice::ReadOnly))
        return 0;
    for (const QByteArray &line : f.readAll().split('\n'))
        if (line.startsWith("VmRSS:"))
            return line.mid(6).trimmed().split(' ').value(0).toDouble() / 1024;
    return 0;
}

// In a process of its own, so the peak is the read's: prints seconds, MB added, MB of points.
int readOnly(const QString &gpx)
{
    FixedDisplayUnits settings;
    const FileFormats formats(&settings);
    const double before = residentMb();
    QElapsedTimer t;
    t.start();
    QVector<Track> read;
    if (!formats.read(read, gpx))
        return 1;
    std::printf("%f %f %f\n", t.nsecsElapsed() / 1e9, peakMb() - before,
                double(read.value(0).points.size()) * sizeof(TrackPoint) / 1048576.0);
    return 0;
}

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    if (argc == 3 && QByteArray(argv[1]) == "--read")
        return readOnly(QString::fromLocal8Bit(argv[2]));
    QTemporaryDir dir;
    const QString gpx = dir.filePath(QStringLiteral("big.gpx"));
    const QString csv = dir.filePath(QStringLiteral("big.csv"));
    FixedDisplayUnits settings;
    const FileFormats formats(&settings);
    {
        const SimulatedTrack sim = LoggerSimulator::makeTrack(2, 1000000, 7, 1239437700u);
        QVector<Track> tracks{Track{1239437700u, 2, {}}};
        for (const DeviceTrackPoint &p : sim.points)
            tracks[0].points.append(trackPointFromRecord(p));
        formats.write(tracks, gpx, {0}, false);
        formats.write(tracks, csv, {0}, false);
    }
    const auto readIn = [](const QString &file) {
        QProcess reader;
        reader.start(QCoreApplication::applicationFilePath(), {QStringLiteral("--read"), file});
        if (!reader.waitForFinished(600000) || reader.exitCode() != 0)
            return QList<QByteArray>();
        return reader.readAllStandardOutput().trimmed().split(' ');
    };
    const QList<QByteArray> figures = readIn(gpx);
    const QList<QByteArray> csvFigures = readIn(csv);
    if (figures.size() < 3 || csvFigures.size() < 3) {
        std::fprintf(stderr, "bench_readers: a read failed\n");
        return 1;
    }
    const double ours = figures.value(0).toDouble();
    const double added = figures.value(1).toDouble();
    const double held = figures.value(2).toDouble();
    QElapsedTimer t;
    t.start();
    QProcess ogr;
    ogr.start(QStringLiteral("ogr2ogr"),
              {QStringLiteral("-f"), QStringLiteral("CSV"),
               dir.filePath(QStringLiteral("points.csv")), gpx, QStringLiteral("track_points")});
    if (!ogr.waitForFinished(600000) || ogr.exitCode() != 0) {
        std::fprintf(stderr, "bench_readers: ogr2ogr failed\n");
        return 1;
    }
    const double gdal = t.nsecsElapsed() / 1e9;
    std::printf("1,000,000-point GPX (%.0f MB): read in %.2f s, ogr2ogr -f CSV %.2f s: ratio %.2f "
                "(target <= 0.5)\n",
                QFile(gpx).size() / 1048576.0, ours, gdal, ours / gdal);
    std::printf("memory added at the peak %.0f MB for %.0f MB of points: %.2fx (target < 2)\n",
                added, held, added / held);
    const double csvTime = csvFigures.value(0).toDouble();
    std::printf("the same points as the program's CSV (%.0f MB): read in %.2f s, %.2f of the "
                "GPX's time (target <= 1)\n",
                QFile(csv).size() / 1048576.0, csvTime, csvTime / ours);
    return 0;
}
