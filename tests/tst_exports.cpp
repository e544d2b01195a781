#include "filesizelimit.h"
#include "formats/exportsettings.h"
#include "formats/fileformatcsv.h"
#include "formats/fileformatgpx.h"
#include "formats/fileformatkml.h"
#include "formats/fileformats.h"

#include <QProcess>
#include <QRegularExpression>
#include <QtTest>

namespace {

TrackPoint point(double lat, double lon, double alt, quint32 time, quint32 speed, int marked)
{
    TrackPoint p;
    p.position = Vec3(lat, lon, alt);
    p.time = time;
    p.speed = speed;
    p.marked = marked;
    return p;
}

// 2009-04-11 08:15:00 UTC and a few points after it.
const quint32 Start = 1239437700;

QVector<Track> sampleTracks()
{
    Track a;
    a.startTime = Start;
    a.format = 2;
    a.points = {point(45.5, 7.25, 10, Start + 3, 3600, 0),
                point(-33.5, -70.25, -12.5, Start + 8, 0, 1)};
    Track b;
    b.startTime = Start + 7200; // 10:15:00 UTC
    b.format = 1;
    b.points = {point(47.602057, 8.3, 0, Start + 7203, 1234, 1),
                point(47.60206, 8.31, 0, Start + 7208, 1000000, 0)};
    return {a, b};
}

QString readText(const QString &name)
{
    QFile f(name);
    f.open(QIODevice::ReadOnly);
    return QString::fromUtf8(f.readAll());
}

// Runs GDAL's ogrinfo on a file and returns "layer=count" for each layer.
QStringList ogrCounts(const QString &name)
{
    QProcess ogr;
    ogr.start(QStringLiteral("ogrinfo"),
              {QStringLiteral("-ro"), QStringLiteral("-al"), QStringLiteral("-so"), name});
    if (!ogr.waitForFinished(60000) || ogr.exitCode() != 0)
        return {QStringLiteral("ogrinfo failed: ") +
                QString::fromLocal8Bit(ogr.readAllStandardError())};
    QStringList counts;
    QString layer;
    static const QRegularExpression layerLine(QStringLiteral("^Layer name: (.*)$"));
    static const QRegularExpression countLine(QStringLiteral("^Feature Count: (\\d+)$"));
    for (const QString &line : QString::fromLocal8Bit(ogr.readAllStandardOutput()).split('\n')) {
        if (auto m = layerLine.match(line.trimmed()); m.hasMatch())
            layer = m.captured(1);
        else if (auto c = countLine.match(line.trimmed()); c.hasMatch())
            counts << layer + QLatin1Char('=') + c.captured(1);
    }
    return counts;
}

} // namespace

class TestExports : public QObject
{
    Q_OBJECT

public:
    static void initMain() { qputenv("TZ", "XST-8"); }

private slots:
    void init() { dir.reset(new QTemporaryDir); }
    void gpx_data();
    void gpx();
    void kml_data();
    void kml();
    void csv_data();
    void csv();
    void csvFormatsOfOneExport();
    void gdalReadsTheExports_data();
    void gdalReadsTheExports();
    void lookupByExtension_data();
    void lookupByExtension();
    void exportsDoNotRead();
    void failedExportKeepsTheOldFile();
    void unwritablePaths_data();
    void unwritablePaths();

private:
    QString path(const QString &name) const { return dir->filePath(name); }
    QScopedPointer<QTemporaryDir> dir;
};

static const char GpxHead[] = "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n"
                              "<gpx creator=\"Trekmont - http://www.trekmont.com\" version=\"1.1\" "
                              "xmlns=\"http://www.topografix.com/GPX/1/1\" "
                              "xmlns:xsi=\"http://www.w3.org/2001/XMLSchema-instance\" "
                              "xsi:schemaLocation=\"http://www.topografix.com/GPX/1/1 "
                              "http://www.topografix.com/GPX/1/1/gpx.xsd\"";

void TestExports::gpx_data()
{
    QTest::addColumn<QList<int>>("selection");
    QTest::addColumn<bool>("markedOnly");
    QTest::addColumn<QString>("text");

    QTest::newRow("empty selection")
        << QList<int>{} << false << QString::fromLatin1(GpxHead) + "/>\n";
    QTest::newRow("both formats")
        << QList<int>{0, 1} << false
        << QString::fromLatin1(GpxHead) +
               ">\n"
               "    <trk>\n"
               "        <name>LX-300 DataLog-1 2009-04-11 08:15:00</name>\n"
               "        <trkseg>\n"
               "            <trkpt lat=\"45.500000\" lon=\"7.250000\">\n"
               "                <ele>10.00</ele>\n"
               "                <time>2009-04-11T08:15:03Z</time>\n"
               "                <speed>10.00</speed>\n"
               "            </trkpt>\n"
               "            <trkpt lat=\"-33.500000\" lon=\"-70.250000\">\n"
               "                <ele>-12.50</ele>\n"
               "                <time>2009-04-11T08:15:08Z</time>\n"
               "                <speed>0.00</speed>\n"
               "            </trkpt>\n"
               "        </trkseg>\n"
               "    </trk>\n"
               "    <trk>\n"
               "        <name>LX-300 DataLog-1 2009-04-11 10:15:00</name>\n"
               "        <trkseg>\n"
               "            <trkpt lat=\"47.602057\" lon=\"8.300000\">\n"
               "                <time>2009-04-11T10:15:03Z</time>\n"
               "                <speed>3.43</speed>\n"
               "            </trkpt>\n"
               "            <trkpt lat=\"47.602060\" lon=\"8.310000\">\n"
               "                <time>2009-04-11T10:15:08Z</time>\n"
               "                <speed>2777.78</speed>\n"
               "            </trkpt>\n"
               "        </trkseg>\n"
               "    </trk>\n"
               "</gpx>\n";
    QTest::newRow("marked only, a track without marks, one twice")
        << QList<int>{1, 1} << true
        << QString::fromLatin1(GpxHead) +
               ">\n"
               "    <trk>\n"
               "        <name>LX-300 DataLog-1 2009-04-11 10:15:00</name>\n"
               "        <trkseg>\n"
               "            <trkpt lat=\"47.602057\" lon=\"8.300000\">\n"
               "                <time>2009-04-11T10:15:03Z</time>\n"
               "                <speed>3.43</speed>\n"
               "            </trkpt>\n"
               "        </trkseg>\n"
               "    </trk>\n"
               "    <trk>\n"
               "        <name>LX-300 DataLog-1 2009-04-11 10:15:00</name>\n"
               "        <trkseg>\n"
               "            <trkpt lat=\"47.602057\" lon=\"8.300000\">\n"
               "                <time>2009-04-11T10:15:03Z</time>\n"
               "                <speed>3.43</speed>\n"
               "            </trkpt>\n"
               "        </trkseg>\n"
               "    </trk>\n"
               "</gpx>\n";
}

void TestExports::gpx()
{
    QFETCH(QList<int>, selection);
    QFETCH(bool, markedOnly);
    FileFormatGPX gpx;
    QVERIFY(gpx.write(sampleTracks(), path("t.gpx"), selection, markedOnly));
    QTEST(readText(path("t.gpx")), "text");
}

static QString kmlPlacemark(int n, const char *start, const char *coordinates)
{
    return QStringLiteral(
               "        <Placemark>\n"
               "            <name>LX-300 DataLog-%1 %2</name>\n"
               "            <styleUrl>root://styleMaps#default+nicon=0x467+hicon=0x477</styleUrl>\n"
               "            <Style>\n"
               "                <LineStyle>\n"
               "                    <color>7f0000ff</color>\n"
               "                    <width>4</width>\n"
               "                </LineStyle>\n"
               "            </Style>\n"
               "            <LineString>\n"
               "                <coordinates>%3</coordinates>\n"
               "                <tessellate>1</tessellate>\n"
               "                <altitudeMode>clampToGround</altitudeMode>\n"
               "            </LineString>\n"
               "        </Placemark>\n")
        .arg(n)
        .arg(QString::fromLatin1(start), QString::fromLatin1(coordinates));
}

void TestExports::kml_data()
{
    const QString head = QStringLiteral("<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n"
                                        "<kml xmlns=\"http://www.opengis.net/kml/2.2\">\n");
    QTest::addColumn<QList<int>>("selection");
    QTest::addColumn<bool>("markedOnly");
    QTest::addColumn<QString>("text");

    QTest::newRow("empty selection") << QList<int>{} << false << head + "    <Folder/>\n</kml>\n";
    // Names in local time, eight hours ahead; numbered in selection order.
    QTest::newRow("both tracks, second first")
        << QList<int>{1, 0} << false
        << head + "    <Folder>\n" +
               kmlPlacemark(1, "2009-04-11 18:15:00",
                            "8.300000,47.602057,0.00\n8.310000,47.602060,0.00\n") +
               kmlPlacemark(2, "2009-04-11 16:15:00",
                            "7.250000,45.500000,10.00\n-70.250000,-33.500000,-12.50\n") +
               "    </Folder>\n</kml>\n";
    QTest::newRow("marked only") << QList<int>{0, 1} << true
                                 << head + "    <Folder>\n" +
                                        kmlPlacemark(1, "2009-04-11 16:15:00",
                                                     "-70.250000,-33.500000,-12.50\n") +
                                        kmlPlacemark(2, "2009-04-11 18:15:00",
                                                     "8.300000,47.602057,0.00\n") +
                                        "    </Folder>\n</kml>\n";
}

void TestExports::kml()
{
    QFETCH(QList<int>, selection);
    QFETCH(bool, markedOnly);
    QVector<Track> tracks = sampleTracks();
    FileFormatKML kml;
    QVERIFY(kml.write(tracks, path("t.kml"), selection, markedOnly));
    QTEST(readText(path("t.kml")), "text");
}

void TestExports::csv_data()
{
    QTest::addColumn<int>("speedUnit");
    QTest::addColumn<int>("heightUnit");
    QTest::addColumn<int>("timeSwitch");
    QTest::addColumn<bool>("markedOnly");
    QTest::addColumn<QString>("text");

    QTest::newRow("UTC, metres, km/h")
        << 0 << 0 << 0 << false
        << "Date, Time (UTC), Latitude, Longitude, Altitude (m), Speed (km/hr)\n"
           "2009-04-11,08:15:03,45.500000,7.250000,10.00,36.00\n"
           "2009-04-11,08:15:08,-33.500000,-70.250000,-12.50,0.00\n"
           "2009-04-11,10:15:03,47.602057,8.300000,,12.34\n"
           "2009-04-11,10:15:08,47.602060,8.310000,,10000.00\n";
    QTest::newRow("local, feet, mph")
        << 1 << 1 << 1 << false
        << "Date, Time (local), Latitude, Longitude, Altitude (feet), Speed (mi/hr)\n"
           "2009-04-11,16:15:03,45.500000,7.250000,32.81,22.37\n"
           "2009-04-11,16:15:08,-33.500000,-70.250000,-41.01,0.00\n"
           "2009-04-11,18:15:03,47.602057,8.300000,,7.67\n"
           "2009-04-11,18:15:08,47.602060,8.310000,,6213.71\n";
    QTest::newRow("other values mean mph, feet, local")
        << 5 << -1 << 2 << true
        << "Date, Time (local), Latitude, Longitude, Altitude (feet), Speed (mi/hr)\n"
           "2009-04-11,16:15:08,-33.500000,-70.250000,-41.01,0.00\n"
           "2009-04-11,18:15:03,47.602057,8.300000,,7.67\n";
}

void TestExports::csv()
{
    QFETCH(int, speedUnit);
    QFETCH(int, heightUnit);
    QFETCH(int, timeSwitch);
    QFETCH(bool, markedOnly);
    FixedExportSettings settings(speedUnit, heightUnit, timeSwitch);
    FileFormatCSV csv(&settings);
    QVERIFY(csv.write(sampleTracks(), path("t.csv"), {0, 1}, markedOnly));
    QTEST(readText(path("t.csv")), "text");
}

void TestExports::csvFormatsOfOneExport()
{
    Track newYear;
    newYear.startTime = 1262302200;
    newYear.format = 2;
    newYear.points = {point(1, 2, 3, 1262302200, 0, 0)}; // 2009-12-31 23:30:00 UTC
    Track unknown = newYear;
    unknown.format = 0; // not a log format: no rows
    const QVector<Track> tracks{newYear, unknown};

    FixedExportSettings settings(0, 0, 0);
    FileFormatCSV csv(&settings);
    QVERIFY(csv.write(tracks, path("n.csv"), {0, 1}, false));
    QCOMPARE(readText(path("n.csv")).split('\n').mid(1),
             (QStringList{"2009-12-31,23:30:00,1.000000,2.000000,3.00,0.00", ""}));
    settings.time = 1; // read at each export
    QVERIFY(csv.write(tracks, path("n.csv"), {0, 1}, false));
    QCOMPARE(readText(path("n.csv")).split('\n').mid(1),
             (QStringList{"2010-01-01,07:30:00,1.000000,2.000000,3.00,0.00", ""}));
    QVERIFY(csv.write(tracks, path("e.csv"), {}, false));
    QCOMPARE(
        readText(path("e.csv")),
        QStringLiteral("Date, Time (local), Latitude, Longitude, Altitude (m), Speed (km/hr)\n"));
}

void TestExports::gdalReadsTheExports_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<bool>("markedOnly");
    QTest::addColumn<QStringList>("counts");
    QTest::newRow("gpx") << "g.gpx" << false << QStringList{"tracks=2", "track_points=4"};
    QTest::newRow("gpx marked") << "gm.gpx" << true << QStringList{"tracks=2", "track_points=2"};
    QTest::newRow("kml") << "k.kml" << false << QStringList{"=2"};
    QTest::newRow("csv") << "c.csv" << false << QStringList{"c=4"};
    QTest::newRow("csv marked") << "cm.csv" << true << QStringList{"cm=2"};
}

void TestExports::gdalReadsTheExports()
{
    QFETCH(QString, name);
    QFETCH(bool, markedOnly);
    QFETCH(QStringList, counts);
    FixedExportSettings settings;
    const FileFormatMap formats = createFileFormats(&settings);
    QVERIFY(writeTracks(formats, sampleTracks(), path(name), {0, 1}, markedOnly));
    qDeleteAll(formats);
    QStringList found = ogrCounts(path(name));
    // KML layers are named after their folder, which has no name.
    if (name.endsWith(QStringLiteral(".kml")))
        for (QString &c : found)
            c = c.mid(c.indexOf('='));
    for (const QString &count : counts)
        QVERIFY2(found.contains(count), qPrintable(found.join(' ')));
}

void TestExports::lookupByExtension_data()
{
    QTest::addColumn<QString>("fileName");
    QTest::addColumn<QString>("key");
    QTest::newRow("tkr") << "trip.tkr"
                         << ".tkr";
    QTest::newRow("csv after kml in name") << "trip.kml.csv"
                                           << ".csv";
    QTest::newRow("capital letters") << "TRIP.TKR"
                                     << "";
    QTest::newRow("no dot") << "trip"
                            << "";
    QTest::newRow("other extension") << "a.gpx.old"
                                     << "";
    QTest::newRow("folder with a dot") << "/tmp/x.gpx/trip"
                                       << "";
}

void TestExports::lookupByExtension()
{
    QFETCH(QString, fileName);
    QFETCH(QString, key);
    FixedExportSettings settings;
    const FileFormatMap formats = createFileFormats(&settings);
    QCOMPARE(formats.keys(), (QStringList{".csv", ".gpx", ".kml", ".tkr"}));
    QCOMPARE(findFileFormat(formats, fileName), formats.value(key, nullptr));
    qDeleteAll(formats);
}

void TestExports::exportsDoNotRead()
{
    FixedExportSettings settings;
    const FileFormatMap formats = createFileFormats(&settings);
    QVERIFY(writeTracks(formats, sampleTracks(), path("t.tkr"), {0}, false));
    QVector<Track> tracks = sampleTracks();
    for (const char *ext : {".gpx", ".kml", ".csv"}) {
        QFile::copy(path("t.tkr"), path("t") + QLatin1String(ext));
        QVERIFY(!readTracks(formats, tracks, path("t") + QLatin1String(ext)));
    }
    QVERIFY(!readTracks(formats, tracks, path("T.TKR")));
    QCOMPARE(tracks.size(), 2);
    QVERIFY(readTracks(formats, tracks, path("t.tkr")));
    QCOMPARE(tracks.size(), 3);
    qDeleteAll(formats);
}

void TestExports::failedExportKeepsTheOldFile()
{
    FixedExportSettings settings;
    const FileFormatMap formats = createFileFormats(&settings);
    Track big = sampleTracks()[0];
    for (int i = 0; i < 12; ++i)
        big.points += big.points; // 8192 points: far more than the limit below
    const QVector<Track> tracks{big};
    for (const char *ext : {".gpx", ".kml", ".csv"}) {
        const QString name = path("old") + QLatin1String(ext);
        {
            QFile f(name);
            QVERIFY(f.open(QIODevice::WriteOnly));
            f.write("precious");
        }
        bool written;
        {
            const FileSizeLimit full(16384);
            written = writeTracks(formats, tracks, name, {0}, false);
        }
        QVERIFY2(!written, ext);
        QCOMPARE(readText(name), QStringLiteral("precious"));
    }
    QCOMPARE(QDir(dir->path()).entryList(QDir::Files).size(), 3);
    qDeleteAll(formats);
}

void TestExports::unwritablePaths_data()
{
    QTest::addColumn<QString>("extension");
    QTest::addColumn<int>("kind");
    for (const char *ext : {".tkr", ".gpx", ".kml", ".csv"}) {
        QTest::addRow("%s in a folder that is a file", ext) << QString::fromLatin1(ext) << 0;
        QTest::addRow("%s in a folder that vanished", ext) << QString::fromLatin1(ext) << 1;
        QTest::addRow("%s over a folder", ext) << QString::fromLatin1(ext) << 2;
    }
}

void TestExports::unwritablePaths()
{
    QFETCH(QString, extension);
    QFETCH(int, kind);
    QString name;
    if (kind == 0) {
        QFile plain(path("plain"));
        QVERIFY(plain.open(QIODevice::WriteOnly));
        name = path("plain/trip") + extension;
    } else if (kind == 1) {
        QVERIFY(QDir(dir->path()).mkdir("gone"));
        name = path("gone/trip") + extension;
        QVERIFY(QDir(path("gone")).removeRecursively()); // e.g. a stick pulled before saving
    } else {
        name = path("taken") + extension;
        QVERIFY(QDir(dir->path()).mkdir("taken" + extension));
    }
    FixedExportSettings settings;
    const FileFormatMap formats = createFileFormats(&settings);
    FileFormat *format = findFileFormat(formats, name);
    QVERIFY(!format->write(sampleTracks(), name, {0, 1}, false));
    QVERIFY(!format->errorString().isEmpty());
    if (kind == 2)
        QVERIFY(QFileInfo(name).isDir()); // left as it was
    qDeleteAll(formats);
}

QTEST_GUILESS_MAIN(TestExports)
#include "tst_exports.moc"
