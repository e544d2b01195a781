#include "model/conversions.h"
#include "model/trackblock.h"

#include <QtEndian>
#include <QtTest>

namespace {

// Builds a data block byte by byte as the logger lays it out (big-endian).
class BlockBytes
{
public:
    BlockBytes() : bytes(TrackDataBlock::BlockSize, '\xFF') {}

    void setHeader(qint32 lat, qint32 lon, quint32 time, quint32 date, quint32 speed, qint32 alt,
                   quint32 format, bool start)
    {
        put(0, {quint32(lat), quint32(lon), time | (start ? 0x80000000u : 0u), date, speed,
                quint32(alt), 0, format});
    }
    void setShortRecord(int i, qint32 lat, qint32 lon, quint32 time, quint32 date, quint32 speed)
    {
        put(32 + 20 * i, {quint32(lat), quint32(lon), time, date, speed});
    }
    void setRecord(int i, qint32 lat, qint32 lon, quint32 time, quint32 date, quint32 speed,
                   qint32 alt, quint32 field7)
    {
        put(32 + 32 * i, {quint32(lat), quint32(lon), time, date, speed, quint32(alt), 5, field7});
    }
    TrackDataBlock decode() const
    {
        return decodeTrackDataBlock(reinterpret_cast<const uchar *>(bytes.constData()));
    }

    QByteArray bytes;

private:
    void put(int offset, std::initializer_list<quint32> fields)
    {
        for (quint32 f : fields) {
            qToBigEndian(f, bytes.data() + offset);
            offset += 4;
        }
    }
};

QVector<Track> emptyTracks(int n)
{
    return QVector<Track>(n);
}

} // namespace

class TestTrackBlock : public QObject
{
    Q_OBJECT

private slots:
    void fullShortBlock();
    void longBlockEndsAtErasedRecord();
    void partlyErasedRecordIsKept();
    void speedBoundary_data();
    void speedBoundary();
    void headerPointIgnoresSpeedLimit();
    void blocksGoToTheirTracks();
    void blockWithoutTrackIsDropped_data();
    void blockWithoutTrackIsDropped();
    void unknownFormatAddsNothing();
};

void TestTrackBlock::fullShortBlock()
{
    BlockBytes b;
    b.setHeader(47361234, 8320000, 130745, 50310, 500, 0, 1, true);
    for (int i = 0; i < 100; ++i)
        b.setShortRecord(i, 47361234 + i, 8320000, 130746 + (i % 10), 50310, 600);
    const TrackDataBlock block = b.decode();
    QCOMPARE(block.shortRecords.size(), 100);
    QCOMPARE(block.records.size(), 0);

    QVector<Track> tracks = emptyTracks(1);
    int current = -1;
    QVERIFY(appendTrackBlock(tracks, current, block));
    QCOMPARE(current, 0);
    QCOMPARE(tracks[0].format, 1);
    QCOMPARE(tracks[0].points.size(), 101);
    // The header point: start flag removed from its time, no altitude.
    QCOMPARE(tracks[0].points[0].time, 1267794465u);
    QCOMPARE(tracks[0].points[0].position.z, 0.0);
    QCOMPARE(tracks[0].points[0].field7, 0u);
    QCOMPARE(tracks[0].points[0].speed, 500u);
    QCOMPARE(tracks[0].points[100].position.x, 47.0 + (0.1234 + 99 / 10000.0 + 36) / 60.0);
}

void TestTrackBlock::longBlockEndsAtErasedRecord()
{
    BlockBytes b;
    b.setHeader(47361234, -122335000, 130745, 50310, 100, 1234567, 2, true);
    b.setRecord(0, 147361234, -122335000, 130746, 50310, 200, 1250000, 77);
    b.setRecord(1, 47361234, -122335000, 130747, 50310, 300, -50000, 78);
    // Record 2 stays all 0xFF; record 3 after it must be ignored.
    b.setRecord(3, 47361234, -122335000, 130749, 50310, 400, 0, 79);
    const TrackDataBlock block = b.decode();
    QCOMPARE(block.records.size(), 2);

    QVector<Track> tracks = emptyTracks(1);
    int current = -1;
    QVERIFY(appendTrackBlock(tracks, current, block));
    const Track &t = tracks[0];
    QCOMPARE(t.format, 2);
    QCOMPARE(t.points.size(), 3);
    QCOMPARE(t.points[0].position.z, 123.4567);
    QCOMPARE(t.points[0].field7, 2u); // the header point carries the log format
    QCOMPARE(t.points[1].marked, 1);
    QCOMPARE(t.points[1].position.z, 125.0);
    QCOMPARE(t.points[1].field7, 77u);
    QCOMPARE(t.points[2].position.z, -5.0);
    QCOMPARE(t.points[2].time, 1267794467u);
}

void TestTrackBlock::partlyErasedRecordIsKept()
{
    // Only a record whose every field is 0xFFFFFFFF ends the list.
    BlockBytes b;
    b.setHeader(0, 0, 0, 10100, 0, 0, 1, true);
    b.setShortRecord(0, -1, -1, 0xFFFFFFFFu, 0xFFFFFFFFu, 0);
    const TrackDataBlock block = b.decode();
    QCOMPARE(block.shortRecords.size(), 1);

    QVector<Track> tracks = emptyTracks(1);
    int current = -1;
    appendTrackBlock(tracks, current, block);
    QCOMPARE(tracks[0].points.size(), 2);
    QCOMPARE(tracks[0].points[1].time, InvalidEpoch);
}

void TestTrackBlock::speedBoundary_data()
{
    QTest::addColumn<quint32>("speed");
    QTest::addColumn<bool>("kept");
    QTest::newRow("10000 km/h kept") << 1000000u << true;
    QTest::newRow("just above dropped") << 1000001u << false;
    QTest::newRow("all ones dropped") << 0xFFFFFFFFu << false;
    QTest::newRow("standing kept") << 0u << true;
}

void TestTrackBlock::speedBoundary()
{
    QFETCH(quint32, speed);
    QFETCH(bool, kept);
    for (int format : {1, 2}) {
        BlockBytes b;
        b.setHeader(1, 1, 120000, 10100, 0, 0, quint32(format), true);
        if (format == 1)
            b.setShortRecord(0, 2, 2, 120001, 10100, speed);
        else
            b.setRecord(0, 2, 2, 120001, 10100, speed, 0, 0);
        QVector<Track> tracks = emptyTracks(1);
        int current = -1;
        appendTrackBlock(tracks, current, b.decode());
        QCOMPARE(tracks[0].points.size(), kept ? 2 : 1);
    }
}

void TestTrackBlock::headerPointIgnoresSpeedLimit()
{
    BlockBytes b;
    b.setHeader(1, 1, 120000, 10100, 0xFFFFFFF0u, 0, 2, true);
    QVector<Track> tracks = emptyTracks(1);
    int current = -1;
    appendTrackBlock(tracks, current, b.decode());
    QCOMPARE(tracks[0].points.size(), 1);
    QCOMPARE(tracks[0].points[0].speed, 0xFFFFFFF0u);
}

void TestTrackBlock::blocksGoToTheirTracks()
{
    QVector<Track> tracks = emptyTracks(2);
    tracks[0].startTime = 11;
    int current = -1;

    BlockBytes first;
    first.setHeader(1, 1, 120000, 10100, 0, 0, 1, true);
    first.setShortRecord(0, 1, 1, 120001, 10100, 0);
    BlockBytes continued;
    continued.setHeader(1, 1, 120002, 10100, 0, 0, 1, false);
    BlockBytes second;
    second.setHeader(1, 1, 130000, 10100, 0, 0, 2, true);

    QVERIFY(appendTrackBlock(tracks, current, first.decode()));
    QVERIFY(appendTrackBlock(tracks, current, continued.decode()));
    QCOMPARE(current, 0);
    QVERIFY(appendTrackBlock(tracks, current, second.decode()));
    QCOMPARE(current, 1);

    QCOMPARE(tracks[0].startTime, 11u);
    QCOMPARE(tracks[0].format, 1);
    QCOMPARE(tracks[0].points.size(), 3);
    QCOMPARE(tracks[0].points[2].time, 946728002u);
    QCOMPARE(tracks[1].format, 2);
    QCOMPARE(tracks[1].points.size(), 1);
}

void TestTrackBlock::blockWithoutTrackIsDropped_data()
{
    QTest::addColumn<int>("trackCount");
    QTest::addColumn<int>("startIndex");
    QTest::addColumn<bool>("startFlag");
    QTest::newRow("no start flag seen yet") << 1 << -1 << false;
    QTest::newRow("start flag past the last track") << 1 << 0 << true;
    QTest::newRow("no tracks at all") << 0 << -1 << true;
}

void TestTrackBlock::blockWithoutTrackIsDropped()
{
    QFETCH(int, trackCount);
    QFETCH(int, startIndex);
    QFETCH(bool, startFlag);
    BlockBytes b;
    b.setHeader(1, 1, 120000, 10100, 0, 0, 1, startFlag);
    b.setShortRecord(0, 1, 1, 120001, 10100, 0);
    QVector<Track> tracks = emptyTracks(trackCount);
    int current = startIndex;
    QVERIFY(!appendTrackBlock(tracks, current, b.decode()));
    for (const Track &t : tracks) {
        QCOMPARE(t.points.size(), 0);
        QCOMPARE(t.format, 0);
    }
}

void TestTrackBlock::unknownFormatAddsNothing()
{
    BlockBytes b;
    b.setHeader(1, 1, 120000, 10100, 0, 0, 3, true);
    const TrackDataBlock block = b.decode();
    QVERIFY(block.records.isEmpty());
    QVERIFY(block.shortRecords.isEmpty());
    QVector<Track> tracks = emptyTracks(1);
    int current = -1;
    QVERIFY(appendTrackBlock(tracks, current, block));
    QCOMPARE(current, 0);
    QCOMPARE(tracks[0].format, 3);
    QCOMPARE(tracks[0].points.size(), 0);
}

QTEST_APPLESS_MAIN(TestTrackBlock)
#include "tst_trackblock.moc"
