#include "filesizelimit.h"
#include "formats/fileformattkr.h"

#include <QtEndian>
#include <QtTest>

namespace {

TrackPoint point(double lat, double lon, double alt, quint32 time, quint32 speed, int marked,
                 quint32 field7 = 0)
{
    TrackPoint p;
    p.position = Vec3(lat, lon, alt);
    p.time = time;
    p.speed = speed;
    p.marked = marked;
    p.field7 = field7;
    return p;
}

Track track(quint32 start, int format, int points)
{
    Track t;
    t.startTime = start;
    t.format = format;
    for (int i = 0; i < points; ++i)
        t.points.append(point(47.5 + i * 0.001, 8.25 - i * 0.001, 400.125 + i, start + 5u * i,
                              quint32(1000 + i), i % 3 == 1 ? 1 : 0, 2));
    return t;
}

QByteArray readAll(const QString &name)
{
    QFile f(name);
    f.open(QIODevice::ReadOnly);
    return f.readAll();
}

void writeAll(const QString &name, const QByteArray &bytes)
{
    QFile f(name);
    QVERIFY(f.open(QIODevice::WriteOnly));
    f.write(bytes);
}

quint32 u32(const QByteArray &b, int offset)
{
    return qFromLittleEndian<quint32>(b.constData() + offset);
}

} // namespace

class TestTkr : public QObject
{
    Q_OBJECT

public:
    static void initMain()
    {
        // A zone eight hours ahead of UTC, without summer time.
        qputenv("TZ", "XST-8");
    }

private slots:
    void init() { dir.reset(new QTemporaryDir); }
    void layout_data();
    void layout();
    void headerBytes();
    void roundTrip();
    void markedOnly();
    void timeZeroIsDroppedButConsumed();
    void version1IsShiftedByTheZone();
    void version3ReadsAsVersion2();
    void readingAppends();
    void refusedFilesLeaveTheListAlone_data();
    void refusedFilesLeaveTheListAlone();
    void bitFlipsAreReadOrRefusedCleanly();
    void otherFormatsDoNotRead();
    void failedWriteKeepsTheOldFile();
    void unwritablePathFails();

private:
    QString path(const char *name) const { return dir->filePath(QString::fromLatin1(name)); }
    QScopedPointer<QTemporaryDir> dir;
};

void TestTkr::layout_data()
{
    QTest::addColumn<QVector<int>>("pointCounts");
    QTest::addColumn<int>("size");
    QTest::addColumn<QVector<int>>("offsets");
    QTest::newRow("empty selection") << QVector<int>{} << 108 << QVector<int>{};
    QTest::newRow("one point") << QVector<int>{1} << 176 << QVector<int>{120};
    QTest::newRow("2 and 3 points") << QVector<int>{2, 3} << 388 << QVector<int>{132, 236};
    QTest::newRow("empty track") << QVector<int>{0} << 128 << QVector<int>{120};
}

void TestTkr::layout()
{
    QFETCH(QVector<int>, pointCounts);
    QFETCH(int, size);
    QFETCH(QVector<int>, offsets);
    QVector<Track> tracks;
    QList<int> selection;
    for (int n : pointCounts) {
        selection.append(int(tracks.size()));
        tracks.append(track(1239437700u + quint32(tracks.size()), 2, n));
    }
    FileFormatTKR tkr;
    QVERIFY(tkr.write(tracks, path("a.tkr"), selection, false));
    const QByteArray b = readAll(path("a.tkr"));
    QCOMPARE(b.size(), size);
    QCOMPARE(u32(b, 40), quint32(pointCounts.size()));
    for (int k = 0; k < pointCounts.size(); ++k) {
        QCOMPARE(u32(b, 108 + 12 * k), quint32(k));
        QCOMPARE(u32(b, 112 + 12 * k), quint32(offsets[k]));
        QCOMPARE(u32(b, 116 + 12 * k), quint32(pointCounts[k]));
        QCOMPARE(u32(b, offsets[k]), tracks[k].startTime);
        QCOMPARE(u32(b, offsets[k] + 4), 2u);
    }
}

void TestTkr::headerBytes()
{
    FileFormatTKR tkr;
    QVector<Track> tracks{track(1239437700u, 1, 1)};
    QVERIFY(tkr.write(tracks, path("h.tkr"), {0}, false));
    const QByteArray b = readAll(path("h.tkr"));
    QCOMPARE(b.left(4), QByteArray("TRKF"));
    QCOMPARE(qFromLittleEndian<quint16>(b.constData() + 4), quint16(2));
    const QByteArray tag("LX300-AA-XXXXXX\0", 16);
    QCOMPARE(b.mid(6, 16), tag);
    QCOMPARE(b.mid(22, 16), tag);
    QCOMPARE(b.mid(38, 2), QByteArray(2, '\0'));
    QCOMPARE(b.mid(44, 64), QByteArray(64, '\0'));
    // The point record at 128: reserved bytes zero, speed before marked.
    QCOMPARE(b.mid(128, 8), QByteArray(8, '\0'));
    double lat;
    memcpy(&lat, b.constData() + 136, 8);
    QCOMPARE(lat, 47.5);
    double alt;
    memcpy(&alt, b.constData() + 152, 8);
    QCOMPARE(alt, 4001250.0);
    QCOMPARE(u32(b, 160), 1239437700u);
    QCOMPARE(u32(b, 164), 1000u);
    QCOMPARE(u32(b, 168), 0u);
    QCOMPARE(b.mid(172, 4), QByteArray(4, '\0'));
}

void TestTkr::roundTrip()
{
    QVector<Track> tracks{track(1239437700u, 2, 130), track(1239524100u, 1, 7)};
    tracks[0].points[5].position = Vec3(-33.5, -70.25, -12.3456);
    FileFormatTKR tkr;
    QVERIFY(tkr.write(tracks, path("r.tkr"), {1, 0}, false));
    QVector<Track> back;
    QVERIFY(tkr.read(back, path("r.tkr")));
    QCOMPARE(back.size(), 2);
    QCOMPARE(back[0].startTime, tracks[1].startTime);
    QCOMPARE(back[0].format, 1);
    QCOMPARE(back[1].format, 2);
    const Track &t = back[1];
    QCOMPARE(t.points.size(), 130);
    for (int i = 0; i < t.points.size(); ++i) {
        const TrackPoint &a = tracks[0].points[i];
        const TrackPoint &b = t.points[i];
        QCOMPARE(b.position.x, a.position.x);
        QCOMPARE(b.position.y, a.position.y);
        QVERIFY(qAbs(b.position.z - a.position.z) < 1e-9);
        QCOMPARE(b.time, a.time);
        QCOMPARE(b.speed, a.speed);
        QCOMPARE(b.marked, a.marked);
        QCOMPARE(b.field7, 0u); // not stored
    }
}

void TestTkr::markedOnly()
{
    QVector<Track> tracks{track(1239437700u, 2, 10), track(1239437800u, 2, 1)};
    FileFormatTKR tkr;
    QVERIFY(tkr.write(tracks, path("m.tkr"), {0, 1}, true));
    const QByteArray b = readAll(path("m.tkr"));
    QCOMPARE(u32(b, 116), 3u); // points 1, 4 and 7 are marked
    QCOMPARE(u32(b, 128), 0u); // the other track has none but keeps its entry
    QCOMPARE(b.size(), 108 + 24 + 8 + 3 * 48 + 8);
    QVector<Track> back;
    QVERIFY(tkr.read(back, path("m.tkr")));
    QCOMPARE(back[0].points.size(), 3);
    QCOMPARE(back[0].points[1].time, tracks[0].points[4].time);
    QCOMPARE(back[1].points.size(), 0);
}

void TestTkr::timeZeroIsDroppedButConsumed()
{
    QVector<Track> tracks{track(1239437700u, 2, 3), track(1239437800u, 2, 2)};
    tracks[0].points[1].time = 0;
    FileFormatTKR tkr;
    QVERIFY(tkr.write(tracks, path("z.tkr"), {0, 1}, false));
    QVector<Track> back;
    QVERIFY(tkr.read(back, path("z.tkr")));
    QCOMPARE(back[0].points.size(), 2);
    QCOMPARE(back[0].points[1].time, tracks[0].points[2].time);
    QCOMPARE(back[1].points.size(), 2);
    QCOMPARE(back[1].points[0].time, tracks[1].points[0].time);
}

void TestTkr::version1IsShiftedByTheZone()
{
    FileFormatTKR tkr;
    QCOMPARE(tkr.utcOffset(), 8 * 3600);
    QVector<Track> tracks{track(1239437700u, 2, 3)};
    tracks[0].points[2].time = quint32(-8 * 3600); // becomes 0 once shifted: dropped
    QVERIFY(tkr.write(tracks, path("v1.tkr"), {0}, false));
    QByteArray b = readAll(path("v1.tkr"));
    qToLittleEndian(quint16(1), b.data() + 4);
    writeAll(path("v1.tkr"), b);
    QVector<Track> back;
    QVERIFY(tkr.read(back, path("v1.tkr")));
    QCOMPARE(back[0].startTime, 1239437700u + 28800u);
    QCOMPARE(back[0].points.size(), 2);
    QCOMPARE(back[0].points[1].time, tracks[0].points[1].time + 28800u);
}

void TestTkr::version3ReadsAsVersion2()
{
    FileFormatTKR tkr;
    QVector<Track> tracks{track(1239437700u, 2, 2)};
    QVERIFY(tkr.write(tracks, path("v3.tkr"), {0}, false));
    QByteArray b = readAll(path("v3.tkr"));
    qToLittleEndian(quint16(3), b.data() + 4);
    writeAll(path("v3.tkr"), b);
    QVector<Track> back;
    QVERIFY(tkr.read(back, path("v3.tkr")));
    QCOMPARE(back[0].startTime, 1239437700u);
    QCOMPARE(back[0].points[1].time, tracks[0].points[1].time);
}

void TestTkr::readingAppends()
{
    FileFormatTKR tkr;
    QVector<Track> tracks{track(1239437700u, 2, 2)};
    QVERIFY(tkr.write(tracks, path("x.tkr"), {0}, false));
    QVector<Track> back{track(1u, 1, 1)};
    QVERIFY(tkr.read(back, path("x.tkr")));
    QVERIFY(tkr.read(back, path("x.tkr")));
    QCOMPARE(back.size(), 3);
    QCOMPARE(back[0].startTime, 1u);
    QCOMPARE(back[2].points.size(), 2);
}

void TestTkr::refusedFilesLeaveTheListAlone_data()
{
    QVector<Track> tracks{track(1239437700u, 2, 4), track(1239437800u, 1, 3)};
    QTemporaryDir tmp;
    FileFormatTKR tkr;
    const QString name = tmp.filePath(QStringLiteral("good.tkr"));
    QVERIFY(tkr.write(tracks, name, {0, 1}, false));
    const QByteArray good = readAll(name);

    QTest::addColumn<QByteArray>("bytes");
    QByteArray wrongMagic = good;
    wrongMagic[3] = 'G';
    QTest::newRow("wrong magic") << wrongMagic;
    QTest::newRow("empty file") << QByteArray();
    QTest::newRow("header cut") << good.left(60);
    QTest::newRow("index cut") << good.left(115);
    QTest::newRow("track header cut") << good.left(136);
    QTest::newRow("last record cut") << good.left(good.size() - 1);
    QByteArray manyTracks = good;
    qToLittleEndian(0xFFFFFFFFu, manyTracks.data() + 40);
    QTest::newRow("track count lies") << manyTracks;
    QByteArray manyPoints = good;
    qToLittleEndian(0x7FFFFFFFu, manyPoints.data() + 116);
    QTest::newRow("point count lies") << manyPoints;
    QByteArray oneMore = good;
    qToLittleEndian(5u, oneMore.data() + 128);
    QTest::newRow("one point more than stored") << oneMore;
}

void TestTkr::refusedFilesLeaveTheListAlone()
{
    QFETCH(QByteArray, bytes);
    writeAll(path("bad.tkr"), bytes);
    QVector<Track> tracks{track(7u, 2, 2)};
    FileFormatTKR tkr;
    QVERIFY(!tkr.read(tracks, path("bad.tkr")));
    QVERIFY(!tkr.errorString().isEmpty());
    QCOMPARE(tracks.size(), 1);
    QCOMPARE(tracks[0].startTime, 7u);
    QCOMPARE(tracks[0].points.size(), 2);
}

void TestTkr::bitFlipsAreReadOrRefusedCleanly()
{
    QVector<Track> tracks{track(1239437700u, 2, 3), track(1239437800u, 1, 2)};
    FileFormatTKR tkr;
    QVERIFY(tkr.write(tracks, path("flip.tkr"), {0, 1}, false));
    const QByteArray good = readAll(path("flip.tkr"));
    int refused = 0;
    for (int byte = 0; byte < good.size(); ++byte) {
        for (int bit = 0; bit < 8; ++bit) {
            QByteArray bad = good;
            bad[byte] = char(bad[byte] ^ (1 << bit));
            writeAll(path("flip.tkr"), bad);
            QVector<Track> list{track(7u, 2, 1)};
            if (tkr.read(list, path("flip.tkr"))) {
                // Whatever was read fits in the file.
                qint64 points = 0;
                for (int t = 1; t < list.size(); ++t)
                    points += list[t].points.size();
                QVERIFY(points * 48 <= bad.size());
            } else {
                ++refused;
                QCOMPARE(list.size(), 1);
                QCOMPARE(list[0].startTime, 7u);
            }
        }
    }
    QVERIFY(refused > 0); // the magic and the counts at least
}

void TestTkr::otherFormatsDoNotRead()
{
    FileFormatTKR tkr;
    QVector<Track> tracks;
    QVERIFY(!tkr.read(tracks, path("missing.tkr")));
    QVERIFY(tkr.errorString().contains(QStringLiteral("missing.tkr")));
}

void TestTkr::failedWriteKeepsTheOldFile()
{
    const QByteArray old("the only copy of a trip");
    writeAll(path("keep.tkr"), old);
    QVector<Track> tracks{track(1239437700u, 2, 5000)};

    FileFormatTKR tkr;
    bool written;
    {
        const FileSizeLimit full(65536); // the disk is "full" after 64 KiB
        written = tkr.write(tracks, path("keep.tkr"), {0}, false);
    }

    QVERIFY(!written);
    QVERIFY(!tkr.errorString().isEmpty());
    QCOMPARE(readAll(path("keep.tkr")), old);
    QCOMPARE(QDir(dir->path()).entryList(QDir::Files), QStringList{"keep.tkr"});
}

void TestTkr::unwritablePathFails()
{
    FileFormatTKR tkr;
    QVector<Track> tracks{track(1239437700u, 2, 1)};
    QVERIFY(!tkr.write(tracks, path("no/such/folder/a.tkr"), {0}, false));
    QVERIFY(!tkr.write(tracks, path("b.tkr"), {1}, false)); // no track 1
    QVERIFY(!QFile::exists(path("b.tkr")));
}

QTEST_GUILESS_MAIN(TestTkr)
#include "tst_tkr.moc"
