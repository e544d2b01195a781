#include "fixtures.h"
#include "formats/fileformats.h"
#include "geotag/geotagger.h"
#include "model/units.h"
#include "testfiles.h"
#include "testphotos.h"

#include <QImage>
#include <QImageReader>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QtTest>

#include <exiv2/exiv2.hpp>

namespace {
const qint64 T0 = qint64(Start2009) * 1000; // 08:15:00 UTC

// The track the photos are placed on: points every 10 s from T0 (segment 1: 0-100 s,
// segment 2: 200-300 s, then nothing until 3000 s), moving north-east and up.
Track track()
{
    Track t{Start2009, 2, {}};
    QVector<int> seconds;
    for (int s = 0; s <= 100; s += 10)
        seconds << s;
    for (int s = 200; s <= 300; s += 10)
        seconds << s;
    seconds << 3000;
    for (int s : seconds) {
        TrackPoint p = point(47 + s * 1e-5, 8 + s * 2e-5, 400 + s / 10.0, Start2009 + quint32(s));
        if (s == 200)
            p.flags |= TrackPoint::SegmentStart;
        t.points.append(p);
    }
    return t;
}

// Where the track is at T0 + `s` seconds (within a segment).
QList<double> trackAt(double s)
{
    return {47 + s * 1e-5, 8 + s * 2e-5, 400 + s / 10.0};
}

// Every tag but the position's (and the file system's), and every warning, as ExifTool (the
// field's reference reader) reads them.
QMap<QString, QString> otherTags(const QString &file)
{
    QProcess tool;
    tool.start("exiftool",
               {"-j", "-a", "-G1", "-n", "-u", "--System:all", "--GPS:all", "--Composite:all",
                "--XMP-exif:GPS*", "--ExifTool:ExifToolVersion", file});
    tool.waitForFinished(60000);
    QMap<QString, QString> tags;
    const QJsonObject all = QJsonDocument::fromJson(tool.readAllStandardOutput())[0].toObject();
    for (auto it = all.begin(); it != all.end(); ++it)
        if (it.key() != "SourceFile" && !it.key().startsWith("File:") &&
            !it.key().endsWith("Offsets") && !it.key().endsWith("Offset")) // places move
            tags.insert(it.key(), it.value().toVariant().toString());
    return tags;
}

QImage pixels(const QString &file)
{
    QImageReader reader(file);
    reader.setDecideFormatFromContent(true);
    return reader.read().convertToFormat(QImage::Format_RGB32);
}

QByteArray bytes(const QString &file)
{
    QFile f(file);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

struct Run
{
    int status = -1;
    QJsonObject json;
};

Run geotag(const QStringList &args, const QString &zone = QStringLiteral("UTC"))
{
    QProcess p;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(QStringLiteral("TZ"), zone);
    p.setProcessEnvironment(env);
    p.start(QStringLiteral(LX300_CLI), QStringList{QStringLiteral("geotag")} + args);
    if (!p.waitForFinished(30000))
        return {};
    return {p.exitCode(), QJsonDocument::fromJson(p.readAllStandardOutput()).object()};
}

// The position ExifTool reads back, where it is installed.
QList<double> exiftoolPosition(const QString &file)
{
    QProcess p;
    p.start(QStringLiteral("exiftool"),
            {"-n", "-j", "-GPSLatitude", "-GPSLongitude", "-GPSAltitude", file});
    if (!p.waitForFinished(30000))
        return {};
    const QJsonObject o = QJsonDocument::fromJson(p.readAllStandardOutput()).array()[0].toObject();
    return {o["GPSLatitude"].toDouble(), o["GPSLongitude"].toDouble(), o["GPSAltitude"].toDouble()};
}
} // namespace

class TestGeotag : public QObject
{
    Q_OBJECT

    QScopedPointer<QTemporaryDir> dir;
    QString trackFile;

private slots:
    void init()
    {
        dir.reset(new QTemporaryDir);
        trackFile = dir->filePath("track.gpx");
        const FixedDisplayUnits units;
        QVERIFY(FileFormats(&units).write({track()}, trackFile, {0}, false));
    }

    // One photo per row, tagged by lx300-cli geotag from the track above. `at`: seconds after
    // T0 where the track should have put it; empty where it is not tagged.
    void photos_data()
    {
        QTest::addColumn<QString>("kind");
        QTest::addColumn<QStringList>("tags");
        QTest::addColumn<QStringList>("options");
        QTest::addColumn<QString>("outcome");
        QTest::addColumn<QList<double>>("at");
        const QString date = "Exif.Photo.DateTimeOriginal=";
        const QStringList plus2{"--offset", "+02:00"};
        QTest::newRow("exact point, JPEG") << "jpg" << QStringList{date + "2009:04:11 10:15:10"}
                                           << plus2 << "exact" << QList<double>{10};
        QTest::newRow("interpolated with subseconds, PNG")
            << "png"
            << QStringList{date + "2009:04:11 10:15:15", "Exif.Photo.SubSecTimeOriginal=55"}
            << plus2 << "interpolated" << QList<double>{15.55};
        QTest::newRow("first point, TIFF") << "tif" << QStringList{date + "2009:04:11 10:15:00"}
                                           << plus2 << "exact" << QList<double>{0};
        QTest::newRow("last point, WebP") << "webp" << QStringList{date + "2009:04:11 11:05:00"}
                                          << plus2 << "exact" << QList<double>{3000};
        QTest::newRow("before the track") << "jpg" << QStringList{date + "2009:04:11 10:14:59"}
                                          << plus2 << "outside" << QList<double>{};
        QTest::newRow("gap over the limit") << "jpg" << QStringList{date + "2009:04:11 10:30:00"}
                                            << plus2 << "gap" << QList<double>{};
        QTest::newRow("gap within a raised limit")
            << "jpg" << QStringList{date + "2009:04:11 10:30:00"}
            << plus2 + QStringList{"--max-gap", "3000"} << "interpolated" << QList<double>{900};
        QTest::newRow("across a segment break")
            << "jpg" << QStringList{date + "2009:04:11 10:16:50"} << plus2 << "gap"
            << QList<double>{};
        QTest::newRow("no date") << "jpg" << QStringList{} << plus2 << "no-date" << QList<double>{};
        QTest::newRow("OffsetTimeOriginal over --offset")
            << "jpg"
            << QStringList{date + "2009:04:11 09:15:20", "Exif.Photo.OffsetTimeOriginal=+01:00"}
            << plus2 << "exact" << QList<double>{20};
        QTest::newRow("offset with seconds")
            << "jpg" << QStringList{date + "2009:04:11 10:15:37"}
            << QStringList{"--offset", "+02:00:17"} << "exact" << QList<double>{20};
        QTest::newRow("the computer's zone") // TZ is Europe/Berlin for this row: summer time
            << "jpg" << QStringList{date + "2009:04:11 10:15:40"} << QStringList{} << "exact"
            << QList<double>{40};
        const QStringList hasGps{date + "2009:04:11 10:15:10", "Exif.GPSInfo.GPSLatitudeRef=S",
                                 "Exif.GPSInfo.GPSLatitude=10/1 0/1 0/1",
                                 "Exif.GPSInfo.GPSLongitudeRef=W",
                                 "Exif.GPSInfo.GPSLongitude=20/1 0/1 0/1"};
        QTest::newRow("existing position kept")
            << "jpg" << hasGps << plus2 << "has-position" << QList<double>{};
        QTest::newRow("existing position replaced")
            << "jpg" << hasGps << plus2 + QStringList{"--replace"} << "exact" << QList<double>{10};
        QTest::newRow("RAW: a sidecar") << "raw" << QStringList{date + "2009:04:11 10:15:30"}
                                        << plus2 << "exact" << QList<double>{30};
        QTest::newRow("JPEG into a sidecar on request")
            << "jpg" << QStringList{date + "2009:04:11 10:15:30"}
            << plus2 + QStringList{"--sidecar"} << "exact" << QList<double>{30};
        QTest::newRow("damaged JPEG") << "damaged" << QStringList{date + "2009:04:11 10:15:10"}
                                      << plus2 << "unreadable" << QList<double>{};
        QTest::newRow("dry run") << "jpg" << QStringList{date + "2009:04:11 10:15:10"}
                                 << plus2 + QStringList{"--dry-run"} << "exact" << QList<double>{};
    }

    void photos()
    {
        QFETCH(QString, kind);
        QFETCH(QStringList, tags);
        QFETCH(QStringList, options);
        QFETCH(QString, outcome);
        QFETCH(QList<double>, at);
        const QString file = makePhoto(dir->path(), kind, tags);
        QVERIFY(!file.isEmpty());
        const QByteArray before = bytes(file);
        const QImage image = pixels(file);
        const QString original = dir->filePath("original." + QFileInfo(file).suffix());
        QVERIFY(QFile::copy(file, original)); // its tags are read only where they may change
        const QDateTime modified = QFileInfo(file).lastModified();
        const QFile::Permissions permissions = QFileInfo(file).permissions();
        const QString zone =
            QTest::currentDataTag() == QByteArray("the computer's zone") ? "Europe/Berlin" : "UTC";
        const Run run = geotag(QStringList{trackFile, "--json", "--photos", file} + options, zone);
        const QJsonObject result = run.json["photos"].toArray()[0].toObject();
        QVERIFY2(result["outcome"].toString() == outcome, qPrintable(result["reason"].toString()));
        QCOMPARE(run.status, outcome == "unreadable" ? 1 : 0);
        const QString sidecar = dir->filePath("photo.xmp");
        QCOMPARE(QFile::exists(sidecar),
                 !at.isEmpty() && (kind == "raw" || options.contains("--sidecar")));
        if (at.isEmpty() || kind == "raw" || options.contains("--sidecar")) {
            QCOMPARE(bytes(file), before); // nothing written into the photo
        } else { // the picture and every other tag as they were, the file's time kept
            QCOMPARE(pixels(file), image);
            QCOMPARE(otherTags(file), otherTags(original));
            QCOMPARE(QFileInfo(file).lastModified(), modified);
            QCOMPARE(QFileInfo(file).permissions(), permissions);
        }
        if (at.isEmpty())
            return;
        const QList<double> expected = trackAt(at[0]);
        const PhotoMeta::Photo back = PhotoMeta::read(file);
        QVERIFY(back.hasPosition || back.sidecarPosition);
        QVERIFY2(
            qAbs(back.latitude - expected[0]) < 1e-7 && qAbs(back.longitude - expected[1]) < 1e-7,
            qPrintable(
                QString("%1 %2").arg(back.latitude, 0, 'f', 8).arg(back.longitude, 0, 'f', 8)));
        QVERIFY(qAbs(result["altitude"].toDouble() - expected[2]) < 1e-6);
        if (QStandardPaths::findExecutable("exiftool").isEmpty())
            return;
        const QList<double> read = exiftoolPosition(QFile::exists(sidecar) ? sidecar : file);
        QVERIFY2(read.size() == 3 && qAbs(read[0] - expected[0]) < 1e-7 &&
                     qAbs(read[1] - expected[1]) < 1e-7 && qAbs(read[2] - expected[2]) < 1e-3,
                 qPrintable(
                     QString("%1 %2 %3").arg(read.value(0)).arg(read.value(1)).arg(read.value(2))));
    }

    // One photo read-only, one sidecar already there with other data: the read-only one is
    // reported and left, the others written; the sidecar keeps what it held.
    void severalPhotos()
    {
        const QString date = "Exif.Photo.DateTimeOriginal=2009:04:11 10:15:10";
        const QString locked = makePhoto(dir->path(), "jpg", {date});
        QVERIFY(QFile::rename(locked, dir->filePath("locked.jpg")));
        QFile::setPermissions(dir->filePath("locked.jpg"), QFile::ReadOwner | QFile::ReadGroup);
        const QString raw = makePhoto(dir->path(), "raw", {date});
        QFile old(dir->filePath("photo.xmp"));
        QVERIFY(old.open(QIODevice::WriteOnly));
        old.write("<x:xmpmeta xmlns:x=\"adobe:ns:meta/\"><rdf:RDF xmlns:rdf=\"http://www.w3.org/"
                  "1999/02/22-rdf-syntax-ns#\"><rdf:Description rdf:about=\"\" xmlns:xmp="
                  "\"http://ns.adobe.com/xap/1.0/\" xmp:Rating=\"4\"/></rdf:RDF></x:xmpmeta>");
        old.close();
        const QString plain = makePhoto(dir->path(), "png", {date});
        const QByteArray lockedBytes = bytes(dir->filePath("locked.jpg"));
        const Run run =
            geotag({trackFile, "--offset", "+02:00", "--json", "--photos", dir->path()});
        QVERIFY2(run.status == 1, QJsonDocument(run.json).toJson());
        const QJsonObject summary = run.json["summary"].toObject();
        QCOMPARE(summary["unwritable"].toInt(), 1);
        QVERIFY2(summary["exact"].toInt() == 2, QJsonDocument(run.json).toJson());
        QCOMPARE(bytes(dir->filePath("locked.jpg")), lockedBytes);
        QVERIFY(PhotoMeta::read(plain).hasPosition);
        QVERIFY(PhotoMeta::read(raw).sidecarPosition);
        // What the sidecar held stays (as an attribute or an element: the same XMP).
        QVERIFY(QString(bytes(dir->filePath("photo.xmp")))
                    .contains(QRegularExpression("Rating(=\"|>)4")));
    }

    // The other three quarters of the globe, the antimeridian, and tracks that overlap in time
    // (a phone's and the logger's of one walk, or one file twice): a photo 5 s after the first
    // of two points 10 s apart lands half-way, as ExifTool reads it back.
    void otherQuarters_data()
    {
        QTest::addColumn<QList<double>>("from"); // lat, lon of the first point
        QTest::addColumn<QList<double>>("to");
        QTest::addColumn<QList<double>>("at"); // where the photo lands
        QTest::addColumn<int>("copies");       // the track file given so many times
        QTest::newRow("south-west") << QList<double>{-33.9, -70.6} << QList<double>{-33.8, -70.8}
                                    << QList<double>{-33.85, -70.7} << 1;
        QTest::newRow("north-west") << QList<double>{40.7, -74.0} << QList<double>{40.8, -73.9}
                                    << QList<double>{40.75, -73.95} << 1;
        QTest::newRow("south-east") << QList<double>{-37.8, 144.9} << QList<double>{-37.9, 145.1}
                                    << QList<double>{-37.85, 145.0} << 1;
        QTest::newRow("across the antimeridian")
            << QList<double>{-16.5, 179.9} << QList<double>{-16.7, -179.9}
            << QList<double>{-16.6, 180.0} << 1;
        QTest::newRow("the same track twice")
            << QList<double>{47.1, 8.1} << QList<double>{47.2, 8.3} << QList<double>{47.15, 8.2}
            << 2;
    }

    void otherQuarters()
    {
        QFETCH(QList<double>, from);
        QFETCH(QList<double>, to);
        QFETCH(QList<double>, at);
        QFETCH(int, copies);
        Track t{Start2009,
                2,
                {point(from[0], from[1], 10, Start2009), point(to[0], to[1], 20, Start2009 + 10)}};
        const QString file = dir->filePath("q.gpx");
        const FixedDisplayUnits units;
        QVERIFY(FileFormats(&units).write({t}, file, {0}, false));
        // A second track overlapping the first in time, elsewhere: it must not hide the first.
        const QString other = dir->filePath("o.gpx");
        Track far{
            Start2009 - 100, 2, {point(0, 0, 0, Start2009 - 100), point(0, 1, 0, Start2009 + 900)}};
        far.points[1].flags |= TrackPoint::SegmentStart; // a break: no line across the photo
        QVERIFY(FileFormats(&units).write({far}, other, {0}, false));
        const QString photo =
            makePhoto(dir->path(), "jpg", {"Exif.Photo.DateTimeOriginal=2009:04:11 08:15:05"});
        QStringList args{file};
        for (int i = 1; i < copies; ++i)
            args << file;
        const Run run = geotag(args << other << "--offset"
                                    << "+00:00"
                                    << "--photos" << photo << "--json");
        QCOMPARE(run.json["photos"].toArray()[0].toObject()["outcome"].toString(),
                 QStringLiteral("interpolated"));
        const QList<double> back = exiftoolPosition(photo);
        QVERIFY2(qAbs(back.value(0) - at[0]) < 1e-6 &&
                     qAbs(std::remainder(back.value(1) - at[1], 360.0)) < 1e-6,
                 qPrintable(QStringLiteral("%1 %2").arg(back.value(0)).arg(back.value(1))));
    }

    // What another program does meanwhile, and entries that are no photo: each reported on a
    // line of its own, nothing written where the photo is not the one read.
    void hostilePhotos()
    {
        const QString date = "Exif.Photo.DateTimeOriginal=2009:04:11 10:15:10";
        const QString odd = makePhoto(dir->path(), "jpg", {date}, "new\nline");
        QVERIFY(QFile::link(dir->filePath("nothing.jpg"), dir->filePath("gone.jpg")));
        QVERIFY(QFile::link(dir->filePath("loop.jpg"), dir->filePath("loop.jpg")));
        const QString cut = makePhoto(dir->path(), "tif", {date}, "cut");
        QFile tiff(cut);
        QVERIFY(tiff.open(QIODevice::ReadWrite) && tiff.resize(tiff.size() * 6 / 10));
        tiff.close();
        const QByteArray cutBytes = bytes(cut);
        QProcess cli;
        cli.start(LX300_CLI, {"geotag", trackFile, "--offset", "+02:00", "--photos", dir->path()});
        QVERIFY(cli.waitForFinished(30000));
        const QStringList lines =
            QString(cli.readAllStandardOutput()).split('\n', Qt::SkipEmptyParts);
        QCOMPARE(lines.size(), 5); // four entries and the summary
        QVERIFY(lines.filter("gone.jpg\tunreadable: a link to a missing file").size() == 1);
        QVERIFY(lines.filter("loop.jpg\tunreadable: a loop of links").size() == 1);
        QVERIFY2(lines.filter("new\\nline.jpg\ttagged (exact)").size() == 1,
                 qPrintable(lines.join('|')));
        QCOMPARE(bytes(cut), cutBytes); // refused or unreadable, never replaced
        QVERIFY(lines.filter("cut.tif\tun").size() == 1);
        QVERIFY(!exiftoolPosition(odd).isEmpty() && exiftoolPosition(odd)[0] > 47);

        // The photo that was read is renamed away and another takes its name: refused.
        const QString a = makePhoto(dir->path(), "jpg", {date}, "a");
        const QString b = makePhoto(dir->path(), "jpg", {date}, "b");
        const PhotoMeta::Photo read = PhotoMeta::read(a);
        QVERIFY(QFile::remove(a) && QFile::rename(b, a));
        const QByteArray other = bytes(a);
        PhotoMeta::Writer writer;
        QString why;
        QVERIFY(!writer.write(read, {47, 8, false, 0, T0}, false, false, &why));
        QCOMPARE(why, QStringLiteral("changed while tagging"));
        QCOMPARE(bytes(a), other);

        // Without ExifTool positions go into sidecars only, and that is said once.
        const QString c = makePhoto(dir->path(), "jpg", {date}, "c");
        const QByteArray before = bytes(c);
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert("LX300_EXIFTOOL", "");
        env.insert("TZ", "UTC");
        cli.setProcessEnvironment(env);
        cli.start(LX300_CLI, {"geotag", trackFile, "--offset", "+02:00", "--photos", c});
        QVERIFY(cli.waitForFinished(30000));
        QCOMPARE(QString(cli.readAllStandardError()).count("ExifTool is not installed"), 1);
        QCOMPARE(bytes(c), before);
        QVERIFY(PhotoMeta::read(c).sidecarPosition);
        QVERIFY(QString(bytes(dir->filePath("c.xmp")))
                    .contains(QRegularExpression("GPSTimeStamp(=\"|>)2009-04-11T08:15:10[.0]*Z")));
    }

    // Two RAW files of one name get a sidecar each; an XMP date without a time is no date;
    // iPhone (HEIC) and AVIF photos have their dates read and get sidecars.
    void sidecarsAndXmpDates()
    {
        const QString jpeg = makePhoto(dir->path(), "jpg",
                                       {"Exif.Photo.DateTimeOriginal=2009:04:11 10:15:20"}, "src");
        for (const char *kind : {"heic", "avif"}) {
            const QString file = dir->filePath(QStringLiteral("phone.") + kind);
            QCOMPARE(QProcess::execute(
                         "heif-enc",
                         QStringList{"-q", "50", jpeg, "-o", file} +
                             (kind == QByteArray("avif") ? QStringList{"-A"} : QStringList{})),
                     0);
            const Run r = geotag({trackFile, "--offset", "+02:00", "--json", "--photos", file});
            QCOMPARE(r.json["photos"][0]["outcome"].toString(), QStringLiteral("exact"));
            QCOMPARE(r.json["photos"][0]["sidecar"].toString(), dir->filePath("phone.xmp"));
            QVERIFY(QFile::remove(dir->filePath("phone.xmp")));
        }
        const QString date = "Exif.Photo.DateTimeOriginal=2009:04:11 10:15:10";
        const QString cr2 = makePhoto(dir->path(), "raw", {date}, "IMG");
        QVERIFY(QFile::copy(cr2, dir->filePath("IMG.NEF")));
        const QString dateOnly = makePhoto(dir->path(), "jpg", {}, "dated");
        QCOMPARE(QProcess::execute("exiftool", {"-q", "-overwrite_original",
                                                "-XMP-photoshop:DateCreated=2009:04:11", dateOnly}),
                 0);
        const Run run = geotag({trackFile, "--offset", "+02:00", "--json", "--photos", cr2,
                                dir->filePath("IMG.NEF"), dateOnly});
        const QJsonArray photos = run.json["photos"].toArray();
        QCOMPARE(photos[0].toObject()["sidecar"].toString(), cr2 + ".xmp");
        QCOMPARE(photos[1].toObject()["sidecar"].toString(), dir->filePath("IMG.NEF.xmp"));
        QVERIFY(!QFile::exists(dir->filePath("IMG.xmp")));
        QCOMPARE(photos[2].toObject()["outcome"].toString(), QStringLiteral("no-date"));
    }

    // A camera's 02:30 on the night the computer's clock springs from 02:00 to 03:00 is a
    // time like any other.
    void timesInTheSpringGap()
    {
        const QString photo =
            makePhoto(dir->path(), "jpg", {"Exif.Photo.DateTimeOriginal=2021:03:28 02:30:00"});
        const Run run =
            geotag({trackFile, "--offset", "+01:00", "--dry-run", "--json", "--photos", photo},
                   "Europe/Berlin");
        const QJsonObject r = run.json["photos"].toArray()[0].toObject();
        QCOMPARE(r["outcome"].toString(), QStringLiteral("outside"));
        QCOMPARE(r["time"].toString(), QStringLiteral("2021-03-28T01:30:00Z"));
    }

    // A camera 1 h 17 s ahead of UTC; two phone photos carry where they were taken, a third
    // is a camera photo without one.
    void estimate()
    {
        const Geotag::Timeline timeline({track()});
        QVector<PhotoMeta::Photo> photos(3);
        for (int i = 0; i < 3; ++i) {
            photos[i].readable = true;
            photos[i].clockMs = T0 + (20 + 30 * i) * 1000 + 3617000 + i * 2000;
            photos[i].hasPosition = i < 2;
            photos[i].latitude = trackAt(20 + 30 * i)[0];
            photos[i].longitude = trackAt(20 + 30 * i)[1];
        }
        const std::optional<Geotag::Estimate> e = Geotag::estimateOffset(photos, timeline);
        QVERIFY(e);
        QCOMPARE(e->photos, 2);
        QCOMPARE(e->offsetS, 3619); // the median of 3617 and 3619, the later one
        QCOMPARE(e->spreadS, 2);
        QCOMPARE(Geotag::offsetText(e->offsetS), QStringLiteral("+01:00:19"));
        QCOMPARE(Geotag::offsetFor(photos[2], T0 + 80000), 3621);
    }
};

QTEST_GUILESS_MAIN(TestGeotag)
#include "tst_geotag.moc"
