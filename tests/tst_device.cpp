#include "device/devicelx300.h"
#include "devicerecorder.h"
#include "model/trackblock.h"
#include "tools/sim/loggersimulator.h"
#include "trackcompare.h"

#include <QtTest>

namespace {

const quint32 Start2009 = 1239437700; // 2009-04-11 08:15:00 UTC

QVector<SimulatedTrack> threeTracks()
{
    return {LoggerSimulator::makeTrack(2, 150, 1, Start2009),
            LoggerSimulator::makeTrack(1, 230, 2, Start2009 + 86400),
            LoggerSimulator::makeTrack(2, 10, 3, Start2009 + 2 * 86400)};
}

} // namespace

class TestDevice : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase() { QLoggingCategory::setFilterRules(QStringLiteral("lx300.device=false")); }
    void init();
    void cleanup();

    void handshakeAtThirdHello();
    void silentLoggerFailsHandshake();
    void unopenablePortFailsQuickly();
    void secondConnectIsRefused();
    void lostReplyTimesOutThenNextWorks();
    void disconnectWhilePendingReportsNothing();
    void listingOverTwoPages();
    void downloadBothFormats();
    void configReadAndWriteBack();
    void refusedDeleteEndsSilently();
    void lineClosingMidDownloadTimesOut();

private:
    bool connectReady();

    LoggerSimulator *sim = nullptr;
    DeviceLX300 *device = nullptr;
    DeviceRecorder *recorder = nullptr;
};

void TestDevice::init()
{
    sim = new LoggerSimulator;
    sim->setTracks(threeTracks());
    QVERIFY(sim->start());
    device = new DeviceLX300;
    recorder = new DeviceRecorder(device);
}

void TestDevice::cleanup()
{
    delete device;
    delete recorder;
    delete sim;
}

bool TestDevice::connectReady()
{
    if (!device->Connect(sim->portPath()))
        return false;
    if (!waitFor([this] { return recorder->has(254, 1); }, 3000))
        return false;
    recorder->restart();
    return true;
}

void TestDevice::handshakeAtThirdHello()
{
    sim->setHelloAnswerFrom(3);
    QVERIFY(device->portName().isEmpty());
    QVERIFY(device->Connect(sim->portPath()));
    QCOMPARE(device->portName(), sim->portPath());
    QVERIFY(device->isConnected());
    QTRY_VERIFY_WITH_TIMEOUT(recorder->has(254, 1), 4000);
    QTest::qWait(700); // long enough for a fourth hello, were one sent
    QCOMPARE(sim->hellosReceived(), 3);
    QCOMPARE(recorder->statuses(), (QVector<QPair<int, int>>{{254, 1}}));
    // Three hellos about 500 ms apart: the answer comes after about 1.5 s.
    QVERIFY2(recorder->statusTimes()[0] > 1300 && recorder->statusTimes()[0] < 2500,
             QByteArray::number(recorder->statusTimes()[0]));
    device->Disconnect();
    QVERIFY(device->portName().isEmpty());
    QVERIFY(!device->isConnected());
}

void TestDevice::silentLoggerFailsHandshake()
{
    sim->setSilent(true);
    QVERIFY(device->Connect(sim->portPath()));
    QTRY_VERIFY_WITH_TIMEOUT(!recorder->statuses().isEmpty(), 8000);
    QTest::qWait(300);
    QCOMPARE(recorder->statuses(), (QVector<QPair<int, int>>{{254, 0}}));
    QVERIFY2(recorder->statusTimes()[0] > 4500 && recorder->statusTimes()[0] < 6500,
             QByteArray::number(recorder->statusTimes()[0]));
    QCOMPARE(sim->hellosReceived(), 0); // silent loggers count nothing
    QCOMPARE(sim->requests().size(), 10);
    QVERIFY(device->isConnected()); // failed, until the owner disconnects
    device->Disconnect();
}

void TestDevice::unopenablePortFailsQuickly()
{
    QVERIFY(!device->Connect(QStringLiteral("/dev/no-such-lx300")));
    QTRY_VERIFY_WITH_TIMEOUT(!recorder->statuses().isEmpty(), 3000);
    QTest::qWait(200);
    QCOMPARE(recorder->statuses(), (QVector<QPair<int, int>>{{254, 0}}));
    QVERIFY2(recorder->statusTimes()[0] > 450 && recorder->statusTimes()[0] < 1500,
             QByteArray::number(recorder->statusTimes()[0]));
}

void TestDevice::secondConnectIsRefused()
{
    QVERIFY(connectReady());
    QVERIFY(!device->Connect(sim->portPath()));
    device->ReadDeviceConfig();
    QTRY_VERIFY_WITH_TIMEOUT(recorder->has(183, 1), 2000); // the first connection goes on
}

void TestDevice::lostReplyTimesOutThenNextWorks()
{
    QVERIFY(connectReady());
    sim->addFault({LoggerSimulator::Fault::NoReply, 0xB7, 0, 1});
    device->ReadDeviceConfig();
    QTRY_VERIFY_WITH_TIMEOUT(!recorder->statuses().isEmpty(), 5000);
    QCOMPARE(recorder->statuses(), (QVector<QPair<int, int>>{{255, 0}}));
    QVERIFY2(recorder->statusTimes()[0] > 2900 && recorder->statusTimes()[0] < 3800,
             QByteArray::number(recorder->statusTimes()[0]));
    device->ReadDeviceConfig();
    QTRY_VERIFY_WITH_TIMEOUT(recorder->has(183, 1), 2000);
    QCOMPARE(recorder->statuses().size(), 2);
}

void TestDevice::disconnectWhilePendingReportsNothing()
{
    QVERIFY(connectReady());
    sim->addFault({LoggerSimulator::Fault::NoReply, 0xB7, 0, -1});
    device->ReadDeviceConfig();
    QTest::qWait(100);
    device->Disconnect();
    QTest::qWait(200);
    QVERIFY(recorder->statuses().isEmpty());
}

void TestDevice::listingOverTwoPages()
{
    sim->setPageSize(3); // the three tracks take 3 + 3 + 1 blocks
    QVERIFY(connectReady());
    device->ReadTrackFileHeaders();
    QTRY_VERIFY_WITH_TIMEOUT(!recorder->lists().isEmpty(), 3000);
    QTest::qWait(100);
    QCOMPARE(recorder->lists().size(), 1);
    QVERIFY(recorder->statuses().isEmpty());
    const QVector<TrackFileHeader> expected = sim->headers();
    const QVector<TrackFileHeader> got = recorder->lists()[0];
    QCOMPARE(got.size(), 3);
    for (int i = 0; i < 3; ++i) {
        QCOMPARE(got[i].time, expected[i].time);
        QCOMPARE(got[i].date, expected[i].date);
        QCOMPARE(got[i].blockIndexes, expected[i].blockIndexes);
    }
    QCOMPARE(got[0].blockIndexes, (QVector<int>{7, 8, 9}));
    QStringList pages;
    for (const QByteArray &r : sim->requests())
        if (quint8(r[0]) == 0xBB)
            pages << QString::fromLatin1(r.toHex());
    QCOMPARE(pages, (QStringList{"bb0000", "bb0003", "bb0006"}));
}

void TestDevice::downloadBothFormats()
{
    QVERIFY(connectReady());
    device->ReadTrackFileHeaders();
    QTRY_VERIFY_WITH_TIMEOUT(!recorder->lists().isEmpty(), 3000);
    const QVector<TrackFileHeader> headers = recorder->lists()[0];

    QVector<Track> tracks(headers.size());
    QVector<int> blocks;
    for (const TrackFileHeader &h : headers)
        blocks += h.blockIndexes;
    int current = -1;
    for (int received = 0; received < blocks.size(); ++received) {
        recorder->restart();
        device->ReadTrackBlock(quint16(blocks[received]));
        QTRY_VERIFY_WITH_TIMEOUT(recorder->has(181, 1), 3000);
        QVERIFY(appendTrackBlock(tracks, current, device->currentBlock()));
    }
    device->EndTrackDownload();

    QVector<Track> expected = sim->expectedTracks({0, 1, 2});
    for (int i = 0; i < tracks.size(); ++i)
        tracks[i].startTime = expected[i].startTime; // set by the track dialog, not the download
    QVERIFY(samePoints(tracks, expected, true));
    QCOMPARE(tracks[0].points.size(), 150);
    QCOMPARE(tracks[1].format, 1);
    QCOMPARE(tracks[1].points.size(), 230);
    QVERIFY(std::any_of(tracks[0].points.begin(), tracks[0].points.end(),
                        [](const TrackPoint &p) { return p.marked; }));
}

void TestDevice::configReadAndWriteBack()
{
    QVERIFY(connectReady());
    device->ReadDeviceConfig();
    QTRY_VERIFY_WITH_TIMEOUT(recorder->has(183, 1), 2000);
    DeviceConfig config = device->deviceConfig();
    QCOMPARE(config.speedThreshold, 1050);
    QCOMPARE(config.memoryUsage, qint8(37));
    QCOMPARE(config.value33, 0xCAFEBABEu);

    config.timeInterval = 9000;
    device->WriteDeviceConfig(config);
    QTRY_VERIFY_WITH_TIMEOUT(recorder->has(184, 1), 2000);
    const QByteArray request = sim->requests().last();
    QCOMPARE(request.size(), 43);
    QCOMPARE(quint8(request[41]), quint8(0x04));
    QByteArray expected = LoggerSimulator::defaultConfigReply().left(43);
    expected[0] = char(0xB8);
    expected[41] = 0x04;
    expected.replace(12, 4, QByteArray::fromHex("00002328"));
    QCOMPARE(request.toHex(), expected.toHex());

    // The logger now holds the new record.
    recorder->restart();
    device->ReadDeviceConfig();
    QTRY_VERIFY_WITH_TIMEOUT(recorder->has(183, 1), 2000);
    QCOMPARE(device->deviceConfig().timeInterval, 9000);
    QCOMPARE(device->deviceConfig().value16, 0x11223344u);
}

void TestDevice::refusedDeleteEndsSilently()
{
    QVERIFY(connectReady());
    sim->setDeleteResult(0);
    device->DeleteAllTrackFiles();
    // No report at all: not done, and no time-out either (the command ended).
    QTest::qWait(3400);
    QVERIFY(recorder->statuses().isEmpty());
    QCOMPARE(sim->tracks().size(), 3);
}

void TestDevice::lineClosingMidDownloadTimesOut()
{
    QVERIFY(connectReady());
    sim->addFault({LoggerSimulator::Fault::CloseLine, 0xB5, 1, 1});
    device->ReadTrackBlock(7);
    QTRY_VERIFY_WITH_TIMEOUT(recorder->has(181, 1), 2000);
    recorder->restart();
    device->ReadTrackBlock(8);
    QTRY_VERIFY_WITH_TIMEOUT(!recorder->statuses().isEmpty(), 5000);
    QCOMPARE(recorder->statuses(), (QVector<QPair<int, int>>{{255, 0}}));
    QVERIFY(sim->lineClosed());
}

QTEST_GUILESS_MAIN(TestDevice)
#include "tst_device.moc"
