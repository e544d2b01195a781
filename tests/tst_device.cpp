#include "device/detectdevicethread.h"
#include "device/devicelx300.h"
#include "devicerecorder.h"
#include "model/conversions.h"
#include "model/trackblock.h"
#include "tools/sim/loggersimulator.h"
#include "trackcompare.h"
#include "view/playbackthread.h"

#include <QtTest>

Q_DECLARE_METATYPE(QList<SerialPortEntry>)

namespace {
const quint32 Start2009 = 1239437700; // 2009-04-11 08:15:00 UTC
using Statuses = QVector<QPair<int, int>>;
} // namespace

// The worker on a pseudo-terminal with the simulated logger, the port detection and the playback
// thread: everything that runs in a thread of its own, with the program's own timings.
class TestDevice : public QObject
{
    Q_OBJECT
private slots:
    void initTestCase() { QLoggingCategory::setFilterRules(QStringLiteral("lx300.device=false")); }
    void init();
    void cleanup();
    void handshakeAtThirdHello();
    void silentLoggerFailsHandshake();
    void unopenablePort();
    void lostReplyThenRecovery();
    void disconnectWhilePending();
    void downloadBothFormatsOverPages();
    void configReadAndWriteBack();
    void lineClosingMidDownload();
    void usbFilter_data();
    void usbFilter();
    void detectionReportsEverySecond();
    void playbackThread();

private:
    bool connectReady();
    LoggerSimulator *sim = nullptr;
    DeviceLX300 *device = nullptr;
    DeviceRecorder *recorder = nullptr;
};

void TestDevice::init()
{
    sim = new LoggerSimulator;
    sim->setTracks({LoggerSimulator::makeTrack(2, 150, 1, Start2009),
                    LoggerSimulator::makeTrack(1, 230, 2, Start2009 + 86400),
                    LoggerSimulator::makeTrack(2, 10, 3, Start2009 + 2 * 86400)});
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
    if (!device->Connect(sim->portPath()) ||
        !waitFor([this] { return recorder->has(254, 1); }, 3000))
        return false;
    recorder->restart();
    return true;
}

void TestDevice::handshakeAtThirdHello()
{
    sim->setHelloAnswerFrom(3);
    QVERIFY(device->Connect(sim->portPath()));
    QCOMPARE(device->portName(), sim->portPath());
    QVERIFY(!device->Connect(sim->portPath())); // one connection at a time
    QTRY_VERIFY_WITH_TIMEOUT(recorder->has(254, 1), 4000);
    QTest::qWait(700); // long enough for a fourth hello, were one sent
    QCOMPARE(sim->hellosReceived(), 3);
    QCOMPARE(recorder->statuses(), (Statuses{{254, 1}}));
    // Three hellos 500 ms apart: the answer comes after about 1.5 s.
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
    QCOMPARE(recorder->statuses(), (Statuses{{254, 0}}));
    QVERIFY2(recorder->statusTimes()[0] > 4500 && recorder->statusTimes()[0] < 6500,
             QByteArray::number(recorder->statusTimes()[0]));
    QCOMPARE(sim->requests().size(), 10); // ten hellos
    QVERIFY(device->isConnected());       // failed, until the owner disconnects
}

void TestDevice::unopenablePort()
{
    QVERIFY(!device->Connect(QStringLiteral("/dev/no-such-lx300")));
    QTRY_VERIFY_WITH_TIMEOUT(!recorder->statuses().isEmpty(), 3000);
    QTest::qWait(200); // and no second report
    QCOMPARE(recorder->statuses(), (Statuses{{254, 0}}));
    QVERIFY2(recorder->statusTimes()[0] > 450 && recorder->statusTimes()[0] < 1500,
             QByteArray::number(recorder->statusTimes()[0]));
}

void TestDevice::lostReplyThenRecovery()
{
    QVERIFY(connectReady());
    sim->addFault({LoggerSimulator::Fault::NoReply, 0xB7, 0, 1});
    device->ReadDeviceConfig();
    QTRY_VERIFY_WITH_TIMEOUT(!recorder->statuses().isEmpty(), 5000);
    QCOMPARE(recorder->statuses(), (Statuses{{255, 0}}));
    QVERIFY2(recorder->statusTimes()[0] > 2900 && recorder->statusTimes()[0] < 3800,
             QByteArray::number(recorder->statusTimes()[0]));
    device->ReadDeviceConfig();
    QTRY_VERIFY_WITH_TIMEOUT(recorder->has(183, 1), 2000);
    QCOMPARE(recorder->statuses().size(), 2);
}

void TestDevice::disconnectWhilePending()
{
    QVERIFY(connectReady());
    sim->addFault({LoggerSimulator::Fault::NoReply, 0xB7, 0, -1});
    device->ReadDeviceConfig();
    QTest::qWait(100);
    device->Disconnect();
    QTest::qWait(200);
    QVERIFY(recorder->statuses().isEmpty());
}

void TestDevice::downloadBothFormatsOverPages()
{
    sim->setPageSize(3); // the three tracks take 3 + 3 + 1 blocks
    QVERIFY(connectReady());
    device->ReadTrackFileHeaders();
    QTRY_VERIFY_WITH_TIMEOUT(!recorder->lists().isEmpty(), 3000);
    const QVector<TrackFileHeader> headers = recorder->lists()[0];
    QCOMPARE(headers.size(), 3);
    QStringList pages;
    const QVector<QByteArray> requests = sim->requests(); // const: no detach beside the sim
    for (const QByteArray &r : requests)
        pages << QString::fromLatin1(r.toHex());
    QCOMPARE(pages.mid(pages.size() - 3), (QStringList{"bb0000", "bb0003", "bb0006"}));

    QVector<Track> tracks(headers.size());
    QVector<int> blocks;
    for (const TrackFileHeader &h : headers)
        blocks += h.blockIndexes;
    QCOMPARE(blocks, (QVector<int>{7, 8, 9, 10, 11, 12, 13}));
    int current = -1;
    for (int block : blocks) {
        recorder->restart();
        device->ReadTrackBlock(quint16(block));
        QTRY_VERIFY_WITH_TIMEOUT(recorder->has(181, 1), 3000);
        QVERIFY(appendTrackBlock(tracks, current, device->currentBlock()));
    }
    QVector<Track> expected = sim->expectedTracks({0, 1, 2});
    for (int i = 0; i < tracks.size(); ++i) {
        tracks[i].startTime = expected[i].startTime; // set by the track dialog, not the download
        QCOMPARE(packedDateTimeToEpoch(headers[i].date, headers[i].time), expected[i].startTime);
    }
    QVERIFY(samePoints(tracks, expected, true)); // track 2 in log format 1
}

void TestDevice::configReadAndWriteBack()
{
    QVERIFY(connectReady());
    device->ReadDeviceConfig();
    QTRY_VERIFY_WITH_TIMEOUT(recorder->has(183, 1), 2000);
    DeviceConfig config = device->deviceConfig();
    QCOMPARE(config.speedThreshold, 1050);
    config.timeInterval = 9000;
    device->WriteDeviceConfig(config);
    QTRY_VERIFY_WITH_TIMEOUT(recorder->has(184, 1), 2000);
    QCOMPARE(sim->requests().constLast().mid(12, 4).toHex(), QByteArray("00002328"));
    // A refused delete ends the command without any report, and without a time-out.
    recorder->restart();
    sim->setDeleteResult(0);
    device->DeleteAllTrackFiles();
    QTest::qWait(3400);
    QVERIFY(recorder->statuses().isEmpty());
    QCOMPARE(sim->tracks().size(), 3);
}

void TestDevice::lineClosingMidDownload()
{
    QVERIFY(connectReady());
    sim->addFault({LoggerSimulator::Fault::CloseLine, 0xB5, 1, 1});
    device->ReadTrackBlock(7);
    QTRY_VERIFY_WITH_TIMEOUT(recorder->has(181, 1), 2000);
    recorder->restart();
    device->ReadTrackBlock(8);
    QTRY_VERIFY_WITH_TIMEOUT(!recorder->statuses().isEmpty(), 5000);
    QCOMPARE(recorder->statuses(), (Statuses{{255, 0}}));
}

void TestDevice::usbFilter_data()
{
    QTest::addColumn<QList<SerialPortEntry>>("ports");
    QTest::addColumn<QStringList>("names");
    QTest::newRow("USB ones, in order") << QList<SerialPortEntry>{{"COM9", "USB A (COM9)"},
                                                                  {"COM2", "Bluetooth (COM2)"},
                                                                  {"COM4", "Prolific USB (COM4)"}}
                                        << QStringList{"COM9", "COM4"};
    QTest::newRow("lower case does not match")
        << QList<SerialPortEntry>{{"COM5", "usb serial (COM5)"}} << QStringList{};
    QTest::newRow("ttyUSB without description")
        << QList<SerialPortEntry>{{"ttyUSB0", " (ttyUSB0)"}, {"ttyS0", " (ttyS0)"}}
        << QStringList{"ttyUSB0"};
}

void TestDevice::usbFilter()
{
    QFETCH(QList<SerialPortEntry>, ports);
    QTEST(DetectDeviceThread::usbPortNames(ports), "names");
}

void TestDevice::detectionReportsEverySecond()
{
    QList<SerialPortEntry> ports = {{"ttyUSB1", "FT232R USB UART (ttyUSB1)"}};
    std::mutex mutex;
    QVector<QStringList> reports; // taken in the detection thread, under the lock
    DetectDeviceThread thread;
    thread.setPortLister([&] {
        std::lock_guard<std::mutex> lock(mutex);
        return ports;
    });
    auto count = [&] {
        std::lock_guard<std::mutex> lock(mutex);
        return reports.size();
    };
    connect(
        &thread, &DetectDeviceThread::deviceDiscovered, &thread,
        [&](QStringList names) {
            std::lock_guard<std::mutex> lock(mutex);
            reports.append(names);
            ports.clear();
        },
        Qt::DirectConnection);
    QElapsedTimer clock;
    clock.start();
    thread.startDetection();
    QTRY_COMPARE_WITH_TIMEOUT(count(), 2, 3000);
    QVERIFY(clock.elapsed() >= 900);
    thread.stopDetection();
    QCOMPARE(reports, (QVector<QStringList>{{"ttyUSB1"}, {}})); // an empty list is reported too
}

void TestDevice::playbackThread()
{
    PlaybackThread thread;
    std::mutex mutex;
    QVector<int> shown;
    int ends = 0;
    connect(
        &thread, &PlaybackThread::currentPoint, &thread,
        [&](int i) {
            std::lock_guard<std::mutex> lock(mutex);
            shown.append(i);
        },
        Qt::DirectConnection);
    connect(
        &thread, &PlaybackThread::playEnd, &thread,
        [&] {
            std::lock_guard<std::mutex> lock(mutex);
            ++ends;
        },
        Qt::DirectConnection);
    const int delays[] = {750, 500, 250, 250}; // step 3 is not a step: unchanged
    for (int step = 0; step < 4; ++step) {
        thread.setSpeed(step);
        QCOMPARE(thread.delay(), delays[step]);
    }
    thread.setCount(3);
    thread.setStart(1);
    thread.start();
    QVERIFY(thread.wait(3000));
    thread.setCount(100);
    thread.setStart(0);
    thread.start();
    QTest::qWait(600);
    QElapsedTimer clock;
    clock.start();
    thread.stop(); // returns after the pause under way at most, without playEnd
    QVERIFY(clock.elapsed() < 400);
    std::lock_guard<std::mutex> lock(mutex);
    QCOMPARE(shown, (QVector<int>{1, 2, 0, 1, 2})); // then 0, 1, 2 in 600 ms at 250 ms
    QCOMPARE(ends, 1);
}

QTEST_GUILESS_MAIN(TestDevice)
#include "tst_device.moc"
