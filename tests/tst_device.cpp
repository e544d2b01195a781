#include "device/detectdevicethread.h"
#include "device/devicelx300.h"
#include "model/trackblock.h"
#include "simtracks.h"
#include "tools/sim/loggersimulator.h"
#include "trackcompare.h"
#include "view/playbackthread.h"

#include <QtTest>

#include <mutex>

namespace {
// Reports made in other threads, as text, each with its time in ms since the last restart. The
// hand-over is behind a standard lock that ThreadSanitizer can follow; Qt's queued events live
// in uninstrumented libraries and would only bring false reports.
class Recorder
{
public:
    Recorder() { clock.start(); }
    void add(const QString &event)
    {
        std::lock_guard<std::mutex> lock(mutex);
        log << event;
        times << clock.elapsed();
    }
    QStringList events() const
    {
        std::lock_guard<std::mutex> lock(mutex);
        return log;
    }
    qint64 time(int i = 0) const
    {
        std::lock_guard<std::mutex> lock(mutex);
        return times.value(i, -1);
    }
    void restart()
    {
        std::lock_guard<std::mutex> lock(mutex);
        log.clear();
        times.clear();
        clock.restart();
    }

private:
    mutable std::mutex mutex;
    QElapsedTimer clock;
    QStringList log;
    QList<qint64> times;
};

QString listText(const QVector<TrackFileHeader> &headers)
{
    QStringList t;
    for (const TrackFileHeader &h : headers) {
        QStringList blocks;
        for (int b : h.blockIndexes)
            blocks << QString::number(b);
        t << QStringLiteral("%1:%2").arg(h.date).arg(h.time) + ' ' + blocks.join(',');
    }
    return "list " + t.join(" | ");
}
} // namespace

// The worker on a pseudo-terminal with the simulated logger, the port detection and the playback
// thread: everything that runs in a thread of its own, with the program's own timings.
class TestDevice : public QObject
{
    Q_OBJECT
    LoggerSimulator *sim = nullptr;
    DeviceLX300 *device = nullptr;
    Recorder *reports = nullptr;

    // Waits for the first report, then a little longer for anything after it.
    QStringList settled(int timeoutMs, int afterMs = 300)
    {
        QElapsedTimer clock;
        clock.start();
        while (reports->events().isEmpty() && clock.elapsed() < timeoutMs)
            QTest::qWait(5);
        QTest::qWait(afterMs);
        return reports->events();
    }

    bool connectReady()
    {
        const bool ready =
            device->Connect(sim->portPath()) && settled(3000, 0) == QStringList{"254/1"};
        reports->restart();
        return ready;
    }

    void expectFirstBetween(qint64 low, qint64 high)
    {
        QVERIFY2(reports->time() > low && reports->time() < high,
                 QByteArray::number(reports->time()));
    }

private slots:
    void initTestCase() { QLoggingCategory::setFilterRules(QStringLiteral("lx300.device=false")); }

    void init()
    {
        sim = new LoggerSimulator;
        loadThreeTracks(*sim);
        QVERIFY(sim->start());
        device = new DeviceLX300;
        reports = new Recorder;
        Recorder *r = reports;
        connect(
            device, &DeviceLX300::FireRecvStatus, device,
            [r](int cmd, int status) { r->add(QStringLiteral("%1/%2").arg(cmd).arg(status)); },
            Qt::DirectConnection);
        connect(
            device, &DeviceLX300::FireRecvTrackFileHeader, device,
            [r](const QVector<TrackFileHeader> &list) { r->add(listText(list)); },
            Qt::DirectConnection);
    }

    void cleanup()
    {
        delete device;
        delete reports;
        delete sim;
    }

    void handshakeAtThirdHello()
    {
        sim->setHelloAnswerFrom(3);
        QVERIFY(device->Connect(sim->portPath()));
        QCOMPARE(device->portName(), sim->portPath());
        QVERIFY(!device->Connect(sim->portPath()));         // one connection at a time
        QCOMPARE(settled(4000, 700), QStringList{"254/1"}); // 700 ms: time for a fourth hello
        QCOMPARE(sim->hellosReceived(), 3);
        expectFirstBetween(1300, 2500); // three hellos 500 ms apart
        device->Disconnect();
        QVERIFY(device->portName().isEmpty() && !device->isConnected());
    }

    void silentLoggerFailsHandshake()
    {
        sim->setSilent(true);
        QVERIFY(device->Connect(sim->portPath()));
        QCOMPARE(settled(8000), QStringList{"254/0"});
        expectFirstBetween(4500, 6500);
        QCOMPARE(sim->requests().size(), 10); // ten hellos
        QVERIFY(device->isConnected());       // failed, until the owner disconnects
    }

    void unopenablePort()
    {
        QVERIFY(!device->Connect(QStringLiteral("/dev/no-such-lx300")));
        QCOMPARE(settled(3000), QStringList{"254/0"});
        expectFirstBetween(450, 1500);
    }

    void lostReplyThenRecovery()
    {
        QVERIFY(connectReady());
        sim->addFault({LoggerSimulator::Fault::NoReply, 0xB7, 0, 1});
        device->ReadDeviceConfig();
        QCOMPARE(settled(5000), QStringList{"255/0"});
        expectFirstBetween(2900, 3800);
        device->ReadDeviceConfig();
        QTRY_COMPARE_WITH_TIMEOUT(reports->events(), (QStringList{"255/0", "183/1"}), 2000);
    }

    void disconnectWhilePending()
    {
        QVERIFY(connectReady());
        sim->addFault({LoggerSimulator::Fault::NoReply, 0xB7, 0, -1});
        device->ReadDeviceConfig();
        QTest::qWait(100);
        device->Disconnect();
        QTest::qWait(200);
        QVERIFY(reports->events().isEmpty());
    }

    void downloadBothFormatsOverPages()
    {
        sim->setPageSize(3); // the three tracks take 3 + 3 + 2 blocks
        QVERIFY(connectReady());
        device->ReadTrackFileHeaders();
        QTRY_COMPARE_WITH_TIMEOUT(reports->events(), QStringList{listText(sim->headers())}, 3000);
        QVERIFY(
            reports->events()[0].endsWith(" 7,8,9 | 120409:81500 10,11,12 | 130409:81500 13,14"));
        QStringList pages;
        const QVector<QByteArray> requests = sim->requests(); // const: no detach beside the sim
        for (const QByteArray &r : requests)
            pages << QString::fromLatin1(r.toHex());
        QCOMPARE(pages.mid(pages.size() - 3), (QStringList{"bb0000", "bb0003", "bb0006"}));
        QVector<Track> tracks(3);
        int current = -1;
        for (int block = 7; block <= 14; ++block) {
            reports->restart();
            device->ReadTrackBlock(quint16(block));
            QTRY_COMPARE_WITH_TIMEOUT(reports->events(), QStringList{"181/1"}, 3000);
            QVERIFY(appendTrackBlock(tracks, current, device->currentBlock()));
        }
        const QVector<Track> expected = sim->expectedTracks({0, 1, 2});
        for (int i = 0; i < tracks.size(); ++i) // set by the track dialog, not the download
            tracks[i].startTime = expected[i].startTime;
        QVERIFY(samePoints(tracks, expected, true)); // track 2 in log format 1
    }

    void lineClosingMidDownload()
    {
        QVERIFY(connectReady());
        sim->addFault({LoggerSimulator::Fault::CloseLine, 0xB5, 1, 1});
        device->ReadTrackBlock(7);
        QTRY_COMPARE_WITH_TIMEOUT(reports->events(), QStringList{"181/1"}, 2000);
        reports->restart();
        device->ReadTrackBlock(8);
        // Told at once, and no time-out follows.
        QCOMPARE(settled(5000, DeviceLX300::ReplyTimeoutMs + 300), QStringList{"253/1"});
        expectFirstBetween(-1, 500);
    }

    void detectionReportsEverySecond()
    {
        Recorder found;
        std::atomic<bool> plugged{true};
        DetectDeviceThread thread;
        thread.setPortLister([&] {
            return plugged ? QList<SerialPortEntry>{{"ttyUSB1", "FT232R USB UART (ttyUSB1)"}}
                           : QList<SerialPortEntry>{};
        });
        connect(
            &thread, &DetectDeviceThread::deviceDiscovered, &thread,
            [&](const QStringList &names) {
                found.add(names.join(','));
                plugged = false;
            },
            Qt::DirectConnection);
        thread.startDetection();
        QTRY_COMPARE_WITH_TIMEOUT(found.events().size(), 2, 3000);
        thread.stopDetection();
        QCOMPARE(found.events(), (QStringList{"ttyUSB1", ""})); // an empty list is reported too
        QVERIFY(found.time(1) - found.time(0) >= 900);
    }

    void playbackThread()
    {
        PlaybackThread thread;
        Recorder shown;
        connect(
            &thread, &PlaybackThread::currentPoint, &thread,
            [&](int i) { shown.add(QString::number(i)); }, Qt::DirectConnection);
        connect(
            &thread, &PlaybackThread::playEnd, &thread, [&] { shown.add("end"); },
            Qt::DirectConnection);
        QList<int> delays;
        for (int step = 0; step < 4; ++step) {
            thread.setSpeed(step);
            delays << thread.delay();
        }
        QCOMPARE(delays, (QList<int>{750, 500, 250, 250})); // step 3 is not a step: unchanged
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
        // Then 0, 1, 2 in 600 ms at 250 ms.
        QCOMPARE(shown.events(), (QStringList{"1", "2", "end", "0", "1", "2"}));
    }
};

QTEST_GUILESS_MAIN(TestDevice)
#include "tst_device.moc"
