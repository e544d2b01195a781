// Geotagging 400 JPEG photos (1600 x 1200, made here, dates written with exiv2) from a
// one-hour track: lx300-cli geotag (which writes through ExifTool) against ExifTool's own
// -geotag on copies of the same photos (target: at most 1.2 times its time); then reading and
// planning 10,000 small photos as the preview does (lx300-cli geotag --dry-run; target under
// 2 s). Needs exiftool (Debian: libimage-exiftool-perl).
#include "formats/fileformats.h"
#include "geotag/geotagger.h"
#include "model/units.h"

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QImage>
#include <QProcess>
#include <QStandardPaths>
#include <QTemporaryDir>

#include <exiv2/exiv2.hpp>

#include <cmath>
#include <cstdio>

namespace {
constexpr quint32 Start = 1239437700; // 2009-04-11 08:15:00 UTC
constexpr int Photos = 400;
constexpr int Planned = 10000;

double run(const QString &program, const QStringList &args)
{
    QProcess p;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(QStringLiteral("TZ"), QStringLiteral("UTC")); // camera clocks on UTC for both
    p.setProcessEnvironment(env);
    QElapsedTimer t;
    t.start();
    p.start(program, args);
    if (!p.waitForFinished(600000) || p.exitCode() != 0) {
        std::fprintf(stderr, "%s failed: %s\n", qPrintable(program),
                     p.readAllStandardError().constData());
        return -1;
    }
    return t.nsecsElapsed() / 1e9;
}
} // namespace

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    const QString exiftool = QStandardPaths::findExecutable(QStringLiteral("exiftool"));
    if (exiftool.isEmpty()) {
        std::printf("exiftool is not installed: nothing to compare with\n");
        return 0;
    }
    QTemporaryDir dir;
    QDir(dir.path()).mkdir(QStringLiteral("ours"));
    QDir(dir.path()).mkdir(QStringLiteral("theirs"));

    Track track{Start, 2, {}};
    for (quint32 s = 0; s <= 3600; ++s) {
        TrackPoint p;
        p.position = Vec3(47 + s * 1e-5, 8 + s * 1e-5, 400 + s % 100);
        p.time = Start + s;
        p.speed = 500;
        track.points.append(p);
    }
    const QString gpx = dir.filePath(QStringLiteral("track.gpx"));
    const FixedDisplayUnits units;
    FileFormats(&units).write({track}, gpx, {0}, false);

    QImage image(1600, 1200, QImage::Format_RGB32);
    for (int y = 0; y < image.height(); ++y)
        for (int x = 0; x < image.width(); ++x)
            image.setPixel(x, y, qRgb((x * 7 + y) & 255, (y * 3) & 255, (x ^ y) & 255));
    const QString first = dir.filePath(QStringLiteral("first.jpg"));
    image.save(first, "JPEG", 90);
    for (int i = 0; i < Photos; ++i) {
        const QString name = QStringLiteral("/P%1.jpg").arg(i, 4, 10, QLatin1Char('0'));
        const QString ours = dir.path() + QStringLiteral("/ours") + name;
        QFile::copy(first, ours);
        auto photo = Exiv2::ImageFactory::open(ours.toStdString());
        photo->readMetadata();
        Exiv2::ExifData exif = photo->exifData();
        const int s = 5 + i * 9; // every 9 s from 08:15:05
        exif["Exif.Photo.DateTimeOriginal"] = QStringLiteral("2009:04:11 08:%1:%2")
                                                  .arg(15 + s / 60, 2, 10, QLatin1Char('0'))
                                                  .arg(s % 60, 2, 10, QLatin1Char('0'))
                                                  .toStdString();
        exif["Exif.Image.Make"] = "Bench camera";
        photo->setExifData(exif);
        photo->writeMetadata();
        QFile::copy(ours, dir.path() + QStringLiteral("/theirs") + name);
    }

    const double theirs =
        run(exiftool, {QStringLiteral("-q"), QStringLiteral("-overwrite_original"),
                       QStringLiteral("-geotag"), gpx, dir.filePath(QStringLiteral("theirs"))});
    const double ours =
        run(QStringLiteral(LX300_CLI),
            {QStringLiteral("geotag"), gpx, QStringLiteral("--offset"), QStringLiteral("+00:00"),
             QStringLiteral("--photos"), dir.filePath(QStringLiteral("ours"))});
    if (ours < 0 || theirs < 0)
        return 1;
    std::printf("%d photos geotagged: lx300-cli %.2f s, exiftool -geotag %.2f s: ratio %.2f "
                "(target <= 1.2)\n",
                Photos, ours, theirs, ours / theirs);

    // The preview: 10,000 photos of 320 x 240 read and placed, nothing written.
    const QString many = dir.filePath(QStringLiteral("many"));
    QDir(dir.path()).mkdir(QStringLiteral("many"));
    const QString small = dir.filePath(QStringLiteral("small.jpg"));
    image.scaled(320, 240).save(small, "JPEG", 90);
    {
        auto photo = Exiv2::ImageFactory::open(small.toStdString());
        photo->readMetadata();
        Exiv2::ExifData exif = photo->exifData();
        exif["Exif.Photo.DateTimeOriginal"] = "2009:04:11 08:30:00";
        photo->setExifData(exif);
        photo->writeMetadata();
    }
    for (int i = 0; i < Planned; ++i)
        QFile::copy(small, many + QStringLiteral("/S%1.jpg").arg(i, 5, 10, QLatin1Char('0')));
    const double planned =
        run(QStringLiteral(LX300_CLI),
            {QStringLiteral("geotag"), gpx, QStringLiteral("--offset"), QStringLiteral("+00:00"),
             QStringLiteral("--dry-run"), QStringLiteral("--photos"), many});
    if (planned < 0)
        return 1;
    std::printf("%d photos read and placed, nothing written: %.2f s (target < 2 s)\n", Planned,
                planned);

    // The offset estimate: 1,000 photos with a position against a ten-day, 1,000,000-point log.
    Track log{Start, 2, {}};
    log.points.reserve(1000000);
    for (quint32 s = 0; s < 1000000; ++s) {
        TrackPoint p;
        p.position = Vec3(47 + std::sin(s * 1e-4) * 0.3, 8 + s * 1e-6, 400);
        p.time = Start + s;
        log.points.append(p);
    }
    QVector<PhotoMeta::Photo> positioned(1000);
    for (int i = 0; i < positioned.size(); ++i) {
        const TrackPoint &p = log.points[i * 997];
        positioned[i].readable = positioned[i].hasPosition = true;
        positioned[i].latitude = p.position.x + 1e-4;
        positioned[i].longitude = p.position.y;
        positioned[i].clockMs = (qint64(p.time) + 3600) * 1000;
    }
    QElapsedTimer t;
    t.start();
    const Geotag::Timeline timeline({log});
    const std::optional<Geotag::Estimate> e = Geotag::estimateOffset(positioned, timeline);
    std::printf("offset estimate, 1,000 photos on 1,000,000 points: %.2f s (target < 1 s), "
                "offset %d s\n",
                t.nsecsElapsed() / 1e9, e ? e->offsetS : 0);
    return 0;
}
