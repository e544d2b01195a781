#include "model/conversions.h"
#include "model/trackblock.h"

#include <QtEndian>
#include <QtTest>

namespace {
// A data block laid out as the logger sends it: big-endian words, erased (0xFF) where unused.
struct BlockBytes
{
    QByteArray bytes = QByteArray(TrackDataBlock::BlockSize, '\xFF');
    void put(int offset, std::initializer_list<quint32> fields)
    {
        for (quint32 f : fields)
            qToBigEndian(f, bytes.data() + (offset += 4) - 4);
    }
    BlockBytes &header(quint32 format, bool start, quint32 time = 120000, qint32 alt = 0,
                       quint32 speed = 0)
    {
        put(0, {47361234u, 8320000u, time | (start ? 0x80000000u : 0u), 50310, speed, quint32(alt),
                0, format});
        return *this;
    }
    BlockBytes &record(quint32 format, int i, quint32 speed = 600, qint32 lat = 47361234,
                       quint32 time = 130746)
    {
        if (format == 1)
            put(32 + 20 * i, {quint32(lat), 8320000u, time, 50310, speed});
        else
            put(32 + 32 * i, {quint32(lat), 8320000u, time, 50310, speed, quint32(-50000), 5, 77});
        return *this;
    }
    TrackDataBlock decode() const
    {
        return decodeTrackDataBlock(reinterpret_cast<const uchar *>(bytes.constData()));
    }
};
} // namespace

class TestModel : public QObject
{
    Q_OBJECT
private slots:
    void dateTime_data()
    {
        QTest::addColumn<quint32>("date");
        QTest::addColumn<quint32>("time");
        QTest::addColumn<quint32>("epoch"); // computed independently (calendar.timegm)
        QTest::newRow("5 March 2010 13:07:45") << 50310u << 130745u << 1267794465u;
        QTest::newRow("last second of 2099") << 311299u << 235959u << 4102444799u;
        QTest::newRow("year 2070 is 2000 + yy") << 10170u << 0u << 3155760000u;
        QTest::newRow("leap day 2000") << 290200u << 0u << 951782400u;
        QTest::newRow("leap day 2024 noon") << 290224u << 120000u << 1709208000u;
        QTest::newRow("day 0") << 0u << 0u << InvalidEpoch;
        QTest::newRow("month 13") << 11309u << 0u << InvalidEpoch;
        QTest::newRow("29 Feb of a common year") << 290201u << 0u << InvalidEpoch;
        QTest::newRow("31 April") << 310410u << 0u << InvalidEpoch;
        QTest::newRow("hour 24") << 50310u << 240000u << InvalidEpoch;
        QTest::newRow("minute 60") << 50310u << 126000u << InvalidEpoch;
        QTest::newRow("second 60") << 50310u << 125960u << InvalidEpoch;
        QTest::newRow("erased record") << 0xFFFFFFFFu << 0xFFFFFFFFu << InvalidEpoch;
    }

    void dateTime()
    {
        QFETCH(quint32, date);
        QFETCH(quint32, time);
        QTEST(packedDateTimeToEpoch(date, time), "epoch");
    }

    void coordinate_data()
    {
        QTest::addColumn<bool>("latitude");
        QTest::addColumn<qint32>("packed");
        QTest::addColumn<double>("degrees");
        QTest::addColumn<int>("marked");
        QTest::newRow("47 36.1234 N") << true << 47361234 << 47.60205666666667 << 0;
        QTest::newRow("mark flag") << true << 147361234 << 47.60205666666667 << 1;
        QTest::newRow("just below the flag") << true << 99595999 << 99.99333166666666 << 0;
        QTest::newRow("flag on the equator") << true << 100000000 << 0.0 << 1;
        QTest::newRow("far south never flagged") << true << -147361234 << -147.60205666666667 << 0;
        QTest::newRow("122 33.5 W") << false << -122335000 << -122.55833333333334 << 0;
        QTest::newRow("fraction only, negative") << false << -1 << -1.6666666666666667e-06 << 0;
        QTest::newRow("longitude has no flag") << false << 147361234 << 147.60205666666667 << 0;
    }

    void coordinate()
    {
        QFETCH(bool, latitude);
        QFETCH(qint32, packed);
        qint32 flag = 0;
        QTEST(latitude ? packedLatitudeToDegrees(packed, &flag) : packedLongitudeToDegrees(packed),
              "degrees");
        QTEST(int(flag), "marked");
    }

    void blocks_data()
    {
        QTest::addColumn<QByteArray>("bytes");
        QTest::addColumn<int>("format");
        QTest::addColumn<int>("points");
        QTest::addColumn<double>("lastAltitude");
        BlockBytes full;
        full.header(1, true);
        for (int i = 0; i < 100; ++i)
            full.record(1, i, 600, 47361234 + i);
        QTest::newRow("full short block") << full.bytes << 1 << 101 << 0.0;
        BlockBytes gap;
        gap.header(2, true, 120000, 1234567).record(2, 0).record(2, 1).record(2, 3);
        QTest::newRow("long block ends at the erased record") << gap.bytes << 2 << 3 << -5.0;
        BlockBytes partly;
        partly.header(1, true).put(32, {0xFFFFFFFFu, 0xFFFFFFFFu, 0xFFFFFFFFu, 0xFFFFFFFFu, 0});
        QTest::newRow("partly erased record kept") << partly.bytes << 1 << 2 << 0.0;
        for (int format : {1, 2}) {
            const QByteArray f = QByteArray::number(format);
            QTest::newRow("10000 km/h kept, format " + f)
                << BlockBytes().header(format, true).record(format, 0, 1000000).bytes << format << 2
                << (format == 2 ? -5.0 : 0.0);
            QTest::newRow("just above dropped, format " + f)
                << BlockBytes().header(format, true).record(format, 0, 1000001).bytes << format << 1
                << 0.0;
        }
        QTest::newRow("header point keeps any speed")
            << BlockBytes().header(2, true, 120000, 0, 0xFFFFFFF0u).bytes << 2 << 1 << 0.0;
        QTest::newRow("unknown format adds nothing")
            << BlockBytes().header(3, true).bytes << 3 << 0 << 0.0;
    }

    void blocks()
    {
        QFETCH(QByteArray, bytes);
        QFETCH(int, points);
        QVector<Track> tracks(1);
        int current = -1;
        QVERIFY(appendTrackBlock(
            tracks, current, decodeTrackDataBlock(reinterpret_cast<const uchar *>(bytes.data()))));
        QCOMPARE(current, 0);
        QTEST(tracks[0].format, "format");
        QCOMPARE(tracks[0].points.size(), points);
        if (points == 0)
            return;
        const TrackPoint &first = tracks[0].points.first();
        QCOMPARE(first.time, 1267790400u); // the start flag is not part of the time
        QCOMPARE(first.field7, quint32(tracks[0].format == 2 ? 2 : 0)); // header point: log format
        QCOMPARE(first.position.z,
                 tracks[0].format == 2 ? qFromBigEndian<qint32>(bytes.data() + 20) / 10000.0 : 0.0);
        QTEST(tracks[0].points.last().position.z, "lastAltitude");
        if (points == 101)
            QCOMPARE(tracks[0].points.last().position.x,
                     47.0 + (0.1234 + 99 / 10000.0 + 36) / 60.0);
    }

    void blockWithoutTrack()
    {
        // Blocks join the track opened by the last start flag; without one they are dropped.
        QVector<Track> tracks(2);
        int current = -1;
        QVERIFY(!appendTrackBlock(tracks, current, BlockBytes().header(1, false).decode()));
        QVERIFY(
            appendTrackBlock(tracks, current, BlockBytes().header(1, true).record(1, 0).decode()));
        QVERIFY(appendTrackBlock(tracks, current, BlockBytes().header(1, false).decode()));
        QVERIFY(appendTrackBlock(tracks, current, BlockBytes().header(2, true).decode()));
        QVERIFY(!appendTrackBlock(tracks, current, BlockBytes().header(2, true).decode()));
        QCOMPARE(current, 2);
        QCOMPARE(tracks[0].points.size(), 3);
        QCOMPARE(tracks[0].format, 1);
        QCOMPARE(tracks[1].points.size(), 1);
        QCOMPARE(tracks[1].format, 2);
    }
};

QTEST_APPLESS_MAIN(TestModel)
#include "tst_model.moc"
