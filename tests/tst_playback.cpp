#include "formats/exportsettings.h"
#include "testsettings.h"
#include "view/googlemapoperator.h"
#include "view/mapwidget.h"
#include "view/playbackthread.h"

#include <QElapsedTimer>
#include <QTreeView>
#include <QTreeWidget>
#include <QtTest>

class TestPlayback : public QObject
{
    Q_OBJECT

public:
    static void initMain() { prepareGuiTest(); }

private slots:
    void init();
    void cleanup();
    void fivePointsAtStepTwoTakeASecond();
    void speedChangeAppliesFromTheNextPause();
    void pauseAndResumeShowsTheLastPointAgain();
    void afterTheEndPlayStartsAtZero();
    void rewind();
    void rewindWithAnEmptyListDoesNothing();

private:
    void listFivePoints();
    QVector<int> shownRows(QSignalSpy &spy) const;

    QVector<Track> tracks;
    FixedExportSettings settings;
    MapWidget *widget = nullptr;
};

void TestPlayback::init()
{
    Track t;
    t.format = 1;
    for (int i = 0; i < 5; ++i) {
        TrackPoint p;
        p.position = Vec3(10 + i, 20, 0);
        p.time = 1239437700u + quint32(i);
        t.points.append(p);
    }
    tracks = {t};
    widget = new MapWidget(&tracks, &settings);
}

void TestPlayback::cleanup()
{
    delete widget;
}

void TestPlayback::listFivePoints()
{
    widget->rebuildTrackViews();
    QTreeWidgetItem *item = widget->trackTree()->topLevelItem(0)->child(0);
    widget->trackTree()->setCurrentItem(item);
    widget->TreeWidgetItemDoubleClicked(item, 0);
}

QVector<int> TestPlayback::shownRows(QSignalSpy &spy) const
{
    QVector<int> rows;
    for (const QList<QVariant> &args : spy)
        rows << qRound(args.at(0).toDouble()) - 10; // the latitude says which point
    return rows;
}

void TestPlayback::fivePointsAtStepTwoTakeASecond()
{
    listFivePoints();
    widget->setSpeed(2);
    QSignalSpy finished(widget, &MapWidget::playThreadFinished);
    QSignalSpy views(widget->mapOperator(), &GoogleMapOperator::viewPoint);
    QElapsedTimer clock;
    clock.start();
    widget->startPlayback();
    QTRY_COMPARE_WITH_TIMEOUT(finished.size(), 1, 3000);
    const qint64 ms = clock.elapsed();
    // Four pauses of 250 ms, none after the last point.
    QVERIFY2(ms >= 950 && ms < 1500, QByteArray::number(ms));
    QCOMPARE(shownRows(views), (QVector<int>{0, 1, 2, 3, 4}));
    QCOMPARE(widget->pointList()->selectionModel()->selectedRows().first().row(), 4);
    QCOMPARE(widget->playbackStart(), 0); // the end rewinds the next start
}

void TestPlayback::speedChangeAppliesFromTheNextPause()
{
    listFivePoints();
    widget->setSpeed(0);
    QSignalSpy finished(widget, &MapWidget::playThreadFinished);
    QElapsedTimer clock;
    clock.start();
    widget->startPlayback();
    QTest::qWait(100);
    widget->setSpeed(2); // the first 750 ms pause is under way
    QTRY_COMPARE_WITH_TIMEOUT(finished.size(), 1, 4000);
    const qint64 ms = clock.elapsed();
    QVERIFY2(ms >= 1400 && ms < 2000, QByteArray::number(ms)); // 750 + 3 x 250
}

void TestPlayback::pauseAndResumeShowsTheLastPointAgain()
{
    listFivePoints();
    widget->setSpeed(1);
    QSignalSpy views(widget->mapOperator(), &GoogleMapOperator::viewPoint);
    QSignalSpy finished(widget, &MapWidget::playThreadFinished);
    widget->startPlayback();
    QTRY_COMPARE_WITH_TIMEOUT(views.size(), 3, 3000); // indexes 0, 1, 2 shown
    widget->stopPlayback();
    QTRY_COMPARE_WITH_TIMEOUT(finished.size(), 1, 2000);
    QCOMPARE(widget->playbackStart(), 2);
    views.clear();
    widget->startPlayback();
    QTRY_COMPARE_WITH_TIMEOUT(finished.size(), 2, 4000);
    QCOMPARE(shownRows(views), (QVector<int>{2, 3, 4}));
}

void TestPlayback::afterTheEndPlayStartsAtZero()
{
    listFivePoints();
    widget->setSpeed(2);
    QSignalSpy finished(widget, &MapWidget::playThreadFinished);
    widget->startPlayback();
    QTRY_COMPARE_WITH_TIMEOUT(finished.size(), 1, 3000);
    QSignalSpy views(widget->mapOperator(), &GoogleMapOperator::viewPoint);
    widget->startPlayback();
    QTRY_VERIFY_WITH_TIMEOUT(!views.isEmpty(), 1000);
    QCOMPARE(shownRows(views).first(), 0);
    widget->stopPlayback();
}

void TestPlayback::rewind()
{
    listFivePoints();
    widget->TreeWidget2ItemDoubleClicked(widget->pointList()->model()->index(3, 0));
    QCOMPARE(widget->playbackStart(), 3);
    QSignalSpy views(widget->mapOperator(), &GoogleMapOperator::viewPoint);
    widget->rewindPlayback();
    QCOMPARE(widget->playbackStart(), 0);
    QCOMPARE(shownRows(views), QVector<int>{0});
    QCOMPARE(widget->pointList()->selectionModel()->selectedRows().first().row(), 0);
}

void TestPlayback::rewindWithAnEmptyListDoesNothing()
{
    QSignalSpy views(widget->mapOperator(), &GoogleMapOperator::viewPoint);
    widget->rewindPlayback();
    QCOMPARE(views.size(), 0);
    QSignalSpy finished(widget, &MapWidget::playThreadFinished);
    widget->startPlayback(); // an empty list ends at once
    QTRY_COMPARE_WITH_TIMEOUT(finished.size(), 1, 1000);
    QCOMPARE(views.size(), 0);
}

QTEST_MAIN(TestPlayback)
#include "tst_playback.moc"
