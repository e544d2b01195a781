#include "device/deviceprotocol.h"
#include "device/frame.h"
#include "device/receivering.h"

#include <QtEndian>
#include <QtTest>

namespace {

QByteArray hex(const char *text)
{
    return QByteArray::fromHex(text);
}

// Feeds bytes to the protocol as the worker does, one cycle per chunk.
QVector<DeviceProtocol::Event> feed(DeviceProtocol &p, const QByteArray &bytes,
                                    QByteArray *followUp = nullptr)
{
    QVector<DeviceProtocol::Event> events;
    QByteArray next;
    p.receive(reinterpret_cast<const uchar *>(bytes.constData()), quint32(bytes.size()));
    p.dispatchReply(&events, followUp ? followUp : &next);
    return events;
}

QByteArray be32(quint32 v)
{
    QByteArray b(4, '\0');
    qToBigEndian(v, b.data());
    return b;
}

QByteArray listPage(quint16 next, const QVector<std::array<quint32, 3>> &entries)
{
    QByteArray p(5, '\0');
    p[0] = char(0xBB);
    qToBigEndian(quint16(entries.size()), p.data() + 1);
    qToBigEndian(next, p.data() + 3);
    for (const auto &e : entries)
        p += be32(e[0]) + be32(e[1]) + be32(e[2]);
    return Frame::build(p);
}

} // namespace

class TestProtocol : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase() { QLoggingCategory::setFilterRules(QStringLiteral("lx300.device=false")); }
    void frames_data();
    void frames();
    void longChecksumKeeps15Bits();
    void validateFrame_data();
    void validateFrame();
    void ringWrapsAround();
    void ringRefusesWhatDoesNotFit();
    void requests_data();
    void requests();
    void replySplitOverCyclesIsTakenWhenComplete();
    void surplusByteIsNeverTaken();
    void badFramesAreConsumedAndIgnored_data();
    void badFramesAreConsumedAndIgnored();
    void oversizedLengthIsDropped();
    void listPageGroupsEntries();
    void listOverTwoPages();
    void listEntriesBeforeFirstStartAreDropped();
    void listCountThatDoesNotFitIsDropped();
    void acknowledgements_data();
    void acknowledgements();
    void configReplyAndWriteBack();
    void configReplyRejected_data();
    void configReplyRejected();
    void blockReply();
    void blockReplyOfAnyOtherLengthIsNotTaken();
    void requestEmptiesTheRing();
    void timeOutClearsPending();
};

void TestProtocol::frames_data()
{
    QTest::addColumn<QByteArray>("payload");
    QTest::addColumn<QByteArray>("frame");
    QTest::newRow("B7") << hex("B7") << hex("A0A20001B700B7B0B3");
    QTest::newRow("BF") << hex("BF") << hex("A0A20001BF00BFB0B3");
    QTest::newRow("BB 00 00") << hex("BB0000") << hex("A0A20003BB000000BBB0B3");
    QTest::newRow("BB 01 2C") << hex("BB012C") << hex("A0A20003BB012C00E8B0B3");
    QTest::newRow("BA FF FF") << hex("BAFFFF") << hex("A0A20003BAFFFF02B8B0B3");
    QTest::newRow("empty") << QByteArray() << hex("A0A200000000B0B3");
}

void TestProtocol::frames()
{
    QFETCH(QByteArray, payload);
    QFETCH(QByteArray, frame);
    QCOMPARE(Frame::build(payload), frame);
}

void TestProtocol::longChecksumKeeps15Bits()
{
    const QByteArray payload(2058, '\xFF');
    QCOMPARE(Frame::frameChecksum(reinterpret_cast<const uchar *>(payload.constData()), 2058),
             quint16(0x01F6));
}

void TestProtocol::validateFrame_data()
{
    QTest::addColumn<QByteArray>("frame");
    QTest::addColumn<bool>("valid");
    QTest::newRow("good") << hex("A0A20003BB012C00E8B0B3") << true;
    QTest::newRow("end B0 B4") << hex("A0A20003BB012C00E8B0B4") << false;
    QTest::newRow("checksum off by one") << hex("A0A20003BB012C00E9B0B3") << false;
    QTest::newRow("bad start") << hex("A0A30003BB012C00E8B0B3") << false;
    QTest::newRow("length beyond buffer") << hex("A0A200FFBB012C00E8B0B3") << false;
}

void TestProtocol::validateFrame()
{
    QFETCH(QByteArray, frame);
    QFETCH(bool, valid);
    QCOMPARE(
        Frame::validateFrame(reinterpret_cast<const uchar *>(frame.constData()), int(frame.size())),
        valid);
}

void TestProtocol::ringWrapsAround()
{
    ReceiveRing ring;
    QByteArray filler(65530, 'x');
    QVERIFY(ring.write(reinterpret_cast<const uchar *>(filler.constData()), 65530));
    ring.skip(65530);
    QCOMPARE(ring.readPosition(), 65530u);
    const QByteArray data("0123456789");
    QVERIFY(ring.write(reinterpret_cast<const uchar *>(data.constData()), 10));
    uchar out[10];
    QVERIFY(ring.read(out, 10));
    QCOMPARE(QByteArray(reinterpret_cast<char *>(out), 10), data);
    QCOMPARE(ring.readPosition(), 4u);
    QCOMPARE(ring.available(), 0u);
}

void TestProtocol::ringRefusesWhatDoesNotFit()
{
    ReceiveRing ring(16);
    const uchar bytes[20] = {1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14, 15, 16, 17, 18, 19, 20};
    QVERIFY(ring.write(bytes, 10));
    QVERIFY(!ring.write(bytes, 7)); // all or nothing
    QCOMPARE(ring.available(), 10u);
    uchar out[16];
    QVERIFY(!ring.peek(out, 11));
    ring.skip(11); // more than held: nothing happens
    QCOMPARE(ring.available(), 10u);
    QVERIFY(ring.write(bytes + 10, 6));
    QCOMPARE(ring.freeSpace(), 0u);
    QVERIFY(ring.read(out, 16));
    for (int i = 0; i < 16; ++i)
        QCOMPARE(out[i], bytes[i]);
}

void TestProtocol::requests_data()
{
    QTest::addColumn<int>("which");
    QTest::addColumn<QByteArray>("frame");
    QTest::addColumn<int>("pending");
    QTest::newRow("block 300") << 0 << Frame::build(hex("B5012C")) << 181;
    QTest::newRow("list from 0") << 1 << Frame::build(hex("BB0000")) << 187;
    QTest::newRow("delete all") << 2 << Frame::build(hex("BAFFFF")) << 186;
    QTest::newRow("read config") << 3 << Frame::build(hex("B7")) << 183;
    QTest::newRow("hello") << 4 << Frame::build(hex("BF")) << 191;
    QTest::newRow("end download keeps pending") << 5 << Frame::build(hex("B7")) << 0;
}

void TestProtocol::requests()
{
    QFETCH(int, which);
    DeviceProtocol p;
    QByteArray frame;
    switch (which) {
    case 0:
        frame = p.readTrackBlock(300);
        break;
    case 1:
        frame = p.readTrackFileHeaders();
        break;
    case 2:
        frame = p.deleteAllTrackFiles();
        break;
    case 3:
        frame = p.readDeviceConfig();
        break;
    case 4:
        frame = p.sendHello();
        break;
    case 5:
        frame = p.endTrackDownload();
        break;
    }
    QTEST(frame, "frame");
    QTEST(int(p.pendingCommand()), "pending");
}

void TestProtocol::replySplitOverCyclesIsTakenWhenComplete()
{
    DeviceProtocol p;
    p.setHandshaking(true);
    p.sendHello();
    const QByteArray reply = Frame::build(hex("BF01"));
    for (int i = 0; i < reply.size() - 1; ++i)
        QVERIFY(feed(p, reply.mid(i, 1)).isEmpty());
    const auto events = feed(p, reply.right(1));
    QCOMPARE(events.size(), 1);
    QCOMPARE(events[0].cmd, 254);
    QCOMPARE(events[0].status, 1);
    QVERIFY(!p.isHandshaking());
    QCOMPARE(p.pendingCommand(), quint16(0));
}

void TestProtocol::surplusByteIsNeverTaken()
{
    DeviceProtocol p;
    p.readDeviceConfig();
    QByteArray reply = Frame::build(QByteArray(44, '\0').replace(0, 1, hex("B7")));
    QVERIFY(feed(p, QByteArray(1, '\0') + reply).isEmpty());
    QVERIFY(feed(p, QByteArray()).isEmpty());
    QCOMPARE(p.pendingCommand(), quint16(183));

    DeviceProtocol q;
    q.readDeviceConfig();
    QVERIFY(feed(q, reply + QByteArray(1, '\0')).isEmpty());
    QCOMPARE(q.pendingCommand(), quint16(183));
}

void TestProtocol::badFramesAreConsumedAndIgnored_data()
{
    QTest::addColumn<QByteArray>("reply");
    QByteArray good = Frame::build(hex("BF01"));
    QByteArray badEnd = good;
    badEnd[badEnd.size() - 1] = char(0xB4);
    QByteArray badSum = good;
    badSum[badSum.size() - 3] = char(badSum[badSum.size() - 3] + 1);
    QTest::newRow("end B0 B4") << badEnd;
    QTest::newRow("checksum off by one") << badSum;
}

void TestProtocol::badFramesAreConsumedAndIgnored()
{
    QFETCH(QByteArray, reply);
    DeviceProtocol p;
    p.setHandshaking(true);
    p.sendHello();
    QVERIFY(feed(p, reply).isEmpty());
    QCOMPARE(p.receiveRing().available(), 0u);
    QCOMPARE(p.pendingCommand(), quint16(191));
    QVERIFY(p.isHandshaking());
}

void TestProtocol::oversizedLengthIsDropped()
{
    DeviceProtocol p;
    p.readDeviceConfig();
    // Announces 4000 payload bytes: more than any reply; dropped, not waited for.
    QVERIFY(feed(p, hex("A0A20FA0B70000")).isEmpty());
    QCOMPARE(p.receiveRing().available(), 0u);
    QCOMPARE(p.pendingCommand(), quint16(183));
}

void TestProtocol::listPageGroupsEntries()
{
    DeviceProtocol p;
    p.readTrackFileHeaders();
    const auto events = feed(p, listPage(0, {{0x8001FEB9u, 50310u, 7u}, {0u, 0u, 8u}}));
    QCOMPARE(events.size(), 1);
    QCOMPARE(events[0].kind, DeviceProtocol::Event::TrackList);
    QCOMPARE(events[0].headers.size(), 1);
    QCOMPARE(events[0].headers[0].time, 130745u);
    QCOMPARE(events[0].headers[0].date, 50310u);
    QCOMPARE(events[0].headers[0].blockIndexes, (QVector<int>{7, 8}));
    QCOMPARE(p.pendingCommand(), quint16(0));
}

void TestProtocol::listOverTwoPages()
{
    DeviceProtocol p;
    p.readTrackFileHeaders();
    QByteArray followUp;
    QVERIFY(feed(p, listPage(20, {{0x80000001u, 10101u, 1u}, {0u, 0u, 2u}}), &followUp).isEmpty());
    QCOMPARE(followUp, Frame::build(hex("BB0014")));
    QCOMPARE(p.pendingCommand(), quint16(187));
    const auto events = feed(p, listPage(0, {{0u, 0u, 3u}, {0x80000002u, 10101u, 4u}}));
    QCOMPARE(events.size(), 1);
    QCOMPARE(events[0].headers.size(), 2);
    QCOMPARE(events[0].headers[0].blockIndexes, (QVector<int>{1, 2, 3}));
    QCOMPARE(events[0].headers[1].time, 2u);
    QCOMPARE(events[0].headers[1].blockIndexes, (QVector<int>{4}));

    // A new listing starts from nothing.
    p.readTrackFileHeaders();
    const auto again = feed(p, listPage(0, {{0x80000003u, 10101u, 9u}}));
    QCOMPARE(again[0].headers.size(), 1);
}

void TestProtocol::listEntriesBeforeFirstStartAreDropped()
{
    DeviceProtocol p;
    p.readTrackFileHeaders();
    const auto events = feed(p, listPage(0, {{0u, 0u, 5u}, {0x80000001u, 10101u, 6u}}));
    QCOMPARE(events[0].headers.size(), 1);
    QCOMPARE(events[0].headers[0].blockIndexes, (QVector<int>{6}));
}

void TestProtocol::listCountThatDoesNotFitIsDropped()
{
    DeviceProtocol p;
    p.readTrackFileHeaders();
    QByteArray page = hex("BB0003000000000001");
    QVERIFY(feed(p, Frame::build(page)).isEmpty());
    QCOMPARE(p.pendingCommand(), quint16(187));
    QCOMPARE(p.receiveRing().available(), 0u);
}

void TestProtocol::acknowledgements_data()
{
    QTest::addColumn<bool>("write");
    QTest::addColumn<QByteArray>("reply");
    QTest::addColumn<int>("reports");
    QTest::newRow("write done") << true << hex("B800000001") << 1;
    QTest::newRow("write refused") << true << hex("B800000000") << 0;
    QTest::newRow("delete done") << false << hex("BA00000001") << 1;
    QTest::newRow("delete refused") << false << hex("BA00000002") << 0;
    QTest::newRow("short reply") << false << hex("BA01") << 0;
}

void TestProtocol::acknowledgements()
{
    QFETCH(bool, write);
    QFETCH(QByteArray, reply);
    QFETCH(int, reports);
    DeviceProtocol p;
    if (write)
        p.writeDeviceConfig(DeviceConfig());
    else
        p.deleteAllTrackFiles();
    const auto events = feed(p, Frame::build(reply));
    QCOMPARE(events.size(), reports);
    if (reports) {
        QCOMPARE(events[0].cmd, write ? 184 : 186);
        QCOMPARE(events[0].status, 1);
    }
    QCOMPARE(p.pendingCommand(), quint16(0)); // ended either way
}

void TestProtocol::configReplyAndWriteBack()
{
    QByteArray reply = hex("B7"
                           "02"       // log format
                           "01"       // speed threshold on
                           "0000041A" // 10.50 km/h
                           "00"       // radius off
                           "00000019" // 25 m
                           "00001388" // 5000 ms
                           "11223344"
                           "55667788"
                           "1234" // bytes 24-25, not in the record
                           "01"
                           "9A"
                           "BC"
                           "00000064" // 100 m
                           "CAFEBABE"
                           "0BADF00D"
                           "07"   // byte 41
                           "01"   // WAAS
                           "F6"); // memory usage -10
    QCOMPARE(reply.size(), 44);
    DeviceProtocol p;
    p.readDeviceConfig();
    const auto events = feed(p, Frame::build(reply));
    QCOMPARE(events.size(), 1);
    QCOMPARE(events[0].cmd, 183);
    const DeviceConfig c = p.config();
    QCOMPARE(c.logFormat, quint8(2));
    QCOMPARE(c.speedThresholdEnabled, quint8(1));
    QCOMPARE(c.speedThreshold, 1050);
    QCOMPARE(c.radius, 25);
    QCOMPARE(c.timeInterval, 5000);
    QCOMPARE(c.intervalMode, quint8(1));
    QCOMPARE(c.distanceInterval, 100);
    QCOMPARE(c.waasEnabled, quint8(1));
    QCOMPARE(c.memoryUsage, qint8(-10));

    const QByteArray frame = p.writeDeviceConfig(c);
    QCOMPARE(frame.size(), 43 + 8);
    QByteArray expected = reply.left(43);
    expected[0] = char(0xB8);
    expected[41] = 0x04;
    QCOMPARE(frame.mid(4, 43).toHex(), expected.toHex());
    QCOMPARE(p.pendingCommand(), quint16(184));
}

void TestProtocol::configReplyRejected_data()
{
    QTest::addColumn<QByteArray>("payload");
    QByteArray good(44, '\0');
    good[0] = char(0xB7);
    QByteArray wrongId = good;
    wrongId[0] = char(0xB6);
    QTest::newRow("wrong id") << wrongId;
    QTest::newRow("43 bytes") << good.left(43);
}

void TestProtocol::configReplyRejected()
{
    QFETCH(QByteArray, payload);
    DeviceProtocol p;
    p.readDeviceConfig();
    QVERIFY(feed(p, Frame::build(payload)).isEmpty());
    QCOMPARE(p.pendingCommand(), quint16(183));
    QCOMPARE(p.receiveRing().available(), 0u);
}

void TestProtocol::blockReply()
{
    QByteArray block(2048, '\xFF');
    const QByteArray header = be32(47361234) + be32(8320000) + be32(0x80000000u | 130745) +
                              be32(50310) + be32(500) + be32(0) + be32(0) + be32(1);
    block.replace(0, 32, header);
    // One record in the second half of the block: record 51 lies at 32 + 20 * 51 = 1052.
    for (int i = 0; i <= 51; ++i)
        block.replace(32 + 20 * i, 20, be32(1) + be32(2) + be32(130746) + be32(50310) + be32(i));
    const QByteArray reply = Frame::build(QByteArray(1, char(0xB5)) + block.left(1024)) +
                             Frame::build(QByteArray(1, char(0xB5)) + block.mid(1024));
    QCOMPARE(reply.size(), 2066);
    DeviceProtocol p;
    p.readTrackBlock(7);
    QVERIFY(feed(p, reply.left(1000)).isEmpty());
    const auto events = feed(p, reply.mid(1000));
    QCOMPARE(events.size(), 1);
    QCOMPARE(events[0].cmd, 181);
    QCOMPARE(p.currentBlock().header[2], 0x80000000u | 130745);
    QCOMPARE(p.currentBlock().shortRecords.size(), 52);
    QCOMPARE(p.currentBlock().shortRecords[51].speed, 51u);

    // The next request empties the block's records.
    p.readTrackBlock(8);
    QVERIFY(p.currentBlock().shortRecords.isEmpty());
}

void TestProtocol::blockReplyOfAnyOtherLengthIsNotTaken()
{
    const QByteArray half = Frame::build(QByteArray(1025, '\x01').replace(0, 1, hex("B5")));
    DeviceProtocol p;
    p.readTrackBlock(7);
    QVERIFY(feed(p, half).isEmpty()); // the second frame never came
    QCOMPARE(p.pendingCommand(), quint16(181));
    QVERIFY(feed(p, half + QByteArray(1, '\0')).isEmpty()); // 2067 bytes
    QCOMPARE(p.pendingCommand(), quint16(181));
}

void TestProtocol::requestEmptiesTheRing()
{
    DeviceProtocol p;
    feed(p, hex("0102030405"));
    QCOMPARE(p.receiveRing().available(), 5u); // nothing pending: left alone
    p.readDeviceConfig();
    QCOMPARE(p.receiveRing().available(), 0u);
}

void TestProtocol::timeOutClearsPending()
{
    DeviceProtocol p;
    p.readDeviceConfig();
    const DeviceProtocol::Event e = p.timeOut();
    QCOMPARE(e.cmd, 255);
    QCOMPARE(e.status, 0);
    QCOMPARE(p.pendingCommand(), quint16(0));
}

QTEST_APPLESS_MAIN(TestProtocol)
#include "tst_protocol.moc"
