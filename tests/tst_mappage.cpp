#include "app/mainwindow.h"
#include "formats/exportsettings.h"
#include "testsettings.h"
#include "view/googlemapoperator.h"
#include "view/googlemappage.h"
#include "view/mapwidget.h"

#include <QTcpServer>
#include <QTcpSocket>
#include <QTreeWidget>
#include <QWebEnginePage>
#include <QWebEngineProfile>
#include <QWebEngineView>
#include <QtTest>

#include <memory>

using Actions = std::function<void(GoogleMapOperator *)>;
Q_DECLARE_METATYPE(Actions)

// The map page in a real web engine, without network: what the operator's signals leave on
// the page, read back with script.
class TestMapPage : public QObject
{
    Q_OBJECT
public:
    static void initMain() { prepareGuiTest(); }

private slots:
    void initTestCase();
    void cleanupTestCase() { delete widget; }
    void page_data();
    void page();
    void requestsCarryTheUserAgent();
    void reloadStartsEmpty();
    void trackFileOpenedAtStart();

private:
    QString js(const QString &script, QWebEnginePage *on = nullptr);
    bool waitForPage();
    QVector<Track> tracks;
    FixedExportSettings settings;
    MapWidget *widget = nullptr;
};

QString TestMapPage::js(const QString &script, QWebEnginePage *on)
{
    // The signals reach the page batched once control returns to the event loop.
    QTest::qWait(50);
    // Shared, so a callback that comes after we stopped waiting writes nowhere harmful.
    auto result = std::make_shared<QVariant>();
    auto done = std::make_shared<bool>(false);
    (on ? on : widget->webView()->page())->runJavaScript(script, [result, done](const QVariant &v) {
        *result = v;
        *done = true;
    });
    for (int i = 0; i < 2000 && !*done; ++i)
        QTest::qWait(5);
    return result->toString();
}

bool TestMapPage::waitForPage()
{
    for (int i = 0; i < 300; ++i)
        if (js(QStringLiteral("String(typeof channelReady !== 'undefined' && channelReady)")) ==
            "true")
            return true;
    return false;
}

void TestMapPage::initTestCase()
{
    widget = new MapWidget(&tracks, &settings);
    widget->resize(900, 600);
    widget->show();
    QVERIFY(waitForPage());
}

void TestMapPage::page_data()
{
    QTest::addColumn<Actions>("actions");
    QTest::addColumn<QString>("script"); // evaluates to a string
    QTest::addColumn<QString>("expected");
    QTest::newRow("initial view, attribution, user agent")
        << Actions([](GoogleMapOperator *) {})
        << "[map.getZoom(), map.options.center.join(','), Math.abs(map.getCenter().lat - "
           "46.686733) < 0.1, document.querySelector('.leaflet-control-attribution')"
           ".textContent.includes('OpenStreetMap'), navigator.userAgent].join('|')"
        << QStringLiteral("4|46.686733,2.212465|true|true|") + GoogleMapPage::UserAgent;
    QTest::newRow("lines hidden until shown, kept when cleared")
        << Actions([](GoogleMapOperator *op) {
               emit op->addPolyline();
               emit op->addLatLng(47.0, 8.0, 0);
               emit op->addLatLng(47.1, 8.1, 0);
               emit op->showPolyline(42); // no such line: the rest goes on
               emit op->addPolyline();
               emit op->addLatLng(46.0, 7.0, 1);
               emit op->showPolyline(0);
               emit op->showPolyline(1);
               emit op->clearPolyline(1);
           })
        << "polylinesArray.map(function (l) { return l.getLatLngs().length + ':' + "
           "map.hasLayer(l); }).join(' ')"
        << "2:true 1:false";
    QTest::newRow("deletePolylines") << Actions([](GoogleMapOperator *op) {
        emit op->addPolyline();
        emit op->deletePolylines();
    }) << "String(polylinesArray.length)"
                                     << "0";
    // Colours follow creation order and never restart: after 7 lines the cycle is back at red.
    QTest::newRow("colour cycle")
        << Actions([](GoogleMapOperator *op) {
               for (int i = 0; i < 9; ++i)
                   emit op->addPolyline();
           })
        << "polylinesArray.slice(-9).map(function (l) { return l.options.color; }).join(' ') + ' ' "
           "+ polylinesArray[0].options.weight"
        << "";
    QTest::newRow("markers shown, titled, popup on click, deleted")
        << Actions([](GoogleMapOperator *op) {
               emit op->deleteMarked();
               emit op->addMarker(47.0, 8.0, QStringLiteral("2.2009-04-12 - 08:00:05 #0"));
               emit op->addMarker(47.1, 8.1, QStringLiteral("2.2009-04-12 - 08:00:00 #1"));
               emit op->showMarked();
           })
        << "(function () { var shown = markersArray.filter(function (m) { return "
           "map.hasLayer(m); }).length; markersArray[1].fire('click'); return shown + '|' + "
           "markersArray[0].options.title + '|' + document.querySelector("
           "'.leaflet-popup-content').textContent; })()"
        << "2|2.2009-04-12 - 08:00:05 #0|2.2009-04-12 - 08:00:00 #1";
    QTest::newRow("deleteMarked") << Actions([](GoogleMapOperator *op) {
        emit op->addMarker(47.0, 8.0, QStringLiteral("x"));
        emit op->showMarked();
        emit op->deleteMarked();
    })
                                  << "String(markersArray.length + document.querySelectorAll("
                                     "'.leaflet-marker-icon:not(.point-dot)').length)"
                                  << "0";
    QTest::newRow("setCenter zooms to 16, viewPoint keeps the zoom, one point marker")
        << Actions([](GoogleMapOperator *op) {
               emit op->setCenter(47.5, 8.5);
               emit op->viewPoint(47.6, 8.6, QStringLiteral("1.first"));
               emit op->viewPoint(47.7, 8.7, QStringLiteral("2.second"));
           })
        << "[map.getZoom(), markerPoint.getLatLng().lat, markerPoint.options.title, "
           "document.querySelectorAll('.point-dot').length, map.getCenter().lat.toFixed(4)]"
           ".join('|')"
        << "16|47.7|2.second|1|47.7000";
    QTest::newRow("fitTracks fits the lines shown") << Actions([](GoogleMapOperator *op) {
        emit op->addPolyline();
        emit op->addLatLng(47.30, 8.50, 0);
        emit op->addLatLng(47.32, 8.56, 0);
        emit op->showPolyline(0);
        emit op->fitTracks();
    }) << "[map.getZoom() > 10, map.getBounds().contains(polylinesArray[0].getBounds())].join('|')"
                                                    << "true|true";
    QTest::newRow("deleteAllObject") << Actions([](GoogleMapOperator *op) {
        emit op->addPolyline();
        emit op->viewPoint(47.6, 8.6, QStringLiteral("x"));
        emit op->deleteAllObject();
    }) << "String(polylinesArray.length + document.querySelectorAll('.point-dot').length)"
                                     << "0";
}

void TestMapPage::page()
{
    QFETCH(Actions, actions);
    QFETCH(QString, script);
    QFETCH(QString, expected);
    emit widget->mapOperator()->deleteAllObject();
    const int before = js(QStringLiteral("String(nPolylines)")).toInt();
    actions(widget->mapOperator());
    if (expected.isEmpty()) { // the colour cycle, from wherever it stands
        const QStringList cycle{"#ff0000", "#00ff00", "#0000ff", "#00ffff",
                                "#ffff00", "#a020f0", "#ffc0cb"};
        for (int i = 0; i < 9; ++i)
            expected += cycle[(before + i) % 7] + ' ';
        expected += '6';
    }
    QCOMPARE(js(script), expected);
}

void TestMapPage::requestsCarryTheUserAgent()
{
    QVERIFY(!widget->webView()->page()->profile()->isOffTheRecord()); // tiles cached on disk
    QTcpServer server;
    QVERIFY(server.listen(QHostAddress::LocalHost));
    QByteArray request;
    connect(&server, &QTcpServer::newConnection, this, [&] {
        QTcpSocket *socket = server.nextPendingConnection();
        connect(socket, &QTcpSocket::readyRead, this, [&request, socket] {
            request += socket->readAll();
            if (request.contains("\r\n\r\n")) {
                socket->write("HTTP/1.1 204 No Content\r\nContent-Length: 0\r\n\r\n");
                socket->disconnectFromHost();
            }
        });
    });
    js(QStringLiteral("fetch('http://127.0.0.1:%1/tile.png').catch(function () {}); ''")
           .arg(server.serverPort()));
    QTRY_VERIFY_WITH_TIMEOUT(request.contains("\r\n\r\n"), 10000);
    QVERIFY2(request.contains(QByteArray("User-Agent: ") + GoogleMapPage::UserAgent),
             request.constData());
    QVERIFY(MapRequestInterceptor::needsReferer(QUrl("https://tile.openstreetmap.org/4/8/5.png")));
    QVERIFY(!MapRequestInterceptor::needsReferer(QUrl("http://127.0.0.1/tile.png")));
}

void TestMapPage::reloadStartsEmpty()
{
    emit widget->mapOperator()->addPolyline();
    QCOMPARE(js(QStringLiteral("String(polylinesArray.length)")), QStringLiteral("1"));
    widget->webView()->reload();
    QTest::qWait(200);
    QVERIFY(waitForPage());
    QCOMPARE(js(QStringLiteral("String(polylinesArray.length)")), QStringLiteral("0"));
    emit widget->mapOperator()->addPolyline(); // the objects are there again for the new page
    QCOMPARE(js(QStringLiteral("String(polylinesArray.length)")), QStringLiteral("1"));
}

// As the program starts with a track file: opened before the page has loaded, ticked at once.
void TestMapPage::trackFileOpenedAtStart()
{
    delete widget; // one map page at a time: they share the profile's storage
    widget = nullptr;
    MainWindow window;
    window.show();
    QVERIFY(window.openFile(QStringLiteral(LX300_SAMPLE)));
    auto *map = window.findChild<MapWidget *>();
    map->trackTree()->topLevelItem(0)->child(1)->setCheckState(0, Qt::Checked);
    QString lines;
    for (int i = 0; i < 200 && lines.isEmpty(); ++i)
        lines = js(QStringLiteral("typeof channelReady !== 'undefined' && channelReady ? "
                                  "polylinesArray.map(function (l) { return l.getLatLngs().length "
                                  "+ ':' + map.hasLayer(l); }).join(' ') : ''"),
                   map->webView()->page());
    QCOMPARE(lines, QStringLiteral("400:false 400:true 400:false"));
}

QTEST_MAIN(TestMapPage)
#include "tst_mappage.moc"
