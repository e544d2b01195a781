#include "device/loggersession.h"
#include "simtracks.h"
#include "tools/sim/loggersimulator.h"
#include "trackcompare.h"

#include <QtTest>

Q_DECLARE_METATYPE(QVector<LoggerSimulator::FaultRule>)

// The logger session against the simulated logger on a pseudo-terminal: what a download
// ends with, for the window and the command line alike.
class TestSession : public QObject
{
    Q_OBJECT
    QScopedPointer<LoggerSimulator> sim;

private slots:
    void initTestCase() { QLoggingCategory::setFilterRules(QStringLiteral("lx300.device=false")); }

    void init()
    {
        sim.reset(new LoggerSimulator);
        loadThreeTracks(*sim);
        sim->setPageSize(2);
        QVERIFY(sim->start());
    }

    // The session downloads what was chosen, or ends early with what arrived: the tracks a
    // block reached, each saying how many of its blocks came.
    void download_data()
    {
        using Fault = LoggerSimulator::Fault;
        using Outcome = LoggerSession::Outcome;
        QTest::addColumn<QVector<LoggerSimulator::FaultRule>>("faults");
        QTest::addColumn<int>("cancelAt"); // the progress at which the user cancels; -1 never
        QTest::addColumn<Outcome>("outcome");
        QTest::addColumn<QString>("kept"); // per track: points, blocks received of listed
        QTest::newRow("whole") << QVector<LoggerSimulator::FaultRule>{} << -1 << Outcome::Done
                               << "150 3/3, 230 3/3, 90 2/2";
        QTest::newRow("cancelled at a stall")
            << QVector<LoggerSimulator::FaultRule>{{Fault::NoReply, 0xB5, 1, 1}} << 1
            << Outcome::Cancelled << "";
        QTest::newRow("third block lost")
            << QVector<LoggerSimulator::FaultRule>{{Fault::NoReply, 0xB5, 2, 1}} << -1
            << Outcome::TimedOut << "128 2/3";
        QTest::newRow("line closed at the third block")
            << QVector<LoggerSimulator::FaultRule>{{Fault::CloseLine, 0xB5, 2, 1}} << -1
            << Outcome::LineLost << "128 2/3";
    }

    void download()
    {
        QFETCH(QVector<LoggerSimulator::FaultRule>, faults);
        QFETCH(int, cancelAt);
        QFETCH(LoggerSession::Outcome, outcome);
        LoggerSession session;
        QSignalSpy ended(&session, &LoggerSession::finished);
        QVERIFY(session.connectTo(sim->portPath()));
        QVERIFY(ended.wait(3000));
        session.listTracks();
        QVERIFY(ended.wait(3000));
        QCOMPARE(session.trackList().size(), 3);
        for (const LoggerSimulator::FaultRule &f : faults)
            sim->addFault(f);
        QSignalSpy progress(&session, &LoggerSession::progress);
        connect(&session, &LoggerSession::progress, this, [&](int received) {
            if (received == cancelAt)
                QTimer::singleShot(100, &session, &LoggerSession::cancelDownload);
        });
        ended.clear();
        session.download(session.trackList());
        QTRY_COMPARE_WITH_TIMEOUT(ended.size(), 1, 5000);
        QCOMPARE(ended[0][0].value<LoggerSession::Task>(), LoggerSession::Task::Download);
        QCOMPARE(ended[0][1].value<LoggerSession::Outcome>(), outcome);
        const QVector<Track> tracks = ended[0][2].value<QVector<Track>>();
        QStringList kept;
        for (const Track &t : tracks)
            kept << QStringLiteral("%1 %2/%3")
                        .arg(t.points.size())
                        .arg(t.blocksReceived)
                        .arg(t.blocksListed);
        QTEST(kept.join(", "), "kept");
        QCOMPARE(progress.size(), session.receivedBlockCount() + 1); // from 0
        if (outcome == LoggerSession::Outcome::Done)
            QVERIFY(samePoints(tracks, sim->expectedTracks({0, 1, 2}), true));
        if (outcome == LoggerSession::Outcome::Done || outcome == LoggerSession::Outcome::Cancelled)
            QTRY_COMPARE(sim->requests().last().toHex(), QByteArray("b7")); // the download ended
        QCOMPARE(session.isConnected(), outcome != LoggerSession::Outcome::LineLost);
        if (outcome ==
            LoggerSession::Outcome::Cancelled) { // the stalled block's time-out is no news
            QTest::qWait(DeviceLX300::ReplyTimeoutMs + 300);
            QCOMPARE(ended.size(), 1);
        }
    }
};

QTEST_GUILESS_MAIN(TestSession)
#include "tst_session.moc"
