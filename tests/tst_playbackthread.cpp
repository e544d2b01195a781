#include "view/playbackthread.h"

#include <QElapsedTimer>
#include <QtTest>

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
    QSignalSpy points(&thread, &PlaybackThread::currentPoint);
    QSignalSpy ends(&thread, &PlaybackThread::playEnd);
    thread.setCount(3);
    thread.setStart(1);
    thread.setSpeed(2);
    QCOMPARE(thread.delay(), 250);
    thread.setSpeed(7); // not a step: unchanged
    QCOMPARE(thread.delay(), 250);
    thread.start();
    QVERIFY(thread.wait(3000));
    QCOMPARE(points.size(), 2);
    QCOMPARE(points.at(0).at(0).toInt(), 1);
    QCOMPARE(points.at(1).at(0).toInt(), 2);
    QCOMPARE(ends.size(), 1);
}

void TestPlaybackThread::startBeyondTheListEndsAtOnce()
{
    PlaybackThread thread;
    QSignalSpy points(&thread, &PlaybackThread::currentPoint);
    QSignalSpy ends(&thread, &PlaybackThread::playEnd);
    thread.setCount(2);
    thread.setStart(2);
    thread.start();
    QVERIFY(thread.wait(1000));
    QCOMPARE(points.size(), 0);
    QCOMPARE(ends.size(), 1);
}

void TestPlaybackThread::speedChangeWhileRunning()
{
    PlaybackThread thread;
    QSignalSpy ends(&thread, &PlaybackThread::playEnd);
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
    QCOMPARE(ends.size(), 1);
}

void TestPlaybackThread::stopEndsWithoutPlayEnd()
{
    PlaybackThread thread;
    QSignalSpy points(&thread, &PlaybackThread::currentPoint);
    QSignalSpy ends(&thread, &PlaybackThread::playEnd);
    thread.setCount(100);
    thread.setSpeed(2);
    thread.start();
    QThread::msleep(600);
    QElapsedTimer clock;
    clock.start();
    thread.stop(); // returns after the pause under way at most
    QVERIFY(clock.elapsed() < 400);
    QVERIFY(thread.isFinished());
    QCOMPARE(ends.size(), 0);
    QVERIFY(points.size() >= 2 && points.size() <= 4);
}

QTEST_GUILESS_MAIN(TestPlaybackThread)
#include "tst_playbackthread.moc"
