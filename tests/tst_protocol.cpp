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

QByteArray be32(quint32 v)
{
    QByteArray b(4, '\0');
    qToBigEndian(v, b.data());
    return b;
}

QByteArray listPage(quint16 next, const QVector<std::array<quint32, 3>> &entries)
{
    QByteArray p = hex("BB") + be32((quint32(entries.size()) << 16) | next);
    for (const auto &e : entries)
        p += be32(e[0]) + be32(e[1]) + be32(e[2]);
    return Frame::build(p);
}

// Makes request `which` (the command it waits for; 0 ends a download) as the worker does.
QByteArray send(DeviceProtocol &p, int which)
{
    switch (which) {
    case 181:
        return p.readTrackBlock(300);
    case 183:
        return p.readDeviceConfig();
    case 184:
        return p.writeDeviceConfig(DeviceConfig());
    case 186:
        return p.deleteAllTrackFiles();
    case 187:
        return p.readTrackFileHeaders();
    case 191:
        p.setHandshaking(true);
        return p.sendHello();
    default:
        return p.endTrackDownload();
    }
}

// Feeds the chunks after request `which`, one worker cycle each.
QVector<DeviceProtocol::Event> exchange(DeviceProtocol &p, int which, const QByteArrayList &chunks,
                                        QByteArray *followUp = nullptr)
{
    if (which)
        send(p, which);
    QVector<DeviceProtocol::Event> events;
    QByteArray next;
    for (const QByteArray &c : chunks) {
        p.receive(reinterpret_cast<const uchar *>(c.constData()), quint32(c.size()));
        p.dispatchReply(&events, followUp ? followUp : &next);
    }
    return events;
}

QByteArray blockReplyBytes(int records)
{
    QByteArray block(2048, '\xFF');
    block.replace(0, 32,
                  be32(47361234) + be32(8320000) + be32(0x80000000u | 130745) + be32(50310) +
                      be32(500) + be32(0) + be32(0) + be32(1));
    for (int i = 0; i < records; ++i)
        block.replace(32 + 20 * i, 20, be32(1) + be32(2) + be32(130746) + be32(50310) + be32(i));
    return Frame::build(hex("B5") + block.left(1024)) + Frame::build(hex("B5") + block.mid(1024));
}
} // namespace

class TestProtocol : public QObject
{
    Q_OBJECT
private slots:
    void initTestCase() { QLoggingCategory::setFilterRules(QStringLiteral("lx300.device=false")); }

    void frames_data()
    {
        QTest::addColumn<QByteArray>("payload");
        QTest::addColumn<QByteArray>("frame");
        QTest::newRow("B7") << hex("B7") << hex("A0A20001B700B7B0B3");
        QTest::newRow("BB 01 2C") << hex("BB012C") << hex("A0A20003BB012C00E8B0B3");
        QTest::newRow("BA FF FF") << hex("BAFFFF") << hex("A0A20003BAFFFF02B8B0B3");
        QTest::newRow("empty") << QByteArray() << hex("A0A200000000B0B3");
        QTest::newRow("2058 x FF keeps 15 bits") << QByteArray(2058, '\xFF') << hex("01F6");
        QTest::newRow("129 x FF drops bit 15") << QByteArray(129, '\xFF') << hex("007F");
    }

    void frames()
    {
        QFETCH(QByteArray, payload);
        QFETCH(QByteArray, frame);
        const QByteArray built = Frame::build(payload);
        if (frame.size() > 2)
            QCOMPARE(built.toHex(), frame.toHex());
        else
            QCOMPARE(built.mid(built.size() - 4, 2).toHex(), frame.toHex()); // the checksum
        const auto valid = [](const QByteArray &b, int size) {
            return Frame::validateFrame(reinterpret_cast<const uchar *>(b.constData()), size);
        };
        QVERIFY(valid(built, int(built.size())));
        QVERIFY(!valid(built, int(built.size()) - 1)); // length beyond the buffer
        for (int at : {0, 1, int(built.size()) - 4, int(built.size()) - 1}) {
            QByteArray bad = built;
            bad[at] = char(bad[at] + 1);
            QVERIFY2(!valid(bad, int(bad.size())), qPrintable(QString::number(at)));
        }
    }

    void ring()
    {
        ReceiveRing big;
        const QByteArray filler(65530, 'x'), data("0123456789");
        QVERIFY(big.write(reinterpret_cast<const uchar *>(filler.constData()), 65530));
        big.skip(65530);
        QVERIFY(big.write(reinterpret_cast<const uchar *>(data.constData()), 10));
        uchar out[16];
        QVERIFY(big.read(out, 10));
        QCOMPARE(QByteArray(reinterpret_cast<char *>(out), 10), data);
        QCOMPARE(big.readPosition(), 4u); // wrapped around

        ReceiveRing ring(16);
        const uchar bytes[16] = {1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14, 15, 16};
        QVERIFY(ring.write(bytes, 10));
        QVERIFY(!ring.write(bytes, 7)); // all or nothing
        QVERIFY(!ring.peek(out, 11));
        ring.skip(11); // more than held: nothing happens
        QCOMPARE(ring.available(), 10u);
        QVERIFY(ring.write(bytes + 10, 6));
        QCOMPARE(ring.freeSpace(), 0u);
        QVERIFY(ring.read(out, 16));
        QCOMPARE(QByteArray(reinterpret_cast<char *>(out), 16),
                 QByteArray(reinterpret_cast<const char *>(bytes), 16));
    }

    void requests_data()
    {
        QTest::addColumn<int>("which");
        QTest::addColumn<QByteArray>("payload");
        QTest::addColumn<int>("pending");
        QTest::newRow("block 300") << 181 << hex("B5012C") << 181;
        QTest::newRow("list from 0") << 187 << hex("BB0000") << 187;
        QTest::newRow("delete all") << 186 << hex("BAFFFF") << 186;
        QTest::newRow("read config") << 183 << hex("B7") << 183;
        QTest::newRow("hello") << 191 << hex("BF") << 191;
        QTest::newRow("end download waits for nothing") << 0 << hex("B7") << 0;
    }

    void requests()
    {
        QFETCH(int, which);
        QFETCH(QByteArray, payload);
        DeviceProtocol p;
        p.readTrackBlock(9); // a block still awaited is given up by the end of a download
        p.receive(reinterpret_cast<const uchar *>("\1\2\3"), 3);
        QCOMPARE(send(p, which), Frame::build(payload));
        QTEST(int(p.pendingCommand()), "pending");
        QCOMPARE(p.receiveRing().available(), 0u); // stale bytes go before each request
    }

    void replies_data()
    {
        QTest::addColumn<int>("request");
        QTest::addColumn<QByteArrayList>("chunks");
        QTest::addColumn<int>("reports"); // events with status 1
        QTest::addColumn<int>("pending"); // still pending afterwards
        QTest::addColumn<int>("left");    // bytes left in the ring
        const auto row = [](const char *name, int request, const QByteArrayList &chunks,
                            int reports, int pending, int left) {
            QTest::newRow(name) << request << chunks << reports << pending << left;
        };
        const auto one = [](const char *payload) {
            return QByteArrayList{Frame::build(hex(payload))};
        };
        const QByteArray hello = Frame::build(hex("BF01"));
        QByteArrayList bytewise;
        for (char c : hello)
            bytewise << QByteArray(1, c);
        row("hello split into single bytes", 191, bytewise, 1, 0, 0);
        QByteArray badEnd = hello, badSum = hello;
        badEnd[badEnd.size() - 1] = char(0xB4);
        badSum[badSum.size() - 3] = char(badSum[badSum.size() - 3] + 1);
        row("bad end consumed", 191, {badEnd}, 0, 191, 0);
        row("bad checksum consumed", 191, {badSum}, 0, 191, 0);
        const QByteArray config = Frame::build(hex("B7") + QByteArray(43, '\0'));
        row("config", 183, {config}, 1, 0, 0);
        row("stray byte before: dropped", 183, {QByteArray(1, '\0') + config, {}}, 0, 183, 0);
        row("surplus byte after: never taken", 183, {config + QByteArray(1, '\0')}, 0, 183, 53);
        row("config of 43 bytes", 183, {Frame::build(hex("B7") + QByteArray(42, '\0'))}, 0, 183, 0);
        row("config with wrong id", 183, {Frame::build(hex("B6") + QByteArray(43, '\0'))}, 0, 183,
            0);
        row("length over any reply dropped", 183, {hex("A0A20FA0B70000")}, 0, 183, 0);
        row("write done", 184, one("B800000001"), 1, 0, 0);
        row("write refused", 184, one("B800000000"), 0, 0, 0);
        row("delete done", 186, one("BA00000001"), 1, 0, 0);
        row("delete refused (2)", 186, one("BA00000002"), 0, 0, 0);
        row("ack too short", 186, one("BA01"), 0, 0, 0);
        row("list count one more than the entries", 187, one("BB00020000800000010000000000000007"),
            0, 187, 0);
        const QByteArray block = blockReplyBytes(52);
        row("block in two pieces", 181, {block.left(1000), block.mid(1000)}, 1, 0, 0);
        row("block's second frame missing", 181, {block.left(1033)}, 0, 181, 1033);
        row("block plus a byte", 181, {block + QByteArray(1, '\0')}, 0, 181, 2067);
        // Only a command's own reply counts: any other well-formed frame leaves it waiting.
        row("hello answered by another id", 191, one("0001"), 0, 191, 0);
        row("write answered by id 00", 184, one("0000000001"), 0, 184, 0);
        row("delete answered by a list's id", 186, one("BB00000001"), 0, 186, 0);
        QByteArray otherBlock = block;
        otherBlock[4] = char(0xB4);
        otherBlock.replace(
            1029, 2,
            QByteArray::fromHex(
                QByteArray::number(
                    Frame::frameChecksum(
                        reinterpret_cast<const uchar *>(otherBlock.constData()) + 4, 1025),
                    16)
                    .rightJustified(4, '0')));
        row("block with another id", 181, {otherBlock}, 0, 181, 0);
        row("list page saying more with nothing", 187, one("BB00000001"), 0, 187, 0);
    }

    void replies()
    {
        QFETCH(int, request);
        QFETCH(QByteArrayList, chunks);
        DeviceProtocol p;
        const auto events = exchange(p, request, chunks);
        QTEST(int(events.size()), "reports");
        for (const auto &e : events)
            QCOMPARE(e.cmd * 10 + e.status, (request == 191 ? 254 : request) * 10 + 1);
        QTEST(int(p.pendingCommand()), "pending");
        QTEST(int(p.receiveRing().available()), "left");
        QCOMPARE(p.isHandshaking(), request == 191 && events.isEmpty());
    }

    void listing()
    {
        DeviceProtocol p;
        QByteArray followUp;
        // Entries before the first start have no track; a start flag opens one.
        QVERIFY(exchange(p, 187,
                         {listPage(1, {{0u, 0u, 5u}, {0x8001FEB9u, 50310u, 1u}, {0u, 0u, 2u}})},
                         &followUp)
                    .isEmpty());
        QCOMPARE(followUp, Frame::build(hex("BB0001")));
        QCOMPARE(p.pendingCommand(), quint16(187));
        const auto events =
            exchange(p, 0, {listPage(0, {{0u, 0u, 3u}, {0x80000002u, 10101u, 4u}})}, &followUp);
        QCOMPARE(events.size(), 1);
        QCOMPARE(events[0].kind, DeviceProtocol::Event::TrackList);
        const QVector<TrackFileHeader> &h = events[0].headers;
        QCOMPARE((QList<quint32>{quint32(h.size()), h[0].time, h[0].date, h[1].time}),
                 (QList<quint32>{2, 130745, 50310, 2}));
        QCOMPARE(h[0].blockIndexes + QVector<int>{-1} + h[1].blockIndexes,
                 (QVector<int>{1, 2, 3, -1, 4}));
        QCOMPARE(p.pendingCommand(), quint16(0));
        // A new listing starts from nothing.
        QCOMPARE(exchange(p, 187, {listPage(0, {{0x80000003u, 10101u, 9u}})})[0].headers.size(), 1);
    }

    void configReplyAndWriteBack()
    {
        const QByteArray reply = hex("B7"
                                     "02"       // log format
                                     "01"       // speed threshold on
                                     "0000041A" // 10.50 km/h
                                     "00"       // radius off
                                     "00000019" // 25 m
                                     "00001388" // 5000 ms
                                     "1122334455667788"
                                     "1234" // bytes 24-25, not in the record
                                     "019ABC"
                                     "00000064" // 100 m
                                     "CAFEBABE0BADF00D"
                                     "07"   // byte 41
                                     "01"   // WAAS
                                     "F6"); // memory usage -10
        DeviceProtocol p;
        QCOMPARE(exchange(p, 183, {Frame::build(reply)}).size(), 1);
        const DeviceConfig c = p.config();
        QCOMPARE((QList<int>{c.logFormat, c.speedThresholdEnabled, c.speedThreshold, c.radius,
                             c.timeInterval, c.intervalMode, c.distanceInterval, c.waasEnabled,
                             c.memoryUsage}),
                 (QList<int>{2, 1, 1050, 25, 5000, 1, 100, 1, -10}));
        // Written back byte for byte, with the write id and the constant 4 in byte 41.
        QByteArray expected = reply.left(43);
        expected[0] = char(0xB8);
        expected[41] = 0x04;
        QCOMPARE(p.writeDeviceConfig(c).toHex(), Frame::build(expected).toHex());
    }
};

QTEST_APPLESS_MAIN(TestProtocol)
#include "tst_protocol.moc"
