#include "formats/exportsettings.h"
#include "testsettings.h"
#include "view/googlemapoperator.h"
#include "view/mapwidget.h"
#include "view/pointformat.h"

#include <QTreeView>
#include <QTreeWidget>
#include <QtTest>

namespace {

// Records the operator's signals as one ordered list of calls.
class CallLog : public QObject
{
public:
    explicit CallLog(GoogleMapOperator *op)
    {
        connect(op, &GoogleMapOperator::addPolyline, this, [this] { calls << "addPolyline"; });
        connect(op, &GoogleMapOperator::addLatLng, this,
                [this](double, double, int n) { calls << QStringLiteral("addLatLng(%1)").arg(n); });
        connect(op, &GoogleMapOperator::setCenter, this, [this](double lat, double lng) {
            calls << QStringLiteral("setCenter(%1,%2)").arg(lat).arg(lng);
        });
        connect(op, &GoogleMapOperator::showPolyline, this,
                [this](int n) { calls << QStringLiteral("showPolyline(%1)").arg(n); });
        connect(op, &GoogleMapOperator::clearPolyline, this,
                [this](int n) { calls << QStringLiteral("clearPolyline(%1)").arg(n); });
        connect(op, &GoogleMapOperator::deletePolylines, this,
                [this] { calls << "deletePolylines"; });
        connect(op, &GoogleMapOperator::addMarker, this, [this](double lat, double, QString text) {
            calls << QStringLiteral("addMarker(%1,%2)").arg(lat).arg(text);
        });
        connect(op, &GoogleMapOperator::deleteMarked, this, [this] { calls << "deleteMarked"; });
        connect(op, &GoogleMapOperator::showMarked, this, [this] { calls << "showMarked"; });
        connect(op, &GoogleMapOperator::viewPoint, this, [this](double lat, double, QString text) {
            calls << QStringLiteral("viewPoint(%1,%2)").arg(lat).arg(text);
        });
        connect(op, &GoogleMapOperator::deleteAllObject, this,
                [this] { calls << "deleteAllObject"; });
    }
    QStringList calls;
};

// 2009-04-11 05:45:00 UTC, 13:45:00 in the test's zone eight hours ahead.
const quint32 Start = 1239428700;

TrackPoint point(double lat, quint32 time, quint32 speed, int marked = 0)
{
    TrackPoint p;
    p.position = Vec3(lat, 8.5, 400.5);
    p.time = time;
    p.speed = speed;
    p.marked = marked;
    return p;
}

QVector<Track> threeTracks()
{
    Track a;
    a.startTime = Start;
    a.format = 2;
    a.points = {point(1.0, Start, 1000), point(1.1, Start + 5, 1010), point(1.2, Start + 10, 0)};
    Track b;
    b.startTime = Start + 3600;
    b.format = 2;
    for (int i = 0; i < 12; ++i)
        b.points.append(point(2.0 + i / 100.0, Start + 3600 + 5 * i, quint32(100 * i),
                              i == 5 || i == 9 ? 1 : 0));
    Track c;
    c.startTime = Start + 7200;
    c.format = 1;
    c.points = {point(3.0, Start + 7200, 5), point(3.1, Start + 7205, 0, 1)};
    return {a, b, c};
}

} // namespace

class TestMapWidget : public QObject
{
    Q_OBJECT

public:
    static void initMain()
    {
        prepareGuiTest();
        qputenv("TZ", "XST-8");
    }

private slots:
    void init();
    void cleanup();
    void emptyRebuild();
    void rebuildSendsLinesHidden();
    void checkingSecondOfThree();
    void checkingAllAndRoot();
    void doubleClickingTheRoot();
    void pointListColumnsAndTexts();
    void rules_data();
    void rules();
    void ruleZeroKeepsTheFilter();
    void currentTrackWithoutDoubleClick();
    void timeSwitchChangesListNotTrackLabels();
    void pointDoubleClickSetsPlayStart();
    void rebuildEmptiesTheList();
    void viewsStayWithinTracks();

private:
    void doubleClickTrack(int row);
    QStringList column(int c) const;

    QVector<Track> tracks;
    FixedExportSettings settings{0, 0, 1};
    MapWidget *widget = nullptr;
    CallLog *log = nullptr;
};

void TestMapWidget::init()
{
    tracks = threeTracks();
    settings = FixedExportSettings(0, 0, 1);
    widget = new MapWidget(&tracks, &settings);
    log = new CallLog(widget->mapOperator());
}

void TestMapWidget::cleanup()
{
    delete log;
    delete widget;
}

void TestMapWidget::doubleClickTrack(int row)
{
    QTreeWidgetItem *item = widget->trackTree()->topLevelItem(0)->child(row);
    widget->trackTree()->setCurrentItem(item);
    widget->TreeWidgetItemDoubleClicked(item, 0);
}

QStringList TestMapWidget::column(int c) const
{
    QStringList texts;
    QAbstractItemModel *m = widget->pointList()->model();
    for (int r = 0; r < m->rowCount(); ++r)
        texts << m->index(r, c).data().toString();
    return texts;
}

void TestMapWidget::emptyRebuild()
{
    tracks.clear();
    widget->rebuildTrackViews();
    QTreeWidget *tree = widget->trackTree();
    QCOMPARE(tree->topLevelItemCount(), 1);
    QTreeWidgetItem *root = tree->topLevelItem(0);
    QCOMPARE(root->text(0), QStringLiteral("LX-300 Data Logger"));
    QCOMPARE(root->checkState(0), Qt::Unchecked);
    QVERIFY(root->isExpanded());
    QCOMPARE(root->childCount(), 0);
    log->calls.clear();
    root->setCheckState(0, Qt::Checked);
    QCOMPARE(log->calls, (QStringList{"deleteMarked", "showMarked"}));
}

void TestMapWidget::rebuildSendsLinesHidden()
{
    widget->rebuildTrackViews();
    // Per track: a line, then its points; the passes of unchecked items in
    // between only hide lines, which changes nothing on the map.
    QStringList lines;
    for (const QString &c : log->calls)
        if (c == "deleteAllObject" || c == "addPolyline" || c.startsWith("addLatLng"))
            lines << c;
    QStringList expected{"deleteAllObject"};
    for (int i = 0; i < 3; ++i) {
        expected << "addPolyline";
        for (int p = 0; p < tracks[i].points.size(); ++p)
            expected << QStringLiteral("addLatLng(%1)").arg(i);
    }
    QCOMPARE(lines, expected);
    QVERIFY(!log->calls.join(' ').contains("showPolyline"));
    QVERIFY(!log->calls.join(' ').contains("addMarker"));
    QCOMPARE(widget->trackTree()->topLevelItem(0)->child(0)->text(0),
             QStringLiteral("1.2009-04-11 - 13:45:00"));
}

void TestMapWidget::checkingSecondOfThree()
{
    widget->rebuildTrackViews();
    log->calls.clear();
    QTreeWidgetItem *root = widget->trackTree()->topLevelItem(0);
    root->child(1)->setCheckState(0, Qt::Checked);
    const QStringList pass{"deleteMarked",
                           "clearPolyline(0)",
                           "showPolyline(1)",
                           "addMarker(2.09,2.2009-04-11 - 14:45:45 #0)",
                           "addMarker(2.05,2.2009-04-11 - 14:45:25 #1)",
                           "clearPolyline(2)",
                           "showMarked"};
    // Once for the track, once more when the root turns partially checked.
    QCOMPARE(log->calls, pass + pass);
    QCOMPARE(root->checkState(0), Qt::PartiallyChecked);
    QCOMPARE(widget->checkedTrackIndexes(), QList<int>{1});
}

void TestMapWidget::checkingAllAndRoot()
{
    widget->rebuildTrackViews();
    QTreeWidgetItem *root = widget->trackTree()->topLevelItem(0);
    root->child(0)->setCheckState(0, Qt::Checked);
    root->child(2)->setCheckState(0, Qt::Checked);
    QCOMPARE(root->checkState(0), Qt::PartiallyChecked);
    root->child(1)->setCheckState(0, Qt::Checked);
    QCOMPARE(root->checkState(0), Qt::Checked);
    QCOMPARE(widget->checkedTrackIndexes(), (QList<int>{0, 1, 2}));

    log->calls.clear();
    root->setCheckState(0, Qt::Unchecked);
    QCOMPARE(widget->checkedTrackIndexes(), QList<int>{});
    // The last pass hides every line and shows no marker.
    const QStringList tail = log->calls.mid(log->calls.lastIndexOf("deleteMarked"));
    QCOMPARE(tail, (QStringList{"deleteMarked", "clearPolyline(0)", "clearPolyline(1)",
                                "clearPolyline(2)", "showMarked"}));

    root->setCheckState(0, Qt::Checked);
    QCOMPARE(widget->checkedTrackIndexes(), (QList<int>{0, 1, 2}));
}

void TestMapWidget::doubleClickingTheRoot()
{
    widget->rebuildTrackViews();
    QTreeWidgetItem *root = widget->trackTree()->topLevelItem(0);
    widget->trackTree()->setCurrentItem(root);
    log->calls.clear();
    widget->TreeWidgetItemDoubleClicked(root, 0);
    QCOMPARE(widget->listedPoints().size(), 3); // the first track
    QCOMPARE(log->calls.first(), QStringLiteral("setCenter(1,8.5)"));
    QCOMPARE(widget->checkedTrackIndexes(), (QList<int>{0, 1, 2}));
    QCOMPARE(widget->filterRuleInForce(), -1);
    QCOMPARE(widget->filterThresholdInForce(), -100.0f);
}

void TestMapWidget::pointListColumnsAndTexts()
{
    widget->rebuildTrackViews();
    doubleClickTrack(1);
    QAbstractItemModel *m = widget->pointList()->model();
    QCOMPARE(m->columnCount(), 7);
    QStringList headers;
    for (int c = 0; c < m->columnCount(); ++c)
        headers << m->headerData(c, Qt::Horizontal).toString();
    QCOMPARE(headers, (QStringList{"Record Number", "Date", "Time", "Latitude", "Longitude",
                                   "Altitude", "Speed"}));
    QCOMPARE(column(0).mid(4, 3), (QStringList{"5", "6*", "7"}));
    QCOMPARE(m->index(5, 1).data().toString(), QStringLiteral("2009-04-11"));
    QCOMPARE(m->index(5, 2).data().toString(), QStringLiteral("14:45:25"));
    QCOMPARE(m->index(0, 3).data().toString(), QString::fromUtf8("2°0'0.0000\" N"));
    QCOMPARE(m->index(0, 4).data().toString(), QString::fromUtf8("8°30'0.0000\" E"));
    QCOMPARE(m->index(0, 5).data().toString(), QStringLiteral("400.50 m"));
    QCOMPARE(m->index(3, 6).data().toString(), QStringLiteral("3.00 km/hr"));
    QCOMPARE(m->flags(m->index(0, 0)), Qt::ItemIsSelectable | Qt::ItemIsEnabled);

    doubleClickTrack(2); // log format 1: no altitude
    QCOMPARE(m->columnCount(), 6);
    QCOMPARE(m->headerData(5, Qt::Horizontal).toString(), QStringLiteral("Speed"));
    QCOMPARE(column(0), (QStringList{"1", "2*"}));
    QCOMPARE(m->index(0, 5).data().toString(), QStringLiteral("0.05 km/hr"));

    settings.speed = 1; // read when the rows are shown
    QCOMPARE(m->index(0, 5).data().toString(), QStringLiteral("0.03 mi/hr"));
}

void TestMapWidget::rules_data()
{
    QTest::addColumn<float>("threshold");
    QTest::addColumn<int>("rule");
    QTest::addColumn<QVector<quint32>>("speeds");
    QTest::newRow("> 10") << 10.0f << 1 << QVector<quint32>{1010};
    QTest::newRow(">= 10") << 10.0f << 2 << QVector<quint32>{1000, 1010};
    QTest::newRow("= 10") << 10.0f << 3 << QVector<quint32>{1000};
    QTest::newRow("< 10") << 10.0f << 4 << QVector<quint32>{0};
    QTest::newRow("<= 10") << 10.0f << 5 << QVector<quint32>{1000, 0};
    // 10.1 * 100 in single precision is 1010.0000610..., above 1010.
    QTest::newRow("= 10.1 keeps nothing") << 10.1f << 3 << QVector<quint32>{};
    QTest::newRow(">= 10.1 drops 1010") << 10.1f << 2 << QVector<quint32>{};
    QTest::newRow("= 0 keeps standing") << 0.0f << 3 << QVector<quint32>{0};
    QTest::newRow("> 0 keeps moving") << 0.0f << 1 << QVector<quint32>{1000, 1010};
    QTest::newRow("rule 7 keeps none") << 10.0f << 7 << QVector<quint32>{};
    QTest::newRow("all") << 99.0f << -1 << QVector<quint32>{1000, 1010, 0};
}

void TestMapWidget::rules()
{
    QFETCH(float, threshold);
    QFETCH(int, rule);
    QFETCH(QVector<quint32>, speeds);
    widget->rebuildTrackViews();
    doubleClickTrack(0);
    widget->rebuildPointList(threshold, rule);
    QVector<quint32> kept;
    for (const TrackPoint &p : widget->listedPoints())
        kept << p.speed;
    QCOMPARE(kept, speeds);
    QCOMPARE(widget->pointList()->model()->rowCount(), speeds.size());
}

void TestMapWidget::ruleZeroKeepsTheFilter()
{
    widget->rebuildTrackViews();
    doubleClickTrack(1);
    widget->rebuildPointList(-1.0f, 6); // mark points only
    QCOMPARE(column(0), (QStringList{"1*", "2*"}));
    log->calls.clear();
    settings.speed = 1;
    widget->rebuildPointList(-1.0f, 0); // a unit change
    QCOMPARE(column(0), (QStringList{"1*", "2*"}));
    QCOMPARE(log->calls, QStringList{"setCenter(2.05,8.5)"});
    QVERIFY(column(6).first().endsWith(QStringLiteral("mi/hr")));
}

void TestMapWidget::currentTrackWithoutDoubleClick()
{
    widget->rebuildTrackViews();
    QTreeWidgetItem *third = widget->trackTree()->topLevelItem(0)->child(2);
    widget->trackTree()->setCurrentItem(third); // a single click
    widget->rebuildPointList(-1.0f, 0);
    QCOMPARE(widget->listedPoints().size(), 2);
    QCOMPARE(third->checkState(0), Qt::Unchecked);
}

void TestMapWidget::timeSwitchChangesListNotTrackLabels()
{
    widget->rebuildTrackViews();
    doubleClickTrack(0);
    QCOMPARE(column(2).first(), QStringLiteral("13:45:00"));
    settings.time = 0;
    widget->rebuildPointList(-1.0f, 0);
    QCOMPARE(column(2).first(), QStringLiteral("05:45:00"));
    QCOMPARE(widget->trackTree()->topLevelItem(0)->child(0)->text(0),
             QStringLiteral("1.2009-04-11 - 13:45:00"));

    log->calls.clear();
    QTreeWidgetItem *second = widget->trackTree()->topLevelItem(0)->child(1);
    second->setCheckState(0, Qt::Checked);
    QVERIFY(log->calls.contains("addMarker(2.09,2.2009-04-11 - 06:45:45 #0)"));
}

void TestMapWidget::pointDoubleClickSetsPlayStart()
{
    widget->rebuildTrackViews();
    doubleClickTrack(1);
    log->calls.clear();
    widget->TreeWidget2ItemDoubleClicked(widget->pointList()->model()->index(4, 0));
    QCOMPARE(widget->playbackStart(), 4);
    QCOMPARE(log->calls, QStringList{"viewPoint(2.04,5.2009-04-11 - 14:45:20)"});
    widget->TreeWidget2ItemDoubleClicked(QModelIndex());
    QCOMPARE(widget->playbackStart(), 0);
}

void TestMapWidget::rebuildEmptiesTheList()
{
    widget->rebuildTrackViews();
    doubleClickTrack(1);
    widget->TreeWidget2ItemDoubleClicked(widget->pointList()->model()->index(4, 0));
    widget->rebuildTrackViews();
    QVERIFY(widget->listedPoints().isEmpty());
    QCOMPARE(widget->pointList()->model()->rowCount(), 0);
    QCOMPARE(widget->playbackStart(), 0);
}

void TestMapWidget::viewsStayWithinTracks()
{
    widget->rebuildTrackViews();
    doubleClickTrack(2);
    tracks.clear(); // replaced before the views are rebuilt
    widget->rebuildPointList(-1.0f, 0);
    QVERIFY(widget->listedPoints().isEmpty());
    widget->rewindPlayback();
    widget->TreeWidget2ItemDoubleClicked(QModelIndex());
    QTreeWidgetItem *root = widget->trackTree()->topLevelItem(0);
    root->setCheckState(0, Qt::Checked); // marks of gone tracks are still safe to send
    QCOMPARE(widget->checkedTrackIndexes(), (QList<int>{0, 1, 2}));
}

QTEST_MAIN(TestMapWidget)
#include "tst_mapwidget.moc"
