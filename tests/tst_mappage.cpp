#include "formats/exportsettings.h"
#include "testsettings.h"
#include "view/googlemapoperator.h"
#include "view/googlemappage.h"
#include "view/mapwidget.h"

#include <QTcpServer>
#include <QTcpSocket>
#include <QWebEnginePage>
#include <QWebEngineProfile>
#include <QWebEngineView>
#include <QtTest>

// The map page in a real web engine, without network: what the operator's
// signals leave on the page, read back with script.
class TestMapPage : public QObject
{
    Q_OBJECT

public:
    static void initMain() { prepareGuiTest(); }

private slots:
    void initTestCase();
    void cleanupTestCase();
    void init();
    void userAgent();
    void requestsCarryTheUserAgent();
    void startsWithTheInitialView();
    void linesAreHiddenUntilShown();
    void colourCycleContinuesAfterADelete();
    void markers();
    void viewPointKeepsZoomAndSetCenterSets16();
    void aBadLineIndexDoesNotStopTheRest();
    void reloadStartsEmpty();

private:
    QVariant js(const QString &script);
    bool waitForPage();

    QVector<Track> tracks;
    FixedExportSettings settings;
    MapWidget *widget = nullptr;
    GoogleMapOperator *op = nullptr;
};

QVariant TestMapPage::js(const QString &script)
{
    // The signals reach the page batched once control returns to the event
    // loop; a round of events lets them arrive before the script reads.
    QTest::qWait(50);
    QVariant result;
    bool done = false;
    widget->webView()->page()->runJavaScript(script, [&](const QVariant &v) {
        result = v;
        done = true;
    });
    QElapsedTimer t;
    t.start();
    while (!done && t.elapsed() < 10000)
        QTest::qWait(5);
    return result;
}

bool TestMapPage::waitForPage()
{
    QElapsedTimer t;
    t.start();
    while (t.elapsed() < 30000) {
        if (js(QStringLiteral("typeof channelReady !== 'undefined' && channelReady")).toBool())
            return true;
        QTest::qWait(50);
    }
    return false;
}

void TestMapPage::initTestCase()
{
    widget = new MapWidget(&tracks, &settings);
    widget->resize(900, 600);
    widget->show();
    op = widget->mapOperator();
    QVERIFY(waitForPage());
}

void TestMapPage::cleanupTestCase()
{
    delete widget;
}

void TestMapPage::init()
{
    emit op->deleteAllObject();
}

void TestMapPage::userAgent()
{
    QCOMPARE(widget->webView()->page()->profile()->httpUserAgent(),
             QString::fromLatin1(GoogleMapPage::UserAgent));
    QCOMPARE(js(QStringLiteral("navigator.userAgent")).toString(),
             QString::fromLatin1(GoogleMapPage::UserAgent));
    QVERIFY(!widget->webView()->page()->profile()->isOffTheRecord()); // tiles cached on disk
}

void TestMapPage::requestsCarryTheUserAgent()
{
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
    js(QStringLiteral("fetch('http://127.0.0.1:%1/tile.png').catch(function () {})")
           .arg(server.serverPort()));
    QTRY_VERIFY_WITH_TIMEOUT(request.contains("\r\n\r\n"), 10000);
    QVERIFY2(request.contains(QByteArray("User-Agent: ") + GoogleMapPage::UserAgent),
             request.constData());

    QVERIFY(MapRequestInterceptor::needsReferer(QUrl("https://tile.openstreetmap.org/4/8/5.png")));
    QVERIFY(!MapRequestInterceptor::needsReferer(QUrl("http://127.0.0.1/tile.png")));
}

void TestMapPage::startsWithTheInitialView()
{
    QCOMPARE(js(QStringLiteral("map.getZoom()")).toInt(), 4);
    QCOMPARE(js(QStringLiteral("map.options.center.join(',')")).toString(),
             QStringLiteral("46.686733,2.212465"));
    // Resizing the view since may have moved it by a pixel or so.
    QVERIFY(qAbs(js(QStringLiteral("map.getCenter().lat")).toDouble() - 46.686733) < 0.1);
    QVERIFY(js(QStringLiteral("document.querySelector('.leaflet-control-attribution')"
                              ".textContent"))
                .toString()
                .contains("OpenStreetMap"));
}

void TestMapPage::linesAreHiddenUntilShown()
{
    emit op->addPolyline();
    emit op->addLatLng(47.0, 8.0, 0);
    emit op->addLatLng(47.1, 8.1, 0);
    emit op->addPolyline();
    emit op->addLatLng(46.0, 7.0, 1);
    QCOMPARE(js(QStringLiteral("polylinesArray.length")).toInt(), 2);
    QCOMPARE(js(QStringLiteral("polylinesArray[0].getLatLngs().length")).toInt(), 2);
    QCOMPARE(
        js(QStringLiteral("map.hasLayer(polylinesArray[0]) || map.hasLayer(polylinesArray[1])"))
            .toBool(),
        false);
    emit op->showPolyline(1);
    QCOMPARE(
        js(QStringLiteral("[map.hasLayer(polylinesArray[0]), map.hasLayer(polylinesArray[1])]"))
            .toList(),
        (QVariantList{false, true}));
    emit op->clearPolyline(1);
    QCOMPARE(js(QStringLiteral("map.hasLayer(polylinesArray[1])")).toBool(), false);
    QCOMPARE(js(QStringLiteral("polylinesArray[1].getLatLngs().length")).toInt(), 1); // kept
    emit op->deletePolylines();
    QCOMPARE(js(QStringLiteral("polylinesArray.length")).toInt(), 0);
}

void TestMapPage::colourCycleContinuesAfterADelete()
{
    const int before = js(QStringLiteral("nPolylines")).toInt();
    for (int i = 0; i < 8; ++i)
        emit op->addPolyline();
    const QVariantList colours =
        js(QStringLiteral("polylinesArray.map(function (l) { return l.options.color; })")).toList();
    QCOMPARE(colours.size(), 8);
    const QStringList cycle{"#ff0000", "#00ff00", "#0000ff", "#00ffff",
                            "#ffff00", "#a020f0", "#ffc0cb"};
    for (int i = 0; i < 8; ++i)
        QCOMPARE(colours[i].toString(), cycle[(before + i) % 7]);
    QCOMPARE(js(QStringLiteral("polylinesArray[0].options.weight")).toInt(), 6);
    emit op->deleteAllObject();
    emit op->addPolyline(); // colours follow creation order, never reset
    QCOMPARE(js(QStringLiteral("polylinesArray[0].options.color")).toString(),
             cycle[(before + 8) % 7]);
}

void TestMapPage::markers()
{
    emit op->deleteMarked();
    emit op->addMarker(47.0, 8.0, QStringLiteral("2.2009-04-12 - 08:00:05 #0"));
    emit op->addMarker(47.1, 8.1, QStringLiteral("2.2009-04-12 - 08:00:00 #1"));
    emit op->addMarker(47.2, 8.2, QStringLiteral("2.2009-04-12 - 07:59:55 #2"));
    emit op->showMarked();
    QCOMPARE(
        js(QStringLiteral("markersArray.filter(function (m) { return map.hasLayer(m); }).length"))
            .toInt(),
        3);
    QCOMPARE(js(QStringLiteral("markersArray[0].options.title")).toString(),
             QStringLiteral("2.2009-04-12 - 08:00:05 #0"));
    // Clicking a marker opens its text.
    js(QStringLiteral("markersArray[1].fire('click')"));
    QCOMPARE(js(QStringLiteral("document.querySelector('.leaflet-popup-content').textContent"))
                 .toString(),
             QStringLiteral("2.2009-04-12 - 08:00:00 #1"));
    emit op->deleteMarked();
    QCOMPARE(js(QStringLiteral("markersArray.length + document.querySelectorAll("
                               "'.leaflet-marker-icon:not(.point-dot)').length"))
                 .toInt(),
             0);
}

void TestMapPage::viewPointKeepsZoomAndSetCenterSets16()
{
    emit op->setCenter(47.5, 8.5);
    QCOMPARE(js(QStringLiteral("map.getZoom()")).toInt(), 16);
    js(QStringLiteral("map.setZoom(12, { animate: false })"));
    emit op->viewPoint(47.6, 8.6, QStringLiteral("1.first"));
    emit op->viewPoint(47.7, 8.7, QStringLiteral("2.second"));
    QCOMPARE(js(QStringLiteral("map.getZoom()")).toInt(), 12);
    QCOMPARE(
        js(QStringLiteral("[markerPoint.getLatLng().lat, markerPoint.getLatLng().lng]")).toList(),
        (QVariantList{47.7, 8.7}));
    QCOMPARE(js(QStringLiteral("document.querySelectorAll('.point-dot').length")).toInt(), 1);
    QCOMPARE(js(QStringLiteral("markerPoint.options.title")).toString(),
             QStringLiteral("2.second"));
    QCOMPARE(js(QStringLiteral("map.getCenter().lat.toFixed(4)")).toString(),
             QStringLiteral("47.7000"));
    emit op->deleteAllObject();
    QCOMPARE(js(QStringLiteral("document.querySelectorAll('.point-dot').length")).toInt(), 0);
}

void TestMapPage::aBadLineIndexDoesNotStopTheRest()
{
    emit op->showPolyline(42); // no such line
    emit op->addPolyline();
    QCOMPARE(js(QStringLiteral("polylinesArray.length")).toInt(), 1);
}

void TestMapPage::reloadStartsEmpty()
{
    emit op->addPolyline();
    QCOMPARE(js(QStringLiteral("polylinesArray.length")).toInt(), 1);
    widget->webView()->reload();
    QTest::qWait(200);
    QVERIFY(waitForPage());
    QCOMPARE(js(QStringLiteral("polylinesArray.length")).toInt(), 0);
    emit op->addPolyline(); // the object is there again for the new page
    QCOMPARE(js(QStringLiteral("polylinesArray.length")).toInt(), 1);
}

QTEST_MAIN(TestMapPage)
#include "tst_mappage.moc"
