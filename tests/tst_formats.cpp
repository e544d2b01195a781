#include "analysis/tripstats.h"
#include "fixtures.h"
#include "formats/fileformatfit.h"
#include "formats/fileformatgpx.h"
#include "formats/fileformats.h"
#include "formats/fileformattkr.h"
#include "formats/trackinput.h"
#include "model/units.h"
#include "testfiles.h"
#include "trackcompare.h"

#include <QProcess>
#include <QRegularExpression>
#include <QtEndian>
#include <QtTest>

#include <csignal>
#include <sys/resource.h>
#include <sys/stat.h>
#include <tuple>

namespace {
const quint32 Start = 1239437700; // 2009-04-11 08:15:00 UTC

Track track(quint32 start, int format, int points)
{
    Track t{start, format, {}};
    for (int i = 0; i < points; ++i)
        t.points.append(point(47.5 + i * 0.001, 8.25 - i * 0.001, 400.125 + i, start + 5u * i,
                              quint32(1000 + i), i % 3 == 1 ? 1 : 0));
    return t;
}

// Two short tracks, one of each log format, with the values the exports must round.
QVector<Track> sampleTracks()
{
    return {{Start,
             2,
             {point(45.5, 7.25, 100.125, Start + 3, 7425, 0), // ties: 100.12 m, 20.62 m/s
              point(-33.5, -70.25, -1250.5, Start + 8, 0, 1)}},
            {Start + 7200,
             1,
             {point(47.602057, 8.3, 0, Start + 7203, 1234, 1),
              point(47.60206, 8.31, 0, Start + 7208, 1000000, 0)}}};
}

// Another time zone for one scope; restored on every way out, a failing check's early return too.
class ZoneGuard
{
public:
    explicit ZoneGuard(const char *zone)
        : saved(qgetenv("TZ")), wasSet(qEnvironmentVariableIsSet("TZ"))
    {
        qputenv("TZ", zone);
    }
    ~ZoneGuard()
    {
        if (wasSet)
            qputenv("TZ", saved);
        else
            qunsetenv("TZ");
    }
    ZoneGuard(const ZoneGuard &) = delete;
    ZoneGuard &operator=(const ZoneGuard &) = delete;

private:
    const QByteArray saved;
    const bool wasSet;
};

// Copied out with a bound, so no read past the file even where it is shorter than expected.
template <typename T> T le(const QByteArray &b, int offset)
{
    T v{};
    if (offset >= 0 && offset + int(sizeof(T)) <= b.size())
        memcpy(&v, b.constData() + offset, sizeof(T));
    return qFromLittleEndian(v);
}

// A point's latitude, longitude, altitude, time, speed and mark, as text.
QString text(const TrackPoint &p)
{
    return QStringLiteral("%1 %2 %3 %4 %5 %6")
        .arg(p.position.x)
        .arg(p.position.y)
        .arg(p.position.z)
        .arg(p.time)
        .arg(p.speed)
        .arg(p.marked);
}

// What a read gave, compactly: per track its points, log format and segments, then each
// point's lacks ('t' time, 'a' altitude, 's' speed; 'c' speed worked out, 'm' marked, '|' a
// segment starts, '.' nothing to say), then the first point and the lowest altitude.
QString describe(const QVector<Track> &tracks)
{
    QStringList parts;
    for (const Track &t : tracks) {
        QStringList points;
        int segments = 1;
        for (int i = 0; i < t.points.size(); ++i) {
            const TrackPoint &p = t.points[i];
            segments += i > 0 && p.startsSegment();
            QString f = QString(i > 0 && p.startsSegment() ? "|" : "") + (p.hasTime() ? "" : "t") +
                        (p.hasAltitude() ? "" : "a") + (p.hasSpeed() ? "" : "s") +
                        (p.flags & TrackPoint::SpeedComputed ? "c" : "") + (p.marked ? "m" : "");
            points << (f.isEmpty() || f == "|" ? f + "." : f);
        }
        const TripStats st = TripAnalysis::trackStats(t);
        const TrackPoint first = t.points.value(0);
        parts << QStringLiteral("%1 f%2 s%3 %4 @%5 %6 %7 %8.%9%10")
                     .arg(t.points.size())
                     .arg(t.format)
                     .arg(segments)
                     .arg(points.join(' '))
                     .arg(first.position.x)
                     .arg(first.position.y)
                     .arg(first.position.z)
                     .arg(first.time)
                     .arg(first.millis, 3, 10, QChar('0'))
                     .arg(st.hasAltitude ? QStringLiteral(" low%1").arg(st.minAltitudeM)
                                         : QString());
    }
    return parts.join(QStringLiteral("; "));
}

// Zips `text` as `entry` into `zip` with Python's zipfile, as Google Earth would.
bool makeZip(const QString &zip, const QString &entry, const QByteArray &text)
{
    QProcess py;
    py.start(
        QStringLiteral("/usr/bin/python3"),
        {QStringLiteral("-c"),
         QStringLiteral("import sys, zipfile; z = zipfile.ZipFile(sys.argv[1], 'w', "
                        "zipfile.ZIP_DEFLATED); z.writestr(sys.argv[2], sys.stdin.buffer.read()); "
                        "z.writestr('images/a.png', b'x'); z.close()"),
         zip, entry});
    py.waitForStarted();
    py.write(text);
    py.closeWriteChannel();
    return py.waitForFinished(60000) && py.exitCode() == 0;
}

// While it lives, this process may not write files past `bytes`: writes beyond fail as on a
// full disk (the kernel's signal is ignored).
struct FileSizeLimit
{
    rlimit saved{};
    explicit FileSizeLimit(rlim_t bytes)
    {
        std::signal(SIGXFSZ, SIG_IGN);
        getrlimit(RLIMIT_FSIZE, &saved);
        rlimit small = saved;
        small.rlim_cur = std::min(bytes, saved.rlim_max);
        setrlimit(RLIMIT_FSIZE, &small);
    }
    ~FileSizeLimit() { setrlimit(RLIMIT_FSIZE, &saved); }
};

} // namespace

class TestFormats : public QObject
{
    Q_OBJECT
public:
    static void initMain()
    {
        qputenv("TZ", "XST-8"); // eight hours ahead, no summer time
        QLoggingCategory::setFilterRules(QStringLiteral("lx300.*=false"));
    }

private:
    QString path(const QString &name) const { return dir->filePath(name); }
    QScopedPointer<QTemporaryDir> dir;
    FixedDisplayUnits settings;

private slots:
    void init() { dir.reset(new QTemporaryDir); }

    // Values as files write them; the quick paths must agree with the general readers.
    void values_data()
    {
        QTest::addColumn<QString>("kind");
        QTest::addColumn<QString>("text");
        QTest::addColumn<bool>("ok");
        QTest::addColumn<double>("value"); // seconds since 1970 for times
        const double t = 1243850400;       // 2009-06-01 10:00:00 UTC
        QTest::newRow("time") << "time"
                              << "2009-06-01T10:00:00Z" << true << t;
        QTest::newRow("time, fraction") << "time"
                                        << " 2009-06-01T10:00:00.25Z" << true << t + .25;
        QTest::newRow("time, long fraction") << "time"
                                             << "2009-06-01T10:00:00.123456Z" << true << t + .123;
        QTest::newRow("time, offset") << "time"
                                      << "2009-06-01T12:00:00+02:00" << true << t;
        QTest::newRow("time, no zone") << "time"
                                       << "2009-06-01T10:00:00" << true << t;
        QTest::newRow("time, no zone, in Berlin's spring gap")
            << "time"
            << "2021-03-28T02:30:00" << true << 1616898600.;
        QTest::newRow("time, 1970 itself") << "time"
                                           << "1970-01-01T00:00:00Z" << true << 0.;
        QTest::newRow("time, 30 February") << "time"
                                           << "2009-02-30T10:00:00Z" << false << 0.;
        QTest::newRow("time, hour 25") << "time"
                                       << "2009-06-01T25:00:00Z" << false << 0.;
        QTest::newRow("time, bare dot") << "time"
                                        << "2009-06-01T10:00:00.Z" << false << 0.;
        QTest::newRow("time, 1969") << "time"
                                    << "1969-12-31T23:59:59Z" << false << 0.;
        QTest::newRow("time, 2107") << "time"
                                    << "2107-01-01T00:00:00Z" << false << 0.;
        QTest::newRow("number") << "number"
                                << " +12.5e1 " << true << 125.;
        QTest::newRow("number, leading dot") << "number"
                                             << "-.5" << true << -.5;
        QTest::newRow("number, too big") << "number"
                                         << "1e400" << false << 0.;
        QTest::newRow("number, nan") << "number"
                                     << "nan" << false << 0.;
        QTest::newRow("number, hex") << "number"
                                     << "0x10" << false << 0.;
        QTest::newRow("number, two dots") << "number"
                                          << "1.2.3" << false << 0.;
        QTest::newRow("number, comma") << "number"
                                       << "1,5" << false << 0.;
        QTest::newRow("decimal comma") << "comma"
                                       << "1,5" << true << 1.5;
        QTest::newRow("decimal comma, thousands") << "comma"
                                                  << "1.000,5" << false << 0.;
    }

    void values()
    {
        QFETCH(QString, kind);
        QFETCH(QString, text);
        QFETCH(bool, ok);
        QFETCH(double, value);
        if (kind == QLatin1String("time")) {
            quint16 ms = 0;
            bool read = false;
            const ZoneGuard zone("Europe/Berlin"); // a zone that skips an hour in spring
            const quint32 secs = TrackInput::isoTime(text, &ms, &read);
            QCOMPARE(read, ok);
            if (ok)
                QCOMPARE(secs + ms / 1000.0, value);
            return;
        }
        double v = 0;
        QCOMPARE(TrackInput::decimal(text, &v, QLatin1Char(kind == "comma" ? ',' : '.')), ok);
        if (ok)
            QCOMPARE(v, value);
    }

    void tkrLayout_data()
    {
        QTest::addColumn<QVector<int>>("pointCounts");
        QTest::addColumn<int>("size");
        QTest::addColumn<QVector<int>>("offsets");
        QTest::newRow("empty selection") << QVector<int>{} << 108 << QVector<int>{};
        QTest::newRow("one point") << QVector<int>{1} << 176 << QVector<int>{120};
        QTest::newRow("2 and 3 points") << QVector<int>{2, 3} << 388 << QVector<int>{132, 236};
        QTest::newRow("empty track") << QVector<int>{0} << 128 << QVector<int>{120};
    }

    void tkrLayout()
    {
        QFETCH(QVector<int>, pointCounts);
        QFETCH(QVector<int>, offsets);
        QVector<Track> tracks;
        QList<int> selection;
        for (int n : pointCounts) {
            selection.append(int(tracks.size()));
            tracks.append(track(Start + quint32(tracks.size()), 2, n));
        }
        FileFormatTKR tkr;
        QVERIFY(tkr.write(tracks, path("a.tkr"), selection, false));
        const QByteArray b = readAll(path("a.tkr"));
        const auto u32 = [&b](int at) { return le<quint32>(b, at); };
        QTEST(int(b.size()), "size");
        QCOMPARE(b.left(4), QByteArray("TRKF"));
        QCOMPARE(qFromLittleEndian<quint16>(b.constData() + 4), quint16(2));
        const QByteArray tag("LX300-AA-XXXXXX\0", 16);
        QCOMPARE(b.mid(6, 16) + b.mid(22, 16), tag + tag);
        QCOMPARE(b.mid(38, 2) + b.mid(44, 64), QByteArray(66, '\0'));
        QCOMPARE(u32(40), quint32(pointCounts.size()));
        for (int k = 0; k < pointCounts.size(); ++k) {
            const int at = 108 + 12 * k; // the index entry, then the track header
            QCOMPARE((QList<quint32>{u32(at), u32(at + 4), u32(at + 8), u32(offsets[k]),
                                     u32(offsets[k] + 4)}),
                     (QList<quint32>{quint32(k), quint32(offsets[k]), quint32(pointCounts[k]),
                                     tracks[k].startTime, 2}));
        }
        if (pointCounts == QVector<int>{1}) { // the point record: reserved, doubles, words
            QCOMPARE(b.mid(128, 8) + b.mid(172, 4), QByteArray(12, '\0'));
            QCOMPARE((QList<double>{le<double>(b, 136), le<double>(b, 152), double(u32(160)),
                                    double(u32(164)), double(u32(168))}),
                     (QList<double>{47.5, 4001250.0, double(Start), 1000, 0}));
        }
    }

    void tkrRoundTrip()
    {
        QVector<Track> tracks{track(Start, 2, 130), track(Start + 86400, 1, 7), track(Start, 2, 3)};
        tracks[0].points[5].position = Vec3(-33.5, -70.25, -12.5);
        tracks[2].points[1].time = 0; // never a real fix: dropped on reading, its record consumed
        FileFormatTKR tkr;
        QVERIFY(tkr.write(tracks, path("r.tkr"), {1, 0, 2}, false));
        QVector<Track> back{track(7, 1, 1)}; // reading appends
        QVERIFY(tkr.read(back, path("r.tkr")));
        QCOMPARE(back.size(), 4);
        QCOMPARE(back[1].startTime, tracks[1].startTime);
        tracks[0].points[5].field7 = 0; // not stored
        for (TrackPoint &p : tracks[1].points)
            p.position.z = 0; // log format 1 has no altitude
        QVERIFY(samePoints(back.mid(1, 2), {tracks[1], tracks[0]}));
        QCOMPARE(back[3].points.size(), 2);
        QCOMPARE(back[3].points[1].time, tracks[2].points[2].time);

        // Marked only: points 1, 4 and 7; a track without marks keeps its empty entry.
        QVERIFY(tkr.write(tracks, path("m.tkr"), {0, 1}, true));
        const QByteArray m = readAll(path("m.tkr"));
        QCOMPARE(le<quint32>(m, 116), 43u);
        QCOMPARE(le<quint32>(m, 128), 2u);

        // Names follow the tracks; damaged, the tracks still read and the names are said lost.
        tracks[1].name = QStringLiteral("Day two");
        QVERIFY(tkr.write(tracks, path("n.tkr"), {0, 1}, false));
        for (int cut : {0, 1}) {
            QVERIFY(writeAll(path("c.tkr"), readAll(path("n.tkr")).chopped(cut)));
            QVector<Track> named;
            QVERIFY(tkr.read(named, path("c.tkr")));
            QCOMPARE(named[1].name, cut ? QString() : tracks[1].name);
            QCOMPARE(tkr.readNote().isEmpty(), cut == 0);
        }
        tracks[1].name.clear();

        // Version 1 files hold local times: shifted by the zone (a point that becomes 0 is
        // dropped); version 3 reads as version 2.
        QCOMPARE(tkr.utcOffset(), 8 * 3600);
        tracks[2].points[2].time = quint32(-8 * 3600);
        for (quint16 version : {1, 3}) {
            QVERIFY(tkr.write(tracks, path("v.tkr"), {2}, false));
            QByteArray b = readAll(path("v.tkr"));
            qToLittleEndian(version, b.data() + 4);
            QVERIFY(writeAll(path("v.tkr"), b));
            QVector<Track> v;
            QVERIFY(tkr.read(v, path("v.tkr")));
            const quint32 shift = version == 1 ? 28800 : 0;
            QCOMPARE(v[0].startTime, Start + shift);
            QCOMPARE(v[0].points.size(), 2); // v1: the 0 is shifted, the last point becomes 0
            QCOMPARE(v[0].points[0].time, tracks[2].points[0].time + shift);
        }
    }

    void tkrRefused_data()
    {
        QTemporaryDir tmp;
        FileFormatTKR tkr;
        QVERIFY(tkr.write({track(Start, 2, 4), track(Start + 100, 1, 3)}, tmp.filePath("g.tkr"),
                          {0, 1}, false));
        const QByteArray good = readAll(tmp.filePath("g.tkr"));
        auto with = [&](int offset, auto value) {
            QByteArray b = good;
            qToLittleEndian(value, b.data() + offset);
            return b;
        };
        QTest::addColumn<QByteArray>("bytes");
        QTest::newRow("wrong magic") << with(0, 0x47464B52u);
        QTest::newRow("empty file") << QByteArray();
        QTest::newRow("header cut") << good.left(60);
        QTest::newRow("track header cut") << good.left(136);
        QTest::newRow("last record cut") << good.chopped(1);
        QTest::newRow("track count lies") << with(40, 0xFFFFFFFFu);
        QTest::newRow("point count lies") << with(116, 0x7FFFFFFFu);
        QTest::newRow("one point more than stored") << with(128, 5u);
        QTest::newRow("NaN first latitude") << with(140 + 8, std::nan(""));
        QTest::newRow("infinite last altitude") << with(140 + 48 * 3 + 24, -HUGE_VAL);
        QTest::newRow("no such file") << QByteArray("missing");
    }

    void tkrRefused()
    {
        QFETCH(QByteArray, bytes);
        if (bytes != "missing")
            QVERIFY(writeAll(path("bad.tkr"), bytes));
        QVector<Track> tracks{track(7, 2, 2)};
        FileFormatTKR tkr;
        QVERIFY(!tkr.read(tracks, path("bad.tkr")));
        QVERIFY(tkr.errorString().contains("bad.tkr"));
        QCOMPARE(tracks.size(), 1);
        QCOMPARE(tracks[0].startTime, 7u);
        QCOMPARE(tracks[0].points.size(), 2);
    }

    // Values no writer makes: left out and counted, a track's unknown log format said.
    void tkrImpossibleValues()
    {
        FileFormatTKR tkr;
        QVERIFY(tkr.write({track(Start, 2, 4)}, path("v.tkr"), {0}, false));
        QByteArray b = readAll(path("v.tkr"));
        qToLittleEndian(95.0, b.data() + 128 + 8);            // latitude 95
        qToLittleEndian(1e300, b.data() + 128 + 48 * 2 + 24); // altitude 1e296 m
        qToLittleEndian(4097u, b.data() + 124);               // log format 4097
        QVERIFY(writeAll(path("v.tkr"), b));
        QVector<Track> back;
        QVERIFY(tkr.read(back, path("v.tkr")));
        QCOMPARE(back[0].points.size(), 2);
        QCOMPARE(back[0].format, 2);
        QCOMPARE(tkr.readNote(), "Tracks of an unknown log format, read as tracks with altitudes: "
                                 "1. Points with an impossible position or value, left out: 2.");
    }

    // A worked-out speed is never written as a measured one: converted and read back, a file
    // without speeds gives the same figures (moving time is judged differently for each).
    void figuresSurviveConversion_data()
    {
        QTest::addColumn<QString>("extension");
        for (const char *ext : {".gpx", ".csv", ".tkr"})
            QTest::newRow(ext) << QString(ext);
    }

    void figuresSurviveConversion()
    {
        QFETCH(QString, extension);
        // A walk with stops, every 5 s, with a metre of jitter; no speeds in the file.
        QByteArray gpx = "<gpx version=\"1.1\"><trk><trkseg>";
        double lat = 47;
        for (int i = 0; i < 240; ++i) {
            lat += (i / 40) % 2 ? ((i * 7) % 3 - 1) * 1e-5 : 1e-4;
            gpx += "<trkpt lat=\"" + QByteArray::number(lat, 'f', 6) + "\" lon=\"8\"><time>" +
                   QDateTime::fromSecsSinceEpoch(Start + 5 * i, Qt::UTC)
                       .toString(Qt::ISODate)
                       .toLatin1() +
                   "</time></trkpt>";
        }
        QVERIFY(writeAll(path("in.gpx"), gpx + "</trkseg></trk></gpx>"));
        const FileFormats formats(&settings);
        QVector<Track> in, back;
        QVERIFY(formats.read(in, path("in.gpx")));
        QVERIFY(formats.write(in, path("out" + extension), {0}, false));
        QVERIFY(formats.read(back, path("out" + extension)));
        const TripStats a = TripAnalysis::trackStats(in[0]), b = TripAnalysis::trackStats(back[0]);
        QVERIFY(a.movingTimeS < a.durationS); // the stops are seen
        QCOMPARE((QList<qint64>{b.movingTimeS, b.durationS}),
                 (QList<qint64>{a.movingTimeS, a.durationS}));
        QVERIFY(qAbs(b.maxSpeedKmh - a.maxSpeedKmh) < 0.02);
        QVERIFY(qAbs(b.distanceM - a.distanceM) < 1e-6 * a.distanceM);
    }

    // The exact texts are files under data/exports, each named for its row.
    void exports_data()
    {
        QTest::addColumn<QString>("golden");
        QTest::addColumn<QList<int>>("units"); // speed, height, time
        QTest::addColumn<QList<int>>("selection");
        QTest::addColumn<bool>("markedOnly");
        const QList<int> utc{0, 0, 0}, local{0, 0, 1};
        QTest::newRow("gpx, empty selection")
            << "gpx-empty-selection.gpx" << utc << QList<int>{} << false;
        QTest::newRow("gpx, both formats")
            << "gpx-both-formats.gpx" << local << QList<int>{0, 1} << false;
        QTest::newRow("gpx, marked only, one track twice")
            << "gpx-marked-only-one-track-twice.gpx" << utc << QList<int>{1, 1} << true;
        QTest::newRow("kml, empty selection")
            << "kml-empty-selection.kml" << utc << QList<int>{} << false;
        // Names in local time; numbered in selection order.
        QTest::newRow("kml, second track first")
            << "kml-second-track-first.kml" << local << QList<int>{1, 0} << false;
        QTest::newRow("kml, marked only")
            << "kml-marked-only.kml" << local << QList<int>{0} << true;
        QTest::newRow("csv, UTC, metres, km/h")
            << "csv-UTC-metres-km-h.csv" << utc << QList<int>{0, 1} << false;
        QTest::newRow("csv, local, feet, mph")
            << "csv-local-feet-mph.csv" << QList<int>{1, 1, 1} << QList<int>{0, 1} << false;
        QTest::newRow("csv, other values mean mph, feet, local; marked only")
            << "csv-other-values-mean-mph-feet-local-marked-only.csv" << QList<int>{5, -1, 2}
            << QList<int>{0, 1} << true;
        QTest::newRow("csv, a format-0 track is written too")
            << "csv-a-format-0-track-is-written-too.csv" << utc << QList<int>{2} << false;
    }

    void exports()
    {
        QFETCH(QString, golden);
        QFETCH(QList<int>, units);
        QFETCH(QList<int>, selection);
        QFETCH(bool, markedOnly);
        FixedDisplayUnits s{SpeedUnit(units[0]), HeightUnit(units[1]), TimeShown(units[2])};
        const FileFormats formats(&s);
        QVector<Track> tracks = sampleTracks();
        tracks.append(Track{Start, 0, {point(1, 2, 3, Start, 0, 1)}});
        const QString name = "t." + golden.section('.', -1);
        const QByteArray text = readAll(QStringLiteral(LX300_TEST_DATA "/exports/") + golden);
        QVERIFY(!text.isEmpty());
        QVERIFY(formats.write(tracks, path(name), selection, markedOnly));
        QCOMPARE(readAll(path(name)), text);
        // Read back and written again with the same settings: the same text. A file without a
        // point is refused: a file of nothing reads as no success.
        QVector<Track> back;
        if (golden.contains("empty") || golden.contains("no-rows")) {
            QVERIFY(!formats.read(back, path(name)));
            return;
        }
        QVERIFY2(formats.read(back, path(name)),
                 qPrintable(formats.byExtension(name.mid(1))->errorString()));
        QList<int> all;
        for (int i = 0; i < back.size(); ++i)
            all << i;
        QVERIFY(formats.write(back, path("again" + name.mid(1)), all, false));
        QCOMPARE(readAll(path("again" + name.mid(1))), text);
    }

    void localTimesAcrossZoneChanges()
    {
        // St. John's changed at 00:01 local time until 2011, not on a UTC quarter hour;
        // and a year's end in a zone eight hours ahead turns the date.
        FixedDisplayUnits s(SpeedUnit::Kmh, HeightUnit::Metres, TimeShown::Local);
        const FileFormats formats(&s);
        const quint32 change = 1236483060; // 2009-03-08 03:31:00 UTC: 00:01 NST becomes 01:01 NDT
        Track t{change - 60, 2, {}};
        for (quint32 at : {change - 60, change - 1, change, change + 13 * 60, 1262302200u})
            t.points.append(point(1, 2, 3, at, 0, 0));
        {
            const ZoneGuard zone("America/St_Johns");
            QVERIFY(formats.write({t}, path("z.csv"), {0}, false));
        }
        QCOMPARE(QString::fromUtf8(readAll(path("z.csv"))).split('\n').mid(1),
                 (QStringList{"2009-03-08,00:00:00,1.000000,2.000000,3.00,0.00",
                              "2009-03-08,00:00:59,1.000000,2.000000,3.00,0.00",
                              "2009-03-08,01:01:00,1.000000,2.000000,3.00,0.00",
                              "2009-03-08,01:14:00,1.000000,2.000000,3.00,0.00",
                              "2009-12-31,20:00:00,1.000000,2.000000,3.00,0.00", ""}));
    }

    // GDAL reads every export: GPX tracks and points, KML lines, CSV rows.
    void gdalReadsTheExports()
    {
        const FileFormats formats(&settings);
        QStringList found;
        for (const char *name : {"g.gpx", "k.kml", "c.csv"}) {
            QVERIFY(formats.write(sampleTracks(), path(name), {0, 1}, false));
            QProcess ogr;
            ogr.start(QStringLiteral("ogrinfo"), {"-ro", "-al", "-so", path(name)});
            QVERIFY(ogr.waitForFinished(60000) && ogr.exitCode() == 0);
            static const QRegularExpression layer(QStringLiteral(
                "Layer name: (\\w+)\\n(?:(?!Layer name).*\\n)*?Feature Count: ([1-9]\\d*)\\n"));
            auto it = layer.globalMatch(QString::fromLocal8Bit(ogr.readAllStandardOutput()));
            while (it.hasNext()) {
                const auto m = it.next();
                found << m.captured(1) + '=' + m.captured(2);
            }
        }
        QCOMPARE(found.join(' '), QStringLiteral("tracks=2 track_points=4 k=2 c=4"));
    }

    // Every writer fails cleanly, keeps what was there and leaves no temporary behind.
    void writeFailures_data()
    {
        QTest::addColumn<QString>("extension");
        QTest::addColumn<int>("kind");
        const char *kinds[] = {
            "full disk",     "folder is a file", "vanished folder", "name taken by a folder",
            "no such track", "a FIFO",           "a link to a FIFO"};
        for (const char *ext : {".tkr", ".gpx", ".kml", ".geojson", ".csv"}) {
            int kind = 0;
            for (const char *name : kinds)
                QTest::newRow((QByteArray(ext) + ", " + name).constData())
                    << QString::fromLatin1(ext) << kind++;
        }
    }

    void writeFailures()
    {
        QFETCH(QString, extension);
        QFETCH(int, kind);
        QString name = path("trip") + extension;
        QList<int> selection{0};
        QVector<Track> tracks{track(Start, 2, 5000)};
        if (kind == 0) {
            writeAll(name, "precious");
        } else if (kind == 1) {
            QVERIFY(writeAll(path("plain"), ""));
            name = path("plain/trip") + extension;
        } else if (kind == 2) {
            QVERIFY(QDir(dir->path()).mkdir("gone"));
            name = path("gone/trip") + extension;
            QVERIFY(QDir(path("gone")).removeRecursively()); // a stick pulled before saving
        } else if (kind == 3) {
            QVERIFY(QDir(dir->path()).mkdir("trip" + extension));
        } else if (kind == 4) {
            selection = {1};
        } else { // special files are never replaced by a regular one
            QCOMPARE(::mkfifo(QFile::encodeName(path("fifo")).constData(), 0600), 0);
            name = kind == 5 ? path("fifo") + extension : name;
            if (kind == 5)
                QVERIFY(QFile::rename(path("fifo"), name));
            else
                QVERIFY(QFile::link(path("fifo"), name));
        }
        const FileFormats formats(&settings);
        FileFormat *format = formats.forName(name);
        QCOMPARE(format, formats.byExtension(extension));
        for (const char *other : {"TRIP.TKR", "trip", "a.gpx.old", "/tmp/x.gpx/trip"})
            QVERIFY2(!formats.forName(other), other); // extensions as written, lower case
        bool written;
        {
            const FileSizeLimit full(kind == 0 ? 65536 : RLIM_INFINITY);
            written = format->write(tracks, name, selection, false);
        }
        QVERIFY(!written);
        QVERIFY(!format->errorString().isEmpty());
        if (kind == 0) // the cause, not "Unknown error"
            QVERIFY2(format->errorString().endsWith("File too large"),
                     qPrintable(format->errorString()));
        if (kind >= 5)
            QVERIFY2(format->errorString().endsWith("it is not a regular file") &&
                         QFileInfo(name).exists() && !QFileInfo(name).isFile(),
                     qPrintable(format->errorString()));
        if (kind == 0)
            QCOMPARE(readAll(name), QByteArray("precious"));
        if (kind == 3)
            QVERIFY(QFileInfo(name).isDir());
        QStringList left =
            QDir(dir->path())
                .entryList(QDir::Files | QDir::Dirs | QDir::System | QDir::NoDotAndDotDot);
        QCOMPARE(left.size(), kind == 2 || kind == 4 ? 0 : kind == 6 ? 2 : 1);
    }

    // GPX 1.0 and 1.1 features: segments joined, routes, speeds given or worked out (one of
    // 8,000 km/h: fast, and still kept), waypoints.
    void gpxDetails()
    {
        writeAll(path("d.gpx"),
                 "<?xml version=\"1.0\"?>\n<gpx version=\"1.0\" "
                 "xmlns:x=\"http://www.garmin.com/xmlschemas/TrackPointExtension/v1\">\n"
                 "<wpt lat=\"1\" lon=\"2\"><time>2020-01-01T00:00:10Z</time></wpt>\n"
                 "<wpt lat=\"1\" lon=\"2\"/>\n"
                 "<trk><name>x</name><trkseg><trkpt lat=\"1.5\" lon=\"2.5\"><ele>10</ele>"
                 "<time>2020-01-01T00:00:00Z</time><speed>2.5</speed></trkpt></trkseg>\n"
                 "<trkseg><trkpt lat=\"1.7\" lon=\"2.5\"><time>2020-01-01T01:00:10+01:00</time>"
                 "</trkpt></trkseg></trk>\n"
                 "<rte><rtept lat=\"3\" lon=\"4\"><extensions><x:TrackPointExtension><x:speed>3"
                 "</x:speed></x:TrackPointExtension></extensions></rtept></rte></gpx>\n");
        FileFormatGPX gpx;
        QVector<Track> t;
        QVERIFY2(gpx.read(t, path("d.gpx")), qPrintable(gpx.errorString()));
        QCOMPARE(t.size(), 2);
        // The second segment's point: no altitude, and no speed worked out across the break.
        QCOMPARE((QStringList{QString::number(t[0].format), text(t[0].points[0]),
                              text(t[0].points.value(1)), QString::number(t[1].format),
                              text(t[1].points[0]), QString::number(t[0].startTime)}),
                 (QStringList{"2", "1.5 2.5 10 1577836800 900 0", "1.7 2.5 0 1577836810 0 1", "1",
                              "3 4 0 0 1080 0", "1577836800"}));
        QCOMPARE(int(t[0].points[1].flags),
                 TrackPoint::SegmentStart | TrackPoint::NoAltitude | TrackPoint::NoSpeed);
        QCOMPARE(gpx.readNote(), QString()); // the waypoint of its own is kept as one
        QCOMPARE(gpx.waypoints().size(), 1);
    }

    // Hostile and broken files: refused with the file, the line and why, or points left out
    // with a note; never a crash or an allocation by the file's word.
    // Every format, with and without marks, in UTC and local time: what is written reads back
    // the same, to the format's precision, and keeps what it can keep of what the points lack.
    void roundTrips_data()
    {
        QTest::addColumn<QString>("extension");
        QTest::addColumn<bool>("marks");
        QTest::addColumn<int>("units"); // TimeShown for the CSV
        for (const char *ext : {".tkr", ".gpx", ".kml", ".geojson", ".csv"})
            for (bool marks : {false, true})
                for (int zone : {0, 1})
                    QTest::addRow("%s, %s, %s", ext, marks ? "marks" : "no marks",
                                  zone ? "local" : "UTC")
                        << QString(ext) << marks << zone;
    }

    void roundTrips()
    {
        QFETCH(QString, extension);
        QFETCH(bool, marks);
        QFETCH(int, units);
        // Two tracks a day apart: one with two segments, a fraction of a second, a mark and a
        // point without an altitude; one without altitudes.
        QVector<Track> tracks{track(Start, 2, 6), track(Start + 86400, 1, 3)};
        tracks[0].points[3].flags |= TrackPoint::SegmentStart;
        tracks[0].points[1].millis = 250;
        tracks[0].points[4].flags |= TrackPoint::NoAltitude;
        tracks[0].points[4].position.z = 0;
        for (TrackPoint &p : tracks[1].points)
            p.flags |= TrackPoint::NoAltitude, p.position.z = 0;
        tracks[0].name = QStringLiteral("Ørsted & <Co>");
        tracks[0].description = QStringLiteral("up\nand down");
        // Another device's sensor values: all four on one point, a heart rate alone on another.
        TrackPoint &sensed = tracks[0].points[2];
        sensed.heartRate = 141, sensed.cadence = 0, sensed.temperature = -3, sensed.power = 250;
        tracks[0].points[5].heartRate = 150;
        FixedDisplayUnits zone{SpeedUnit::Kmh, HeightUnit::Metres, TimeShown(units)};
        const FileFormats formats(&zone);
        FileFormat *format = formats.byExtension(extension);
        // Two places of their own: one with all it can have (a time with a fraction, an
        // elevation, a description), one with a name alone; neither at a track point.
        const QVector<Waypoint> places{
            Waypoint{"Hut <A&B>", "Open\nin summer", 46.123456789012, 7.25, 2100.25, Start + 99999,
                     250, true, true},
            Waypoint{"Spring", "", -33.5, 151.125, 0, 0, 0, false, false}};
        QVERIFY(format->write(tracks, path("r" + extension), {0, 1},
                              WriteOptions{false, marks, &places}));
        QVector<Track> back;
        QVERIFY2(format->read(back, path("r" + extension)), qPrintable(format->errorString()));

        // What each format keeps: TKR whole seconds, no segments, no point it cannot hold;
        // KML no times or speeds, GeoJSON no speeds; marks where they are written and read as
        // marks, or always kept (TKR).
        const bool tkr = extension == ".tkr", kml = extension == ".kml";
        const bool geo = extension == ".geojson";
        if (tkr)
            tracks[0].points.remove(4);
        QCOMPARE(back.size(), 2);
        for (int t = 0; t < 2; ++t) {
            QCOMPARE(back[t].points.size(), tracks[t].points.size());
            QCOMPARE(back[t].format, tracks[t].format);
            QCOMPARE(back[t].startTime, tracks[t].startTime); // the label's time, in any zone
            QCOMPARE(
                std::pair(back[t].name, back[t].description),
                std::pair(tracks[t].name, extension == ".csv" ? QString() : tracks[t].description));
            for (int i = 0; i < back[t].points.size(); ++i) {
                const TrackPoint &a = tracks[t].points[i], &b = back[t].points[i];
                const QString at = QStringLiteral("track %1 point %2").arg(t).arg(i);
                QVERIFY2(qAbs(a.position.x - b.position.x) < 1e-6 &&
                             qAbs(a.position.y - b.position.y) < 1e-6,
                         qPrintable(at));
                QVERIFY2(a.hasAltitude() == b.hasAltitude() || (tkr && t == 1), qPrintable(at));
                if (a.hasAltitude() && t == 0)
                    QVERIFY2(qAbs(a.position.z - b.position.z) < 0.005, qPrintable(at));
                if (!kml)
                    QVERIFY2(b.time == a.time && b.millis == (tkr ? 0 : a.millis), qPrintable(at));
                if (!kml && !geo && i > 0) // the first point's speed is the logger's; kept
                    QVERIFY2(qAbs(int(b.speed) - int(a.speed)) <= 2, qPrintable(at));
                QVERIFY2(b.startsSegment() ==
                             (a.startsSegment() && (extension == ".gpx" || kml || geo)),
                         qPrintable(at));
                QVERIFY2((b.marked != 0) == (a.marked != 0 && ((marks && !geo) || tkr)),
                         qPrintable(at));
                const bool sensors = format->keepsSensors();
                QVERIFY2(std::tuple(b.heartRate, b.cadence, b.temperature, b.power) ==
                             (sensors ? std::tuple(a.heartRate, a.cadence, a.temperature, a.power)
                                      : std::tuple(TrackPoint().heartRate, TrackPoint().cadence,
                                                   TrackPoint().temperature, TrackPoint().power)),
                         qPrintable(at));
            }
        }
        QCOMPARE(format->readNote(), QString());
        // GeoJSON's marks come back as points of their own, before the places.
        QVector<Waypoint> own = format->waypoints();
        own.erase(std::remove_if(own.begin(), own.end(),
                                 [](const Waypoint &w) { return w.name.startsWith("Mark "); }),
                  own.end());
        QCOMPARE(own, format->keepsWaypoints() ? places : QVector<Waypoint>());
    }

    // Small files as other programs write them: what each reader keeps and says, or why it
    // refuses. "zip:" files are zipped as doc.kml first.
    void readers_data()
    {
        QTest::addColumn<QString>("name");
        QTest::addColumn<QByteArray>("bytes");
        QTest::addColumn<QString>("zone");     // TZ while reading; empty: the test's
        QTest::addColumn<QString>("expected"); // describe(), or "!" and part of the refusal
        QTest::addColumn<QString>("note");
        const QByteArray gpx = "<gpx version=\"1.1\"><trk>";
        const auto pt = [](const char *lat, const char *inner) {
            return QByteArray("<trkpt lat=\"") + lat + "\" lon=\"8\">" + inner + "</trkpt>";
        };
        const QByteArray t0 = "<time>2020-01-01T00:00:00Z</time>",
                         t1 = "<time>2020-01-01T00:00:10Z</time>",
                         t2 = "<time>2020-01-01T00:00:20Z</time>";
        QTest::newRow("gpx, a point without an elevation")
            << "a.gpx"
            << gpx + "<trkseg>" + pt("47.0", "<ele>408</ele>" + t0) + pt("47.001", t1) +
                   pt("47.002", "<ele>410</ele>" + t2) + "</trkseg></trk></gpx>"
            << ""
            << "3 f2 s1 c ac c @47 8 408 1577836800.000 low408"
            << "";
        QTest::newRow("gpx, untimed and unreadable times")
            << "a.gpx"
            << gpx + "<trkseg>" + pt("47.0", "") + pt("47.001", "<time>noon</time>") +
                   "</trkseg></trk></gpx>"
            << ""
            << "2 f1 s1 tas tas @47 8 0 0.000"
            << "Points whose time cannot be read, kept without a time: 1.";
        QTest::newRow("gpx, segments and fractions of seconds")
            << "a.gpx"
            << gpx + "<trkseg>" + pt("47.0", "<time>2020-01-01T00:00:00.250Z</time>") +
                   pt("47.001", t1) + "</trkseg><trkseg>" + pt("47.01", t2) +
                   "</trkseg></trk></gpx>"
            << ""
            << "3 f1 s2 ac ac |as @47 8 0 1577836800.250"
            << "";
        QTest::newRow("gpx, empty values are missing values")
            << "a.gpx"
            << gpx + "<trkseg>" + pt("47.0", "<ele/><time></time><speed/>") +
                   pt("47.001", "<ele></ele>" + t1) + pt("47.002", "<ele>410</ele>" + t2) +
                   "</trkseg></trk></gpx>"
            << ""
            << "3 f2 s1 tas ac c @47 8 0 0.000 low410"
            << "";
        QTest::newRow("gpx, marks on points without a time, found by position")
            << "a.gpx"
            << "<gpx version=\"1.1\"><wpt lat=\"47.001\" lon=\"8\"><name>Mark 1</name></wpt>"
               "<trk><trkseg>" +
                   pt("47.0", "") + pt("47.001", "") + "</trkseg></trk></gpx>"
            << ""
            << "2 f1 s1 tas tasm @47 8 0 0.000"
            << "";
        const QByteArray kml = "<kml xmlns=\"http://www.opengis.net/kml/2.2\" "
                               "xmlns:gx=\"http://www.google.com/kml/ext/2.2\"><Document>";
        const QByteArray twoLines =
            kml +
            "<Placemark><MultiGeometry><LineString><coordinates>8,47 8.001,47.001"
            "</coordinates></LineString><LineString><coordinates>8.5, 47.5, 400 8.6 ,47.6 ,401"
            "</coordinates></LineString></MultiGeometry></Placemark></Document></kml>";
        QTest::newRow("kml, a MultiGeometry: segments; spaced commas; two values")
            << "a.kml" << twoLines << ""
            << "4 f2 s2 tas tas |ts ts @47 8 0 0.000 low400"
            << "";
        QTest::newRow("kml, gx:MultiTrack, a timed place marking its point, places of their own")
            << "a.kml"
            << kml + "<Placemark><gx:MultiTrack><gx:Track><when>2020-01-01T00:00:00Z</when>"
                     "<when>2020-01-01T00:00:10.5Z</when><gx:coord>8 47 400</gx:coord>"
                     "<gx:coord>8 47.001 401</gx:coord></gx:Track><gx:Track>"
                     "<when>2020-01-01T01:00:00Z</when><gx:coord>8 47.1 402</gx:coord>"
                     "</gx:Track></gx:MultiTrack></Placemark><Placemark><name>Mark 1</name>"
                     "<TimeStamp><when>2020-01-01T00:00:10Z</when></TimeStamp><Point>"
                     "<coordinates>8,47.001,401</coordinates></Point></Placemark>"
                     "<Placemark><TimeStamp><when>2020-02-01T00:00:00Z</when></TimeStamp><Point>"
                     "<coordinates>1,2</coordinates></Point></Placemark><Placemark><Point>"
                     "<coordinates>5,5</coordinates></Point></Placemark></Document></kml>"
            << ""
            << "3 f2 s2 c cm |s @47 8 400 1577836800.000 low400"
            << "";
        QByteArray nested = kml;
        for (int i = 0; i < 40; ++i)
            nested += "<Placemark><LineString><coordinates>8,47</coordinates></LineString>";
        QTest::newRow("kml, placemarks nested 40 deep")
            << "a.kml" << nested + QByteArray("</Placemark>").repeated(40) + "</Document></kml>"
            << ""
            << "%16"
            << "";
        QTest::newRow("kmz") << "a.kmz"
                             << "zip:" + twoLines << ""
                             << "4 f2 s2 tas tas |ts ts @47 8 0 0.000 low400"
                             << "";
        QTest::newRow("kmz named .kml") << "a.kml"
                                        << "zip:" + twoLines << ""
                                        << "4 f2 s2 tas tas |ts ts @47 8 0 0.000 low400"
                                        << "";
        QTest::newRow("kmz, a byte after the zip's end record")
            << "a.kmz"
            << "zip-tail:" + twoLines << ""
            << "4 f2 s2 tas tas |ts ts @47 8 0 0.000 low400"
            << "";
        QTest::newRow("kmz, a zip bomb") << "a.kmz"
                                         << "zip:" + QByteArray(60 << 20, ' ') << ""
                                         << "!would unpack to 60 MB"
                                         << "";
        QTest::newRow("kmz, no KML in it") << "a.kmz" << QByteArray("zip-other:x") << ""
                                           << "!holds no KML file"
                                           << "";
        QTest::newRow("tcx, two laps; a trackpoint without a position")
            << "a.tcx"
            << QByteArray("<TrainingCenterDatabase><Activities><Activity><Notes>Easy</Notes>"
                          "<Creator><Name>Forerunner</Name></Creator><Lap><Track>"
                          "<Trackpoint><Time>2020-01-01T00:00:00Z</Time><Position>"
                          "<LatitudeDegrees>47</LatitudeDegrees><LongitudeDegrees>8"
                          "</LongitudeDegrees></Position><AltitudeMeters>400</AltitudeMeters>"
                          "<HeartRateBpm><Value>90</Value></HeartRateBpm></Trackpoint>"
                          "<Trackpoint><Time>2020-01-01T00:00:05Z</Time></Trackpoint>"
                          "</Track></Lap><Lap><Track><Trackpoint><Time>2020-01-01T00:00:10Z"
                          "</Time><Position><LatitudeDegrees>47.001</LatitudeDegrees>"
                          "<LongitudeDegrees>8</LongitudeDegrees></Position></Trackpoint>"
                          "</Track></Lap></Activity></Activities></TrainingCenterDatabase>")
            << ""
            << "2 f2 s2 s |as @47 8 400 1577836800.000 low400"
            << "Trackpoints without a position, left out: 1.";
        QTest::newRow("tcx, a GPX named .tcx") << "a.tcx" << gpx + "</trk></gpx>"
                                               << ""
                                               << "!is not a TCX file"
                                               << "";
        QTest::newRow("csv, semicolons and decimal commas")
            << "a.csv"
            << QByteArray("Lat;Lon;Alt;Speed (m/s);DateTime\n"
                          "47,5;8,25;400,5;2,5;2020-01-01T02:00:00+02:00\n")
            << ""
            << "1 f2 s1 . @47.5 8.25 400.5 1577836800.000 low400.5"
            << "";
        QTest::newRow("csv, quoted fields, tabs, epoch milliseconds and mph")
            << "a.csv"
            << QByteArray("\"name, place\"\tlatitude\tlongitude\ttimestamp\tspeed (mph)\n"
                          "\"Zurich, \"\"HB\"\"\"\t47.5\t8.25\t1577836800250\t10\n")
            << ""
            << "1 f1 s1 a @47.5 8.25 0 1577836800.250"
            << "";
        QTest::newRow("csv, dd.mm.yyyy, fractional epoch, knots, unreadable values")
            << "a.csv"
            << QByteArray("lat,lng,date,time,ele,speed (knots)\n"
                          "47.5,8.25,01.01.2020,00:00:00.5,400,10\n"
                          "47.6,8.25,31.02.2020,00:00:10,high,x\n")
            << ""
            << "2 f2 s1 . tas @47.5 8.25 400 1577836800.500 low400"
            << "Values that cannot be read, left out: 3 (lines 3).";
        QTest::newRow("csv, nothing readable")
            << "a.csv" << QByteArray("lat,lon\n95,1\nx,y\n") << ""
            << "!none of its 2 points"
            << "";
        QTest::newRow("csv, our own: two tracks of a day, two hours apart")
            << "a.csv"
            << QByteArray("Date, Time (UTC), Latitude, Longitude, Altitude (m), Speed (km/hr)\n"
                          "2020-01-01,08:00:00,47.000000,8.000000,400.00,5.00\n"
                          "2020-01-01,08:00:05,47.000100,8.000000,401.00,5.00\n"
                          "2020-01-01,10:00:00,47.100000,8.000000,,7.00\n")
            << ""
            << "2 f2 s1 . . @47 8 400 1577865600.000 low400; 1 f1 s1 a @47.1 8 0 1577872800.000"
            << "";
        QTest::newRow("csv, our own in local time across the autumn change")
            << "a.csv"
            << QByteArray("Date, Time (local), Latitude, Longitude, Altitude (m), Speed (km/hr)\n"
                          "2020-10-25,02:30:00,47.000000,8.000000,400.00,5.00\n"
                          "2020-10-25,02:50:00,47.001000,8.000000,400.00,5.00\n"
                          "2020-10-25,02:10:00,47.002000,8.000000,400.00,5.00\n"
                          "2020-10-25,02:40:00,47.003000,8.000000,400.00,5.00\n")
            << "Europe/Berlin"
            << "4 f2 s1 . . . . @47 8 400 1603585800.000 low400"
            << "";
    }

    void readers()
    {
        QFETCH(QString, name);
        QFETCH(QByteArray, bytes);
        QFETCH(QString, zone);
        QFETCH(QString, expected);
        if (bytes.startsWith("zip:"))
            QVERIFY(makeZip(path(name), "doc.kml", bytes.mid(4)));
        else if (bytes.startsWith("zip-tail:")) // a byte after the end record, as some tools add
            QVERIFY(makeZip(path(name), "doc.kml", bytes.mid(9)) &&
                    writeAll(path(name), readAll(path(name)) + '\n'));
        else if (bytes.startsWith("zip-other:"))
            QVERIFY(makeZip(path(name), "notes.txt", bytes.mid(10)));
        else
            QVERIFY(writeAll(path(name), bytes));
        const FileFormats formats(&settings);
        FileFormat *format = formats.forName(name);
        QVector<Track> tracks;
        bool ok = false;
        {
            const ZoneGuard guard(zone.isEmpty() ? qgetenv("TZ").constData() : qPrintable(zone));
            ok = format->read(tracks, path(name));
        }
        if (expected.startsWith('!')) {
            QVERIFY2(!ok && format->errorString().contains(expected.mid(1)),
                     qPrintable(format->errorString()));
            QVERIFY(tracks.isEmpty());
            return;
        }
        QVERIFY2(ok, qPrintable(format->errorString()));
        if (name == "a.tcx") // the activity's notes, not the device's name
            QCOMPARE(tracks[0].name + '|' + tracks[0].description, QStringLiteral("|Easy"));
        if (expected.startsWith('%')) // read at all, so many tracks
            QCOMPARE(tracks.size(), expected.mid(1).toInt());
        else
            QCOMPARE(describe(tracks), expected);
        QTEST(format->readNote(), "note");
        if (name.endsWith(".csv") && zone == "Europe/Berlin") // forward through the repeated hour
            for (int i = 1; i < tracks[0].points.size(); ++i)
                QVERIFY(tracks[0].points[i].time > tracks[0].points[i - 1].time);
    }

    void badInput_data()
    {
        QTest::addColumn<QString>("name");
        QTest::addColumn<QByteArray>("bytes");
        // "!" and part of the error, or the points kept and the note
        QTest::addColumn<QString>("result");
        QByteArray laughs = "<?xml version=\"1.0\"?>\n<!DOCTYPE gpx [<!ENTITY a \"aaaaaaaaaa\">";
        for (char c = 'b'; c <= 'j'; ++c)
            laughs += QByteArray("<!ENTITY ") + c + " \"" +
                      QByteArray(10, '&').replace("&", QByteArray("&") + char(c - 1) + ";") + "\">";
        laughs += "]>\n<gpx><trk><name>&j;</name></trk></gpx>\n";
        QTest::newRow("billion laughs") << "a.gpx" << laughs << "!line 3";
        QTest::newRow("a 2 MB attribute")
            << "a.gpx"
            << "<gpx><trk><trkseg><trkpt lat=\"" + QByteArray(2 << 20, '1') + "\"/>"
            << "!line 1: a tag is longer than 1 MB";
        QTest::newRow("outside entity")
            << "a.gpx"
            << QByteArray("<!DOCTYPE gpx [<!ENTITY e SYSTEM "
                          "\"file:///etc/passwd\">]><gpx><trk><name>&e;</name></trk></gpx>")
            << "!holds no track points" /* never loaded: a track without points */;
        QTest::newRow("nan, 1e400, latitude 200")
            << "a.gpx"
            << QByteArray(
                   "<gpx><trk><trkseg><trkpt lat=\"nan\" lon=\"1\"/><trkpt lat=\"1\" "
                   "lon=\"1e400\"/>"
                   "<trkpt lat=\"200\" lon=\"1\"/><trkpt lat=\"1\" lon=\"1\"><ele>inf</ele></trkpt>"
                   "<trkpt lat=\"1\" lon=\"1\"/></trkseg></trk></gpx>")
            << "1 Points with an impossible position or value, left out: 4.";
        QTest::newRow("KML named .gpx") << "a.gpx" << QByteArray("<kml/>") << "!is not a GPX file";
        QTest::newRow("kml, bad tuples")
            << "a.kml"
            << QByteArray(
                   "<kml><Placemark><LineString><coordinates>1,2,3 1,95 x,y 1,2,3,4 "
                   "4,5</coordinates>"
                   "</LineString></Placemark><Placemark><Point><coordinates>1,2</coordinates>"
                   "</Point></Placemark></kml>")
            << "2 Points with an impossible position or value, left out: 3.";
        QByteArray attributes;
        for (int i = 0; i < 95000; ++i)
            attributes += " a" + QByteArray::number(i) + "=\"\"";
        QTest::newRow("95,000 attributes on one point")
            << "a.gpx"
            << "<gpx><trk><trkseg><trkpt lat=\"1\" lon=\"1\"" + attributes + "/>"
            << "!a tag has more than 512 attributes";
        QTest::newRow("csv, a 100 KB line") << "a.csv"
                                            << "lat,lon\n1," + QByteArray(100 << 10, '2') + "\n"
                                            << "!line 2 is longer than 64 KB";
        QTest::newRow("csv, columns in any order")
            << "a.csv"
            << QByteArray("Speed;Time;Lon;Lat;Ele\n5;2020-01-01 00:00:00;8.5;47.5;400\n"
                          "bad;;8.5;470;400\n")
            << "1 Rows without a possible position, left out: 1 (lines 3).";
        QTest::newRow("fit, cut short")
            << "a.fit" << QByteArray("\x0e\x10\0\0\xe8\x03\0\0.FIT\0\0\x40\0", 16)
            << "!it is cut short: its header gives 1000 bytes of messages, 0 follow";
        QTest::newRow("fit, text")
            << "a.fit" << QByteArray("hello, this is text") << "!no FIT file";
        QTest::newRow("txt without sentences")
            << "a.txt" << QByteArray("a shopping list\n$ 5 for bread\n") << "!no NMEA sentences";
        QTest::newRow("json, no GeoJSON") << "a.json" << QByteArray("{\"a\": 1}") << "!no GeoJSON";
        QTest::newRow("json, nested 100,000 deep")
            << "a.json" << QByteArray(100000, '[') << "!too deeply nested";
        QTest::newRow("igc, no A record")
            << "a.igc" << QByteArray("B1200004715000N00830000EA00410") << "!no A record first";
    }

    void badInput()
    {
        QFETCH(QString, name);
        QFETCH(QByteArray, bytes);
        QFETCH(QString, result);
        QVERIFY(writeAll(path(name), bytes));
        const FileFormats formats(&settings);
        FileFormat *format = formats.forName(name.mid(1));
        QVector<Track> tracks{track(7, 2, 2)};
        const bool ok = format->read(tracks, path(name));
        if (result.startsWith('!')) {
            QVERIFY(!ok);
            QVERIFY2(format->errorString().contains(result.mid(1)) &&
                         format->errorString().contains(path(name)),
                     qPrintable(format->errorString()));
            QCOMPARE(tracks.size(), 1);
        } else {
            QVERIFY2(ok, qPrintable(format->errorString()));
            QCOMPARE(QString::number(tracks.last().points.size()) + ' ' + format->readNote(),
                     result);
        }
        if (name == "a.csv" && ok) // the plain CSV's one good row, in its units
            QCOMPARE(text(tracks.last().points.first()),
                     QStringLiteral("47.5 8.5 400 1577836800 500 0"));
    }

    // Files written by other programs: GDAL's GPX, KML and GeoJSON, gpxpy's GPX 1.0 and 1.1,
    // Garmin's FIT SDK, pynmea2's sentences, and IGC and GeoJSON written by hand.
    void outsideFiles_data()
    {
        QTest::addColumn<QString>("name");
        QTest::addColumn<QString>("maker"); // a shell command writing `name` in the current folder
        // format, points, first point lat lon ele time speed mark; the last point's time,
        // segments, name | description | what the read left out
        QTest::addColumn<QString>("expected");
        const QString geojson =
            "echo '{\"type\":\"Feature\",\"properties\":{},\"geometry\":{\"type\":\"LineString\","
            "\"coordinates\":[[8.5,47.25,410.5],[8.51,47.26,412],[8.52,47.27,415]]}}' > l.geojson "
            "&& ";
        const QString untimed = "2 3 47.25 8.5 410.5 0 0 0; 0 1 ||";
        QTest::newRow("ogr2ogr GPX") << "o.gpx"
                                     << geojson + "ogr2ogr -f GPX -nlt MULTILINESTRING -lco "
                                                  "FORCE_GPX_TRACK=YES o.gpx l.geojson"
                                     << untimed;
        QTest::newRow("ogr2ogr KML")
            << "o.kml" << geojson + "ogr2ogr -f KML o.kml l.geojson" << untimed;
        QTest::newRow("ogr2ogr GeoJSON")
            << "o.json" << geojson + "ogr2ogr -f GeoJSON o.json l.geojson" << untimed;
        const QString py =
            "/usr/bin/python3 -c \"import gpxpy, gpxpy.gpx, datetime as d; g = gpxpy.gpx.GPX(); "
            "t = gpxpy.gpx.GPXTrack(); s = gpxpy.gpx.GPXTrackSegment(); g.tracks.append(t); "
            "t.segments.append(s); z = d.timezone.utc; "
            "[s.points.append(gpxpy.gpx.GPXTrackPoint(47.25 + i / 100, 8.5, elevation=%1, "
            "time=%2)) for i in range(3)]; open('%3', 'w').write(g.to_xml(version='%4'))\"";
        QTest::newRow("gpxpy 1.1, time and elevation")
            << "p.gpx"
            << py.arg("410.5 + i", "d.datetime(2020, 1, 1, 0, 0, 5 * i, tzinfo=z)", "p.gpx", "1.1")
            << "2 3 47.25 8.5 410.5 1577836800 80047 0; 1577836810 1 ||";
        QTest::newRow("gpxpy 1.0, no time, no elevation")
            << "p.gpx" << py.arg("None", "None", "p.gpx", "1.0") << "1 3 47.25 8.5 0 0 0 0; 0 1 ||";
        // Two laps of three records, 5 s apart, with heart rate.
        QTest::newRow("FIT SDK, two laps")
            << "f.fit"
            << "echo '{\"name\":\"Evening ride\",\"laps\":[[" + fitRecords(0) + "],[" +
                   fitRecords(3) + "]]}' > f.json && node " LX300_FIT_SCRIPT " encode f.json f.fit"
            << "2 6 47.25 8.5 410.4 1577836800 1800 0; 1577836825 2 Evening ride||";
        // RMC and GGA of each fix from 23:59:58 to 00:00:01, the date only in the RMC before
        // midnight (the day after is carried), one sentence damaged, one fix without a fix.
        QTest::newRow("pynmea2, across midnight")
            << "n.nmea"
            << "/usr/bin/python3 -c \"import pynmea2 as n; l = []; "
               "[l.extend([str(n.RMC('GN', 'RMC', ('%s.00' % t, 'A', '4715.000', 'N', '00830.000', "
               "'E', '10.0', '', d, '', ''))), str(n.GGA('GP', 'GGA', ('%s.00' % t, '4715.000', "
               "'N', '00830.000', 'E', q, '08', '0.9', '410.5', 'M', '47.0', 'M', '', '')))]) for "
               "t, d, q in (('235958', '311219', '1'), ('235959', '311219', '0'), ('000000', "
               "'', '1'))]; l.append(str(n.GGA('GP', 'GGA', ('000001.50', '4715.600', 'N', "
               "'00830.000', 'E', '1', '08', '0.9', '411', 'M', '47.0', 'M', '', '')))); "
               "l[2] = l[2].replace('4715', '4716'); open('n.nmea', 'w').write('\\r\\n'.join(l))\""
            << "2 3 47.25 8.5 410.5 1577836798 1852 0; 1577836801 1 || Sentences with a wrong "
               "checksum, left out: 1 (lines 3). Fixes the receiver marked invalid or gave no "
               "position, left out: 1.";
        // The 2015 date form, the pressure altitude where the GNSS one is 0, past midnight.
        QTest::newRow("IGC by hand, across midnight")
            << "i.igc"
            << "printf 'AXXX001\\nHFDTEDATE:311219,01\\nHFPLTPILOTINCHARGE: Jane Doe\\n"
               "HFGTYGLIDERTYPE:ASK "
               "21\\nHFGIDGLIDERID:D-1234\\nB2359584715000N00830000EA0041000410\\n"
               "B2359594715600N00830000EA0041200000\\nB0000024716200N00830000EA0041500415\\n"
               "B00000X\\nGABCDEF\\n' > i.igc"
            << "2 3 47.25 8.5 410 1577836798 200117 0; 1577836802 1 |Pilot: Jane Doe; Glider: ASK "
               "21 "
               "D-1234| B records that cannot be read, left out: 1 (lines 9).";
        QTest::newRow("GeoJSON by hand, times and parts")
            << "h.geojson"
            << "echo '{\"type\":\"FeatureCollection\",\"features\":[{\"type\":\"Feature\","
               "\"properties\":{\"name\":\"Walk\",\"desc\":\"Two parts\",\"coordTimes\":"
               "[[\"2020-01-01T00:00:00Z\",\"2020-01-01T00:00:05.250Z\"],[\"2020-01-01T00:01:00Z\"]"
               "]},"
               "\"geometry\":{\"type\":\"MultiLineString\",\"coordinates\":[[[8.5,47.25,410.5],"
               "[8.5,47.26]],[[8.5,47.27,415]]]}},{\"type\":\"Feature\",\"geometry\":{\"type\":"
               "\"Point\",\"coordinates\":[8,47]}}]}' > h.geojson"
            << "2 3 47.25 8.5 410.5 1577836800 76235 0; 1577836860 2 Walk|Two parts|";
    }

    void outsideFiles()
    {
        QFETCH(QString, name);
        QFETCH(QString, maker);
        QProcess sh;
        sh.setWorkingDirectory(dir->path());
        sh.start("sh", {"-c", maker});
        QVERIFY(sh.waitForFinished(60000));
        QVERIFY2(sh.exitCode() == 0, sh.readAllStandardError().constData());
        const FileFormats formats(&settings);
        QVector<Track> t;
        QVERIFY2(formats.read(t, path(name)), qPrintable(formats.forName(name)->errorString()));
        QCOMPARE(t.size(), 1);
        const TrackPoint &p = t[0].points.first();
        const int segments =
            int(std::count_if(t[0].points.begin(), t[0].points.end(),
                              [](const TrackPoint &q) { return q.startsSegment(); }));
        QTEST(QStringLiteral("%1 %2 %3; %4 %5 %6|%7| %8")
                  .arg(t[0].format)
                  .arg(t[0].points.size())
                  .arg(text(p))
                  .arg(t[0].points.last().time)
                  .arg(segments + 1)
                  .arg(t[0].name, t[0].description, formats.forName(name)->readNote())
                  .trimmed(),
              "expected");
        if (name.endsWith(".fit"))
            checkFit(path(name), t[0]);
        if (name.endsWith(".nmea")) { // pynmea2, parsing with checks, refuses the same line
            QProcess py;
            py.start("/usr/bin/python3",
                     {"-c",
                      "import sys, pynmea2\nfor n, l in enumerate(open(sys.argv[1]), 1):\n try: "
                      "pynmea2.parse(l.strip(), check=True)\n except pynmea2.ChecksumError: "
                      "print(n)",
                      path(name)});
            QVERIFY(py.waitForFinished(60000) && py.exitCode() == 0);
            QCOMPARE(py.readAllStandardOutput().trimmed(), QByteArray("3"));
        }
        if (p.time != 0 && name.endsWith(".gpx")) // 5 s apart: speeds over the 10 s around each
            QVERIFY(qAbs(t[0].points[1].speed / 100.0 -
                         TripAnalysis::geodesicLength(p.position, t[0].points[2].position) / 10 *
                             3.6) < 0.01);
    }

private:
    // Three FIT records of fitRecords' ride from record `first`, as fit.mjs takes them.
    static QString fitRecords(int first)
    {
        QStringList r;
        for (int i = first; i < first + 3; ++i)
            r << QStringLiteral(
                     "{\"t\":%1,\"lat\":%2,\"lon\":8.5,\"ele\":%3,\"speed\":5,\"hr\":%4}")
                     .arg(1577836800 + 5 * i)
                     .arg(47.25 + i / 1000.0)
                     .arg(410.4 + i)
                     .arg(120 + i);
        return r.join(',');
    }

    // Every point as the SDK's own decoder gives its record; a damaged byte is refused at the
    // check sum's offset.
    void checkFit(const QString &file, const Track &track)
    {
        QProcess node;
        node.start("node", {LX300_FIT_SCRIPT, "decode", file});
        QVERIFY(node.waitForFinished(60000) && node.exitCode() == 0);
        const QList<QByteArray> lines = node.readAllStandardOutput().trimmed().split('\n');
        QCOMPARE(lines.size(), track.points.size());
        for (int i = 0; i < lines.size(); ++i) {
            const QList<QByteArray> f = lines[i].split(' ');
            const TrackPoint &q = track.points[i];
            QCOMPARE(q.time, f[0].toUInt());
            QCOMPARE(q.position.x, f[1].toDouble());
            QCOMPARE(q.position.y, f[2].toDouble());
            QVERIFY(qAbs(q.position.z - f[3].toDouble()) < 1e-9);
            QCOMPARE(q.speed, quint32(qRound(f[4].toDouble() * 360)));
            QCOMPARE(q.heartRate, f[5].toUInt());
        }
        // Through GPX and back, twice: the same heart rates.
        const FileFormats formats(&settings);
        QVector<Track> once{track}, twice;
        QVERIFY(formats.write(once, path("fit.gpx"), {0}, false));
        QVERIFY(formats.read(twice, path("fit.gpx")) &&
                formats.write(twice, path("fit2.gpx"), {0}, false));
        QCOMPARE(readAll(path("fit2.gpx")), readAll(path("fit.gpx")));
        for (int i = 0; i < track.points.size(); ++i)
            QCOMPARE(twice[0].points[i].heartRate, track.points[i].heartRate);
        // gpxpy finds them in Garmin's extension, in its namespace.
        QProcess py;
        py.start(
            "/usr/bin/python3",
            {"-c",
             "import sys, gpxpy; g = gpxpy.parse(open(sys.argv[1])); print(' '.join(c.text "
             "for s in g.tracks[0].segments for p in s.points for e in p.extensions for c "
             "in e if c.tag == '{http://www.garmin.com/xmlschemas/TrackPointExtension/v1}hr'))",
             path("fit.gpx")});
        QVERIFY(py.waitForFinished(60000) && py.exitCode() == 0);
        QCOMPARE(py.readAllStandardOutput().trimmed(), QByteArray("120 121 122 123 124 125"));
        QByteArray bytes = readAll(file);
        bytes[20] = char(bytes[20] ^ 1);
        QVERIFY(writeAll(path("bad.fit"), bytes));
        FileFormatFIT fit;
        QVector<Track> none;
        QVERIFY(!fit.read(none, path("bad.fit")));
        QVERIFY2(fit.errorString().contains(QStringLiteral("byte %1").arg(bytes.size() - 2)),
                 qPrintable(fit.errorString()));
    }
};

QTEST_GUILESS_MAIN(TestFormats)
#include "tst_formats.moc"
