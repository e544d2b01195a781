#include "view/playbackthread.h"

#include <QElapsedTimer>
#include <QtTest>

#include <mutex>

namespace {

// Notes the thread's signals as they are emitted, in its own thread, under a
// lock the sanitizer can see (QThread::wait's own is invisible to it).
class Emissions
{
public:
    explicit Emissions(PlaybackThread *thread)
    {
        QObject::connect(
            thread, &PlaybackThread::currentPoint, thread,
            [this](int index) {
                std::lock_guard<std::mutex> lock(mutex);
                points.append(index);
            },
            Qt::DirectConnection);
        QObject::connect(
            thread, &PlaybackThread::playEnd, thread,
            [this] {
                std::lock_guard<std::mutex> lock(mutex);
                ++ends;
            },
            Qt::DirectConnection);
    }
    QVector<int> shown() const
    {
        std::lock_guard<std::mutex> lock(mutex);
        return points;
    }
    int endCount() const
    {
        std::lock_guard<std::mutex> lock(mutex);
        return ends;
    }

private:
    mutable std::mutex mutex;
    QVector<int> points;
    int ends = 0;
};

} // namespace

class TestPlaybackThread : public QObject
{
    Q_OBJECT

private slots:
    void stepsAndEnds();
    void startBeyondTheListEndsAtOnce();
    void speedChangeWhileRunning();
    void stopEndsWithoutPlayEnd();
};

void TestPlaybackThread::stepsAndEnds()
{
    PlaybackThread thread;
    Emissions seen(&thread);
    thread.setCount(3);
    thread.setStart(1);
    thread.setSpeed(2);
    QCOMPARE(thread.delay(), 250);
    thread.setSpeed(7); // not a step: unchanged
    QCOMPARE(thread.delay(), 250);
    thread.start();
    QVERIFY(thread.wait(3000));
    QCOMPARE(seen.shown(), (QVector<int>{1, 2}));
    QCOMPARE(seen.endCount(), 1);
}

void TestPlaybackThread::startBeyondTheListEndsAtOnce()
{
    PlaybackThread thread;
    Emissions seen(&thread);
    thread.setCount(2);
    thread.setStart(2);
    thread.start();
    QVERIFY(thread.wait(1000));
    QVERIFY(seen.shown().isEmpty());
    QCOMPARE(seen.endCount(), 1);
}

void TestPlaybackThread::speedChangeWhileRunning()
{
    PlaybackThread thread;
    Emissions seen(&thread);
    thread.setCount(4);
    thread.setSpeed(0);
    QElapsedTimer clock;
    clock.start();
    thread.start();
    QThread::msleep(100);
    thread.setSpeed(2); // from the second pause on
    QVERIFY(thread.wait(5000));
    const qint64 ms = clock.elapsed();
    QVERIFY2(ms >= 1150 && ms < 1700, QByteArray::number(ms)); // 750 + 250 + 250
    QCOMPARE(seen.endCount(), 1);
}

void TestPlaybackThread::stopEndsWithoutPlayEnd()
{
    PlaybackThread thread;
    Emissions seen(&thread);
    thread.setCount(100);
    thread.setSpeed(2);
    thread.start();
    QThread::msleep(600);
    QElapsedTimer clock;
    clock.start();
    thread.stop(); // returns after the pause under way at most
    QVERIFY(clock.elapsed() < 400);
    QVERIFY(thread.isFinished());
    QCOMPARE(seen.endCount(), 0);
    QVERIFY(seen.shown().size() >= 2 && seen.shown().size() <= 4);
}

QTEST_GUILESS_MAIN(TestPlaybackThread)
#include "tst_playbackthread.moc"
