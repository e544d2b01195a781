#include "fixtures.h"
#include "model/units.h"
#include "testpage.h"
#include "testsettings.h"
#include "view/googlemapoperator.h"
#include "view/maptransport.h"
#include "view/mapwidget.h"
#include "view/pointformat.h"
#include "view/pointlist.h"
#include "view/profilechart.h"
#include "view/statisticstable.h"
#include "view/trackcolours.h"

#include <QCategoryAxis>
#include <QLineSeries>
#include <QtTest>
#include <QtWidgets>

using namespace PointFormat;

namespace {
const quint32 Start = 1239428700; // 2009-04-11 05:45:00 UTC, 13:45:00 eight hours ahead

// The view's points all lie on 8.5 E at 400.5 m.
TrackPoint listPoint(double lat, quint32 time, quint32 speed, int marked = 0)
{
    return ::point(lat, 8.5, 400.5, time, speed, marked);
}

QVector<Track> threeTracks()
{
    Track a{Start,
            2,
            {listPoint(1.0, Start, 1000), listPoint(1.1, Start + 5, 1010),
             listPoint(1.2, Start + 10, 0)}};
    Track b{Start + 3600, 2, {}};
    for (int i = 0; i < 12; ++i)
        b.points.append(
            listPoint(2.0 + i / 100.0, Start + 3600 + 5 * i, quint32(100 * i), i == 5 || i == 9));
    Track c{Start + 7200, 1, {listPoint(3.0, Start + 7200, 5), listPoint(3.1, Start + 7205, 0, 1)}};
    return {a, b, c};
}
} // namespace

class TestView : public QObject
{
    Q_OBJECT
public:
    static void initMain()
    {
        prepareGuiTest();
        qputenv("TZ", "XST-8");
    }

private:
    QVector<Track> tracks;
    FixedDisplayUnits settings{SpeedUnit::Kmh, HeightUnit::Metres, TimeShown::Local};
    MapWidget *widget = nullptr;

    QString page(const QString &expression) { return pageState(widget, expression); }
    // The tracks shown, their marks' texts, and whether the map holds them all.
    QString shown()
    {
        return page("(function () { var on = [], texts = markLayer.marks.map(function (m) { "
                    "return m.text; }); polylinesArray.forEach(function (l, n) { "
                    "if (map.hasLayer(l)) on.push(n); }); var b = null; on.forEach(function (n) "
                    "{ b = b ? b.extend(polylinesArray[n].getBounds()) : "
                    "L.latLngBounds(polylinesArray[n].getBounds().getSouthWest(), "
                    "polylinesArray[n].getBounds().getNorthEast()); }); return [on.join(' '), "
                    "texts.join(', '), b ? map.getBounds().contains(b) : '-'].join('|'); })()");
    }
    QString center() { return page("map.getCenter().lat.toFixed(4) + ' ' + map.getZoom()"); }
    QString pointMarker()
    {
        return page("markerPoint && map.hasLayer(markerPoint) ? [markerPoint.getLatLng().lat, "
                    "markerPoint.options.title].join(' ') : 'none'");
    }

    QTreeWidget *tree() const
    {
        return widget->findChild<QTreeWidget *>(QStringLiteral("treeWidget"));
    }
    QTreeView *list() const
    {
        return widget->findChild<QTreeView *>(QStringLiteral("treeWidget_2"));
    }
    PointList *points() const { return widget->findChild<PointList *>(); }

    void doubleClickTrack(int row)
    {
        QTreeWidgetItem *item = tree()->topLevelItem(0)->child(row);
        tree()->setCurrentItem(item);
        widget->TreeWidgetItemDoubleClicked(item, 0);
    }

    // A row of the point list as shown; row -1 gives the headers.
    QStringList row(int r) const
    {
        QStringList texts;
        QAbstractItemModel *m = list()->model();
        for (int c = 0; c < m->columnCount(); ++c)
            texts << (r < 0 ? m->headerData(c, Qt::Horizontal) : m->index(r, c).data()).toString();
        return texts;
    }

    QStringList column(int c) const
    {
        QStringList texts;
        QAbstractItemModel *m = list()->model();
        for (int r = 0; r < m->rowCount(); ++r)
            texts << m->index(r, c).data().toString();
        return texts;
    }

private slots:
    void init()
    {
        tracks = threeTracks();
        settings = FixedDisplayUnits(SpeedUnit::Kmh, HeightUnit::Metres, TimeShown::Local);
        widget = new MapWidget(&tracks, &settings);
        widget->rebuildTrackViews();
    }

    void cleanup() { delete widget; }

    void texts_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<QString>("expected");
        QTest::newRow("51.4778 N") << formatDegrees(51.4778f, 1) << "51°28'40.0745\" N";
        QTest::newRow("7.1234 E") << formatDegrees(7.1234f, 2) << "7°7'24.2408\" E";
        QTest::newRow("-33.5 S") << formatDegrees(-33.5f, 1) << "33°30'0.0000\" S";
        QTest::newRow("-0.25 W") << formatDegrees(-0.25f, 2) << "0°15'0.0000\" W";
        QTest::newRow("equator is N") << formatDegrees(0.0f, 1) << "0°0'0.0000\" N";
        QTest::newRow("meridian is E") << formatDegrees(0.0f, 2) << "0°0'0.0000\" E";
        // Single precision: 7.4103, not the exact value's 7.4040.
        QTest::newRow("single precision") << formatDegrees(47.60205666f, 1) << "47°36'7.4103\" N";
        QTest::newRow("km/h") << speedText(1234, SpeedUnit::Kmh) << "12.34 km/hr";
        QTest::newRow("mph") << speedText(1234, SpeedUnit::Mph) << "7.67 mi/hr";
        QTest::newRow("largest speed")
            << speedText(0xFFFFFFFFu, SpeedUnit::Kmh) << "42949672.95 km/hr";
        QTest::newRow("metres") << altitudeText(123.4567, HeightUnit::Metres) << "123.46 m";
        QTest::newRow("feet") << altitudeText(123.4567, HeightUnit::Feet) << "405.04 feet";
        // Exact binary ties go to the even digit, as printf has them.
        QTest::newRow("tie, metres") << altitudeText(100.125, HeightUnit::Metres) << "100.12 m";
        QTest::newRow("tie, negative") << altitudeText(-0.375, HeightUnit::Metres) << "-0.38 m";
        QTest::newRow("NaN is no position") << formatDegrees(std::nanf(""), 1) << "";
        QTest::newRow("track label")
            << trackLabel(Start, 0, TimeShown::Local) << "1.2009-04-11 - 13:45:00";
        QTest::newRow("track label, UTC")
            << trackLabel(Start, 1, TimeShown::Utc) << "2.2009-04-11 - 05:45:00";
        QTest::newRow("track label, no times") << trackLabel(0, 2, TimeShown::Utc) << "3.no time";
        QTest::newRow("point label, UTC")
            << pointLabel(4, Start, TimeShown::Utc) << "5.2009-04-11 - 05:45:00";
        QTest::newRow("mark label")
            << markLabel(1, Start, TimeShown::Local, 3) << "2.2009-04-11 - 13:45:00 #3";
        QTest::newRow("mark labels made together")
            << markLabels(1, {Start, Start - 86399}, TimeShown::Local).join('|') +
                   markLabels(0, {Start}, TimeShown::Utc).join('|')
            << markLabel(1, Start, TimeShown::Local, 0) + '|' +
                   markLabel(1, Start - 86399, TimeShown::Local, 1) +
                   markLabel(0, Start, TimeShown::Utc, 0);
    }

    void texts()
    {
        QFETCH(QString, text);
        QFETCH(QString, expected);
        QCOMPARE(text, expected);
    }

    void rebuildAndChecks()
    {
        QTreeWidgetItem *root = tree()->topLevelItem(0);
        QCOMPARE(root->text(0), QStringLiteral("LX-300 Data Logger"));
        QCOMPARE(root->child(0)->text(0), QStringLiteral("1.2009-04-11 - 13:45:00"));
        for (int i = 0; i < 3; ++i) // each track's line colour beside it
            QCOMPARE(root->child(i)->icon(0).pixmap(32, 16).toImage().pixelColor(8, 8),
                     TrackColours::of(i));
        widget->resize(1000, 800);
        widget->show(); // the map has a size to fit to
        QVERIFY(QTest::qWaitForWindowExposed(widget));
        // Every track on the page, none shown.
        QCOMPARE(page("polylinesArray.map(function (l) { return l.getLatLngs().length + ' ' + "
                      "l.options.color; }).join(' ') + '|' + markLayer.marks.length"),
                 QStringLiteral("3 %1 12 %2 2 %3|0")
                     .arg(TrackColours::names()[0], TrackColours::names()[1],
                          TrackColours::names()[2])); // the tree's colours

        // A track ticked where none was shown: shown with its marks (numbered in time order)
        // and brought into view.
        root->child(1)->setCheckState(0, Qt::Checked);
        QCOMPARE(shown(), QStringLiteral("1|2.2009-04-11 - 14:45:25 #1, "
                                         "2.2009-04-11 - 14:45:45 #2|true"));
        QCOMPARE(root->checkState(0), Qt::PartiallyChecked);
        QCOMPARE(widget->checkedTrackIndexes(), QList<int>{1});
        // More tracks keep the view the user has.
        const QString view = center();
        root->child(0)->setCheckState(0, Qt::Checked);
        root->child(2)->setCheckState(0, Qt::Checked);
        QCOMPARE(root->checkState(0), Qt::Checked);
        QCOMPARE(center(), view);
        QCOMPARE(shown().section('|', 0, 0), QStringLiteral("0 1 2"));
        root->setCheckState(0, Qt::Unchecked);
        QCOMPARE(widget->checkedTrackIndexes(), QList<int>{});
        QCOMPARE(shown(), QStringLiteral("||-"));

        // The root ticks all three at once: every mark shown, all brought into view.
        int marks = 0;
        for (const Track &t : tracks)
            for (const TrackPoint &p : t.points)
                marks += p.marked != 0;
        root->setCheckState(0, Qt::Checked);
        const QString all = shown();
        QCOMPARE(all.section('|', 0, 0) + '|' + all.section('|', 2), QStringLiteral("0 1 2|true"));
        QCOMPARE(all.section('|', 1, 1).count('#'), marks);
        root->setCheckState(0, Qt::Unchecked);

        // Double-clicking the root lists the first track and ticks all, at its own zoom.
        tree()->setCurrentItem(root);
        widget->TreeWidgetItemDoubleClicked(root, 0);
        QCOMPARE(points()->listedPoints().size(), 3);
        QCOMPARE(center(), QStringLiteral("1.0000 16"));
        QCOMPARE(widget->checkedTrackIndexes(), (QList<int>{0, 1, 2}));
        widget->rebuildPointList(); // the filter in force, as a unit change: all points
        QCOMPARE(points()->listedPoints().size(), 3);
    }

    void pointList()
    {
        doubleClickTrack(1);
        QCOMPARE(row(-1), (QStringList{"Record Number", "Date", "Time", "Latitude", "Longitude",
                                       "Altitude", "Speed"}));
        QCOMPARE(column(0).mid(4, 3), (QStringList{"5", "6*", "7"}));
        QCOMPARE(row(3), (QStringList{"4", "2009-04-11", "14:45:15", "2°1'47.9999\" N",
                                      "8°30'0.0000\" E", "400.50 m", "3.00 km/hr"}));
        points()->goToRow(list()->model()->index(4, 0));
        QCOMPARE(points()->playbackStart(), 4);
        QCOMPARE(pointMarker(), QStringLiteral("2.04 5.2009-04-11 - 14:45:20"));
        QCOMPARE(center().section(' ', 0, 0), QStringLiteral("2.0400"));
        doubleClickTrack(2); // log format 1: no altitude column, no altitude axis left over
        const auto *altitudeAxis =
            widget->findChild<ProfileChart *>()->chart()->axes(Qt::Vertical).value(1);
        QVERIFY(altitudeAxis && !altitudeAxis->labelsVisible() && !altitudeAxis->isVisible());
        QCOMPARE(row(-1) + row(1),
                 (QStringList{"Record Number", "Date", "Time", "Latitude", "Longitude", "Speed",
                              "2*", "2009-04-11", "15:45:05", "3°5'59.9997\" N", "8°30'0.0000\" E",
                              "0.00 km/hr"}));
        widget->rebuildTrackViews(); // empties the list and the playback start
        QCOMPARE(list()->model()->rowCount(), 0);
        QCOMPARE(points()->playbackStart(), 0);
    }

    void rules_data()
    {
        QTest::addColumn<int>("rule"); // PointFilter::Rule
        QTest::addColumn<double>("typed");
        QTest::addColumn<bool>("mph");
        QTest::addColumn<QVector<quint32>>("speeds"); // the track's 1000, 1010, 0 kept
        QTest::newRow("> 10") << 1 << 10.0 << false << QVector<quint32>{1010};
        QTest::newRow(">= 10") << 2 << 10.0 << false << QVector<quint32>{1000, 1010};
        QTest::newRow("= 10") << 3 << 10.0 << false << QVector<quint32>{1000};
        QTest::newRow("< 10") << 4 << 10.0 << false << QVector<quint32>{0};
        QTest::newRow("<= 10") << 5 << 10.0 << false << QVector<quint32>{1000, 0};
        // The value the list shows is the value that matches: compared in the logger's steps.
        QTest::newRow("= 10.1 keeps 10.10") << 3 << 10.1 << false << QVector<quint32>{1010};
        QTest::newRow(">= 10.1 keeps 10.10") << 2 << 10.1 << false << QVector<quint32>{1010};
        QTest::newRow("mph: = 6.28 is 10.11 km/h") << 3 << 6.28 << true << QVector<quint32>{};
        QTest::newRow("mph: > 6.2 keeps 10.10") << 1 << 6.25 << true << QVector<quint32>{1010};
        QTest::newRow("marks") << 6 << 0.0 << false << QVector<quint32>{};
        QTest::newRow("all") << 0 << 99.0 << false << QVector<quint32>{1000, 1010, 0};
    }

    void rules()
    {
        QFETCH(int, rule);
        QFETCH(double, typed);
        QFETCH(bool, mph);
        QFETCH(QVector<quint32>, speeds);
        doubleClickTrack(0);
        PointFilter f;
        f.rule = PointFilter::Rule(rule);
        f.speed = *PointFilter::storedSpeed(typed, mph ? SpeedUnit::Mph : SpeedUnit::Kmh);
        widget->rebuildPointList(f);
        QVector<quint32> kept;
        for (const TrackPoint &p : points()->listedPoints())
            kept << p.speed;
        QCOMPARE(kept, speeds);
        QCOMPARE(list()->model()->rowCount(), speeds.size());
    }

    void batchesKeepOrder()
    {
        // Calls wait for the page, keep their order, and a track of many points goes at once.
        GoogleMapOperator op;
        MapTransport transport(&op);
        QList<QJsonArray> batches;
        connect(&transport, &MapTransport::calls, this, [&](QJsonArray b) { batches << b; });
        op.clearTracks();
        QTest::qWait(20);
        QVERIFY(batches.isEmpty()); // held until the page listens
        transport.pageReady();
        Track big{Start, 2, QVector<TrackPoint>(120000, listPoint(1.0, Start, 0))};
        big.points[7].flags |= TrackPoint::SegmentStart;
        op.setTrack(0, big, Qt::red);
        QCOMPARE(batches.size(), 3); // full pieces sent without waiting for the event loop
        op.showTrack(0);
        QTRY_COMPARE(batches.size(), 4);
        QStringList names;
        int bytes = 0;
        for (const QJsonArray &batch : qAsConst(batches))
            for (const QJsonValue &value : batch) {
                const QJsonArray call = value.toArray();
                names << call.first().toString();
                if (call.first().toString().endsWith("Track") && call.size() > 2)
                    bytes += int(QByteArray::fromBase64(call[2].toString().toLatin1()).size());
            }
        QCOMPARE(names, (QStringList{"clearTracks", "setTrack", "extendTrack", "extendTrack",
                                     "showTrack"}));
        QCOMPARE(bytes, 120000 * 16);
        const QJsonArray track = batches[1].first().toArray();
        QCOMPARE(track[3].toArray(), QJsonArray{7});
        QCOMPARE(track[4].toString(), QStringLiteral("#ff0000"));
    }

    // The graph follows the list (filter, units, time, axis) and the two point at each other.
    void profileLinks()
    {
        doubleClickTrack(1); // 12 points, 5 s apart, speeds 0 to 11 km/h
        ProfileChart *chart = widget->findChild<ProfileChart *>();
        const auto selectedRow = [this] {
            return list()->selectionModel()->selectedRows().value(0).row();
        };
        // Local time is eight hours ahead; for UTC the axis values move back by as much.
        QCOMPARE(
            (QList<double>{double(chart->speedSeries()->count()), chart->speedSeries()->at(11).y(),
                           chart->altitudeSeries()->at(0).y(), chart->axisXOfRow(0)}),
            (QList<double>{12, 11, 400.5, double(Start + 3600) * 1000}));

        // A click on the graph near row 7 shows it on the map and selects it.
        widget->resize(1000, 800);
        widget->show();
        QVERIFY(QTest::qWaitForWindowExposed(widget));
        const QPointF at = chart->chart()->mapToPosition(QPointF(chart->axisXOfRow(7) + 1000, 3.0),
                                                         chart->speedSeries());
        QTest::mouseClick(chart->viewport(), Qt::LeftButton, {},
                          chart->mapFromScene(chart->chart()->mapToScene(at)));
        QCOMPARE(pointMarker(), QStringLiteral("2.07 8.2009-04-11 - 14:45:35"));
        QCOMPARE(selectedRow() * 10 + points()->playbackStart(), 77);
        QCOMPARE(chart->cursorSeries()->at(0).x(), chart->axisXOfRow(7));
        // Passing over the graph moves the marker and the row, not the map or the playback start.
        const QPointF over =
            chart->chart()->mapToPosition(QPointF(chart->axisXOfRow(2), 3.0), chart->speedSeries());
        QTest::mouseMove(chart->viewport(), chart->mapFromScene(chart->chart()->mapToScene(over)));
        QTRY_COMPARE(pointMarker(), QStringLiteral("2.02 3.2009-04-11 - 14:45:10"));
        QCOMPARE(selectedRow() * 10 + points()->playbackStart(), 27);
        // A row chosen in the list moves the cursor.
        list()->selectionModel()->select(list()->model()->index(3, 0),
                                         QItemSelectionModel::ClearAndSelect |
                                             QItemSelectionModel::Rows);
        QCOMPARE(chart->cursorSeries()->at(1).x(), chart->axisXOfRow(3));

        // The filter, the units and the time reach the list and the graph.
        widget->rebuildPointList(PointFilter{PointFilter::Rule::Marks, 0}); // the two marks
        settings.speed = SpeedUnit::Mph;
        settings.height = HeightUnit::Feet;
        settings.time = TimeShown::Utc;
        const QString view = center();
        widget->rebuildPointList(); // a unit change keeps the filter, and the map's view
        QCOMPARE(center(), view);
        QCOMPARE(column(0), (QStringList{"6*", "10*"})); // each point keeps its own number
        tree()->setCurrentItem(tree()->topLevelItem(0)->child(0)); // not the listed track
        widget->rebuildPointList();
        QCOMPARE(column(0), (QStringList{"6*", "10*"})); // the listed track is listed again
        QCOMPARE(row(0).mid(2), (QStringList{"06:45:25", "2°2'59.9998\" N", "8°30'0.0000\" E",
                                             "1313.98 feet", "3.11 mi/hr"}));
        QCOMPARE(tree()->topLevelItem(0)->child(0)->text(0),
                 QStringLiteral("1.2009-04-11 - 05:45:00")); // track labels follow the time
        QCOMPARE(chart->speedSeries()->name(), QStringLiteral("Speed (mph)"));
        QCOMPARE((QList<double>{chart->speedSeries()->at(0).y(), chart->altitudeSeries()->at(0).y(),
                                chart->axisXOfRow(0)}),
                 (QList<double>{5.0 / 1.609344, 400.5 * 3.28084,
                                double(Start + 3600 + 25) * 1000 - 8 * 3600e3}));
        // Against distance: miles from the first listed point.
        widget->findChild<QComboBox *>(QStringLiteral("profileAxis"))->setCurrentIndex(1);
        QVERIFY(chart->againstDistance());
        QCOMPARE(chart->axisXOfRow(0), 0.0);
        QVERIFY(qAbs(chart->axisXOfRow(1) - 0.04 * 110574.4 / 1609.344) < 1e-3);
        QCOMPARE(chart->rowAt(100.0), 1);
    }

    // The time and distance labels fit the graph, none cut off at the right end; a track
    // without times says so instead of drawing empty axes.
    void profileAxes_data()
    {
        QTest::addColumn<int>("hours"); // the track's span; 0: no times
        QTest::addColumn<double>("km"); // its length, east along the equator
        QTest::addColumn<bool>("distance");
        QTest::addColumn<int>("width");
        QTest::addColumn<int>("labels"); // at least
        QTest::newRow("55 hours, narrow") << 55 << 50.0 << false << 240 << 2;
        QTest::newRow("6010 km, no altitude axis") << 2 << 6010.0 << true << 420 << 3;
        QTest::newRow("no times, against time") << 0 << 10.0 << false << 300 << 0;
        QTest::newRow("no times, against distance") << 0 << 10.0 << true << 300 << 0;
    }

    void profileAxes()
    {
        QFETCH(int, hours);
        QFETCH(double, km);
        QFETCH(bool, distance);
        QFETCH(int, width);
        QFETCH(int, labels);
        QVector<TrackPoint> points(100);
        for (int i = 0; i < points.size(); ++i) {
            points[i].position = {0, km / 111.319491 * i / 99, 0};
            points[i].time = Start + quint32(hours * 3600 * i / 99);
            points[i].speed = 1000;
            points[i].flags =
                TrackPoint::NoAltitude | (hours ? 0 : TrackPoint::NoTime | TrackPoint::NoSpeed);
        }
        ProfileChart chart(&settings);
        chart.resize(width, 200);
        chart.show();
        QVERIFY(QTest::qWaitForWindowExposed(&chart));
        chart.setAgainstDistance(distance);
        chart.setPoints(points, 1);
        QTest::qWait(50); // laid out
        auto *axis = qobject_cast<QCategoryAxis *>(chart.chart()->axes(Qt::Horizontal)[0]);
        const QStringList texts = axis->categoriesLabels();
        QVERIFY2(texts.size() >= labels, qPrintable(texts.join('|')));
        const QFontMetricsF metrics(axis->labelsFont());
        for (const QString &t : texts) {
            const double x =
                chart.chart()->mapToPosition({axis->endValue(t), 0}, chart.speedSeries()).x();
            QVERIFY2(x + metrics.horizontalAdvance(t) / 2 <= chart.chart()->size().width(),
                     qPrintable(t));
        }
        QCOMPARE(chart.emptyText(), labels ? QString() : QStringLiteral("This track has no times"));
    }

    // The tree's figures and the statistics table follow the ticks and the units.
    void statistics()
    {
        QTreeWidgetItem *root = tree()->topLevelItem(0);
        QCOMPARE(root->child(1)->text(2), QStringLiteral("0:00:55"));
        root->child(0)->setCheckState(0, Qt::Checked);
        root->child(2)->setCheckState(0, Qt::Checked);
        StatisticsTable *table = widget->statisticsTable();
        QCOMPARE(table->rowCount(), 0); // not worked out while hidden
        table->show();
        widget->refreshStatistics(true);
        QCOMPARE(table->rowCount(), 3); // two tracks and their total; log format 1: no altitude
        QCOMPARE((QStringList{table->item(2, 0)->text(), table->item(2, 1)->text(),
                              table->item(1, 11)->text(), table->item(2, 10)->text()}),
                 (QStringList{"Total", "5", "-", "10.1 km/h"}));
        settings.speed = SpeedUnit::Mph;
        widget->rebuildPointList(); // as a unit change does
        QCOMPARE(table->item(2, 10)->text() + ' ' + root->child(2)->text(1),
                 QStringLiteral("6.3 mph 6.87 mi"));
        QCOMPARE(table->columnCount(), 15);

        // Another device's heart rate on two points of the first track (and a temperature on
        // one): columns of their own in the list and the table, empty or "-" where none.
        tracks[0].points[0].heartRate = 120;
        tracks[0].points[2].heartRate = 131;
        tracks[0].points[2].temperature = -4;
        widget->rebuildTrackViews();
        root = tree()->topLevelItem(0);
        root->child(0)->setCheckState(0, Qt::Checked);
        root->child(2)->setCheckState(0, Qt::Checked);
        widget->refreshStatistics(true);
        QStringList figures;
        for (int c = 15; c < table->columnCount(); ++c)
            figures << table->horizontalHeaderItem(c)->text().replace('\n', ' ')
                    << table->item(0, c)->text() << table->item(1, c)->text();
        QCOMPARE(figures, (QStringList{"Average heart rate", "126 bpm", "-", "Maximum heart rate",
                                       "131 bpm", "-", "Average temperature", "-4 °C", "-",
                                       "Maximum temperature", "-4 °C", "-"}));
        doubleClickTrack(0);
        QCOMPARE(row(-1).mid(7) + row(1).mid(7) + row(2).mid(7),
                 (QStringList{"Heart rate (bpm)", "Temperature (°C)", "", "", "131", "-4"}));
        // The profile draws it as a line of its own; a track without any has none.
        // The profile draws one of them at a time, chosen beside the axis box; a track without
        // any has neither line nor box.
        const ProfileChart *profile = widget->findChild<ProfileChart *>();
        const QLineSeries *line = profile->sensorSeries();
        QComboBox *box = profile->sensorBox();
        QCOMPARE(box->count(), 2);
        QCOMPARE(line->count(), 2);
        QCOMPARE(line->at(1).y(), 131.0);
        box->setCurrentIndex(1); // the temperature
        QCOMPARE(line->name() + ' ' + QString::number(line->count()),
                 QStringLiteral("Temperature (°C) 1"));
        doubleClickTrack(1);
        QVERIFY(!line->isVisible() && line->count() == 0 && box->count() == 0);
        table->hide();
    }
};

QTEST_MAIN(TestView)
#include "tst_view.moc"
