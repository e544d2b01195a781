// Reading a 1,000,000-point GPX file: the time against GDAL's
// `ogr2ogr -f CSV` converting the same file in the same run (target at most
// half), and the memory the read adds at its peak against the size of the
// points it holds (target under twice). The same points as the program's CSV:
// read in at most the GPX's time. Needs ogr2ogr (Debian's gdal-bin).
// The formats of other devices, each against an outside reader of the same file:
// - 1,000,000 FIT records (written by Garmin's FIT SDK) against the SDK's own decoder under
//   Node: at most 0.2 of its time;
// - 1,000,000 NMEA sentences (RMC and GGA of 500,000 fixes) against pynmea2 parsing each line
//   (Debian's python3-nmea2): at most 0.05;
// - the 1,000,000 points as GeoJSON against ogr2ogr turning it into CSV: at most 0.5.
#include "formats/fileformats.h"
#include "model/conversions.h"
#include "model/units.h"
#include "tools/sim/loggersimulator.h"

#include <QCoreApplication>
#include <QDir>
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

// Seconds a program takes, or -1 when it fails.
double timed(const QString &program, const QStringList &arguments)
{
    QElapsedTimer t;
    t.start();
    QProcess p;
    p.start(program, arguments);
    if (!p.waitForFinished(1800000) || p.exitCode() != 0) {
        std::fprintf(stderr, "bench_readers: %s failed: %s\n", qPrintable(program),
                     p.readAllStandardError().constData());
        return -1;
    }
    return t.nsecsElapsed() / 1e9;
}

// 500,000 fixes, each an RMC and a GGA sentence with their checksums.
void writeNmea(const QString &name)
{
    QFile f(name);
    if (!f.open(QIODevice::WriteOnly))
        return;
    const auto sentence = [](const QByteArray &body) {
        uchar sum = 0;
        for (char c : body)
            sum ^= uchar(c);
        return '$' + body + '*' + QByteArray::number(sum, 16).toUpper().rightJustified(2, '0') +
               "\r\n";
    };
    QByteArray out;
    for (int i = 0; i < 500000; ++i) {
        const int s = i % 86400;
        const QByteArray time = QByteArray::number(s / 3600).rightJustified(2, '0') +
                                QByteArray::number(s / 60 % 60).rightJustified(2, '0') +
                                QByteArray::number(s % 60).rightJustified(2, '0') + ".00";
        const QByteArray lat = "47" + QByteArray::number(15 + (i % 1000) / 1000.0, 'f', 5);
        const QByteArray date = QByteArray::number(1 + i / 86400).rightJustified(2, '0') + "0124";
        out +=
            sentence("GPRMC," + time + ",A," + lat + ",N,00830.00000,E,12.5,84.4," + date + ",,,A");
        out += sentence("GPGGA," + time + "," + lat + ",N,00830.00000,E,1,08,0.9," +
                        QByteArray::number(400 + i % 50) + ".0,M,47.0,M,,");
        if (out.size() > (1 << 20)) {
            f.write(out);
            out.clear();
        }
    }
    f.write(out);
}

// The other devices' formats, each against its outside reader.
int otherFormats(const QDir &dir, const QString &gpx)
{
    const auto readIn = [](const QString &file) {
        QProcess reader;
        reader.start(QCoreApplication::applicationFilePath(), {QStringLiteral("--read"), file});
        reader.waitForFinished(600000);
        return reader.exitCode() == 0
                   ? reader.readAllStandardOutput().split(' ').value(0).toDouble()
                   : -1.0;
    };
    const QString fit = dir.filePath(QStringLiteral("big.fit"));
    const QString nmea = dir.filePath(QStringLiteral("big.nmea"));
    const QString geojson = dir.filePath(QStringLiteral("big.geojson"));
    if (timed(QStringLiteral("node"), {QStringLiteral(LX300_FIT_SCRIPT), QStringLiteral("generate"),
                                       QStringLiteral("1000000"), fit}) < 0)
        return 1;
    writeNmea(nmea);
    FixedDisplayUnits settings;
    const FileFormats formats(&settings);
    {
        QVector<Track> tracks;
        if (!formats.read(tracks, gpx) || !formats.write(tracks, geojson, {0}, false))
            return 1;
    }
    const double fitOurs = readIn(fit), nmeaOurs = readIn(nmea), geoOurs = readIn(geojson);
    const double sdk = timed(QStringLiteral("node"),
                             {QStringLiteral(LX300_FIT_SCRIPT), QStringLiteral("count"), fit});
    const double pynmea = timed(
        QStringLiteral("/usr/bin/python3"),
        {QStringLiteral("-c"),
         QStringLiteral("import sys, pynmea2\nfor line in open(sys.argv[1]): pynmea2.parse(line)"),
         nmea});
    const double ogr =
        timed(QStringLiteral("ogr2ogr"),
              {QStringLiteral("--config"), QStringLiteral("OGR_GEOJSON_MAX_OBJ_SIZE"),
               QStringLiteral("0"), QStringLiteral("-f"), QStringLiteral("CSV"),
               dir.filePath(QStringLiteral("geo.csv")), geojson});
    if (fitOurs < 0 || nmeaOurs < 0 || geoOurs < 0 || sdk < 0 || pynmea < 0 || ogr < 0)
        return 1;
    std::printf("1,000,000 FIT records (%.0f MB): read in %.2f s, the FIT SDK's decoder %.2f s: "
                "ratio %.3f (target <= 0.2)\n",
                QFile(fit).size() / 1048576.0, fitOurs, sdk, fitOurs / sdk);
    std::printf("1,000,000 NMEA sentences (%.0f MB): read in %.2f s, pynmea2 %.2f s: ratio %.3f "
                "(target <= 0.05)\n",
                QFile(nmea).size() / 1048576.0, nmeaOurs, pynmea, nmeaOurs / pynmea);
    std::printf("1,000,000-point GeoJSON (%.0f MB): read in %.2f s, ogr2ogr -f CSV %.2f s: ratio "
                "%.2f (target <= 0.5)\n",
                QFile(geojson).size() / 1048576.0, geoOurs, ogr, geoOurs / ogr);
    return 0;
}

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    if (argc == 3 && QByteArray(argv[1]) == "--read")
        return readOnly(QString::fromLocal8Bit(argv[2]));
    const bool othersOnly = argc == 2 && QByteArray(argv[1]) == "--others";
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
    if (othersOnly)
        return otherFormats(QDir(dir.path()), gpx);
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
    return otherFormats(QDir(dir.path()), gpx);
}
