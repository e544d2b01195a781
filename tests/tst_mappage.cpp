#include "app/geotagdialog.h"
#include "app/mainwindow.h"
#include "app/mapsourcesdialog.h"
#include "formats/fileformats.h"
#include "model/units.h"
#include "testfiles.h"
#include "testpage.h"
#include "testphotos.h"
#include "testsettings.h"
#include "view/googlemapoperator.h"
#include "view/googlemappage.h"
#include "view/mapwidget.h"
#include "view/mbtiles.h"
#include "view/trackcolours.h"

#include <QtNetwork>
#include <QtSql>
#include <QtTest>
#include <QtWebEngineCore>
#include <QtWebEngineWidgets>
#include <QtWidgets>

#include <memory>

// The map page in a real web engine, without network: what the operator's signals leave on
// the page, read back with script.
class TestMapPage : public QObject
{
    Q_OBJECT
public:
    static void initMain() { prepareGuiTest(); }

private:
    QString mbtiles; // made with GDAL: one colour over 8.0-8.8 E, 47.0-47.5 N
    QTemporaryDir dir;
    QVector<Track> tracks;
    FixedDisplayUnits settings;
    MapWidget *widget = nullptr;

    QString js(const QString &script, QWebEnginePage *on = nullptr)
    {
        // The signals reach the page batched once control returns to the event loop.
        QTest::qWait(50);
        // Shared, so a callback that comes after we stopped waiting writes nowhere harmful.
        auto result = std::make_shared<QVariant>();
        auto done = std::make_shared<bool>(false);
        (on ? on : widget->findChild<QWebEngineView *>()->page())
            ->runJavaScript(script, [result, done](const QVariant &v) {
                *result = v;
                *done = true;
            });
        for (int i = 0; i < 2000 && !*done; ++i)
            QTest::qWait(5);
        return result->toString();
    }

    // The page's answer to `expression` once it is ready and the answer starts with `until`.
    QString whenReady(const QString &expression, QWebEnginePage *on = nullptr,
                      const QString &until = QString())
    {
        QString value;
        for (int i = 0; i < 300 && (value.isEmpty() || !value.startsWith(until)); ++i)
            value = js("typeof channelReady !== 'undefined' && channelReady ? String(" +
                           expression + ") : ''",
                       on);
        return value;
    }

    // Share of the map area in this colour, once tiles have drawn.
    double shareOf(QRgb colour)
    {
        double best = 0;
        for (int tries = 0; tries < 100 && best < 0.2; ++tries) {
            QTest::qWait(100);
            const QImage shot = widget->findChild<QWebEngineView *>()->grab().toImage();
            int hits = 0;
            for (int y = 0; y < shot.height(); y += 4)
                for (int x = 0; x < shot.width(); x += 4)
                    hits += qAbs(qRed(shot.pixel(x, y)) - qRed(colour)) < 8 &&
                            qAbs(qGreen(shot.pixel(x, y)) - qGreen(colour)) < 8 &&
                            qAbs(qBlue(shot.pixel(x, y)) - qBlue(colour)) < 8;
            best = qMax(best, hits / double((shot.width() / 4 + 1) * (shot.height() / 4 + 1)));
        }
        return best;
    }

private slots:
    void cleanupTestCase() { delete widget; }

    void initTestCase()
    {
        // A real MBTiles file as GDAL writes one, with its overviews.
        const QString tif = dir.filePath(QStringLiteral("plain.tif"));
        mbtiles = dir.filePath(QStringLiteral("plain.mbtiles"));
        const auto run = [](const QString &program, const QStringList &args) {
            QProcess p;
            p.start(program, args);
            return p.waitForFinished(60000) && p.exitCode() == 0;
        };
        QVERIFY(run("gdal_create",
                    {"-of",       "GTiff",   "-outsize", "256",   "256", "-bands", "3",    "-burn",
                     "200",       "-burn",   "30",       "-burn", "140", "-ot",    "Byte", "-a_srs",
                     "EPSG:4326", "-a_ullr", "8.0",      "47.5",  "8.8", "47.0",   tif}));
        QVERIFY(run("gdal_translate", {"-q", "-of", "MBTILES", tif, mbtiles}));
        QVERIFY(run("gdaladdo", {"-q", mbtiles, "2", "4"}));

        widget = new MapWidget(&tracks, &settings);
        widget->resize(900, 600);
        widget->show();
        QCOMPARE(whenReady("1"), QStringLiteral("1"));
    }

    void page_data()
    {
        QTest::addColumn<QString>("calls");  // a batch as the program sends it
        QTest::addColumn<QString>("script"); // evaluates to a string
        QTest::addColumn<QString>("expected");
        QTest::newRow("initial view, attribution, user agent")
            << ""
            << "[map.getZoom(), map.options.center.join(','), Math.abs(map.getCenter().lat - "
               "46.686733) < 0.1, document.querySelector('.leaflet-control-attribution')"
               ".textContent.includes('OpenStreetMap'), navigator.userAgent].join('|')"
            << QStringLiteral("4|46.686733,2.212465|true|true|") + GoogleMapPage::UserAgent;
        // A call for a track that does not exist changes nothing; the rest goes on.
        QTest::newRow("tracks hidden until shown, kept when hidden")
            << "['setTrack', 0, [47, 8, 47.1, 8.1], [], '#ff0000'], ['showTrack', 42], "
               "['setTrack', 1, [46, 7], [], '#00ff00'], ['showTrack', 0], ['showTrack', 1], "
               "['hideTrack', 1]"
            << "polylinesArray.map(function (l) { return l.getLatLngs().length + ':' + "
               "map.hasLayer(l) + ':' + l.options.color; }).join(' ')"
            << "2:true:#ff0000 1:false:#00ff00";
        // Kept Mercator coordinates give the places Leaflet gives, a replaced track and zoom
        // changes included.
        QTest::newRow("lines placed as Leaflet places them")
            << "['setTrack', 0, [47.1, 8.1, -33.9, 151.2], [], '#ff0000'], ['showTrack', 0], "
               "['setView', 47, 8, 3], ['setTrack', 0, [47.1, 8.1, -33.9, 151.2, 0, 0, "
               "47.123456, 8.654321], [], '#ff0000'], ['showTrack', 0], ['setView', 47.1, 8.6, 15]"
            << "(function () { var l = polylinesArray[0]; return l._rings[0].map(function (p, i) "
               "{ return p.equals(map.latLngToLayerPoint(l.getLatLngs()[i])); }).join(' ') + "
               "'|' + l._rawPxBounds.max.equals(L.bounds(l._rings[0]).max); })()"
            << "true true true true|true";
        QTest::newRow("marks smaller and fewer zoomed out")
            << "['setTrack', 0, [47, 8], [], '#ff0000'], ['setMarks', 0, [47, 8, 'a', 47.0001, "
               "8.0001, 'b']], ['showTrack', 0], ['setView', 47, 8, 15]"
            << "(function () { var near = markLayer._shape.radius; "
               "map.setView([47, 8], 5, { animate: false }); "
               "return [near, markLayer._shape.radius, markLayer._shape.cell].join('|'); })()"
            << "5|2|4";
        // Dots in their track's colour, drawn on the lines' canvas (no pin images), shown and
        // hidden with their track; a real click on one, at its place on the canvas, opens its
        // text.
        QTest::newRow("marks as dots, a click opens the text")
            << "['setTrack', 0, [46, 7], [], '#ff0000'], ['setTrack', 1, [47, 8], [], "
               "'#00ff00'], ['setMarks', 1, [47, 8, '2.2009-04-12 - 08:00:00 #1', 47.1, 8.1, "
               "'2.2009-04-12 - 08:00:05 #2']], ['setMarks', 0, [46, 7, 'x']], ['showTrack', 1], "
               "['setView', 47.05, 8.05, 10]"
            << "(function () { var at = map.latLngToContainerPoint([47.1, 8.1]); "
               "var box = map.getContainer().getBoundingClientRect(); "
               "renderer._container.dispatchEvent(new MouseEvent('click', { bubbles: true, "
               "clientX: box.left + at.x + 2, clientY: box.top + at.y - 1 })); "
               "var pop = map._popup.getElement().querySelector('.leaflet-popup-content'); "
               "var shown = [markLayer.marks.length, map.hasLayer(markLayer), "
               "markersArray[0].colour, document.querySelectorAll('.leaflet-marker-icon').length, "
               "pop.textContent]; runCalls([['showTrack', 0], ['hideTrack', 1]]); "
               "return shown.concat([markLayer.marks.map(function (m) { return m.text; })])"
               ".join('|'); })()"
            << "2|true|#00ff00|0|2.2009-04-12 - 08:00:05 #2|x";
        QTest::newRow("clearTracks keeps the point marker")
            << "['setTrack', 0, [47, 8], [], '#ff0000'], ['setMarks', 0, [47, 8, 'x']], "
               "['showTrack', 0], ['viewPoint', 47, 8, 'p'], ['clearTracks']"
            << "[polylinesArray.length, markLayer.marks.length, document.querySelectorAll("
               "'.leaflet-marker-icon:not(.point-dot)').length, "
               "document.querySelectorAll('.point-dot').length].join('|')"
            << "0|0|0|1";
        // Coloured by a value: each step in the shade of the value at its end, grey where there
        // is none, nothing across a segment start; the legend says the range and the unit.
        QTest::newRow("coloured by value, legend")
            << "['setTrack', 0, [47, 8, 47.01, 8, 47.02, 8, 47.03, 8, 47.04, 8, 47.05, 8], [3], "
               "'#ff0000'], ['setTrackValues', 0, [0, null, 0, 10, 10, 0]], ['showTrack', 0], "
               "['setView', 47.02, 8, 13], ['setColouring', 'speed', 0, 10, 'Speed (mph)', "
               "'0.0', '6.2', 'no speed']"
            << "(function () { var l = polylinesArray[0], c = renderer._ctx, "
               "px = function (i, j) { var a = l._rings[0][i], b = l._rings[0][j]; "
               "var d = c.getImageData(Math.round((a.x + b.x) / 2 - renderer._bounds.min.x), "
               "Math.round((a.y + b.y) / 2 - renderer._bounds.min.y), 1, 1).data; "
               "return '#' + [d[0], d[1], d[2]].map(function (v) { return ('0' + v.toString(16))"
               ".slice(-2); }).join(''); }; renderer._redraw(); "
               "return [px(0, 1), px(1, 2), px(2, 3), px(3, 4), px(4, 5), "
               "document.querySelector('.legend').textContent].join('|'); })()"
            << "#9e9e9e|#440154|#000000|#fde725|#440154|Speed (mph)0.06.2no speed";
        QTest::newRow("setCenter zooms to 16, viewPoint keeps the zoom, one point marker")
            << "['setCenter', 47.5, 8.5], ['viewPoint', 47.6, 8.6, '1.first'], "
               "['viewPoint', 47.7, 8.7, '2.second']"
            << "[map.getZoom(), markerPoint.getLatLng().lat, markerPoint.options.title, "
               "document.querySelectorAll('.point-dot').length, map.getCenter().lat.toFixed(4)]"
               ".join('|')"
            << "16|47.7|2.second|1|47.7000";
        QTest::newRow("markPoint moves the view only to keep the marker in it")
            << "['setCenter', 47.5, 8.5], ['markPoint', 47.501, 8.501, '3.hover']"
            << "(function () { var near = map.getCenter().lat.toFixed(4); "
               "runCalls([['markPoint', 47.6, 8.6, '4.hover']]); return [near, "
               "map.getCenter().lat.toFixed(4), map.getZoom(), markerPoint.getLatLng().lat, "
               "document.querySelectorAll('.point-dot').length].join('|'); })()"
            << "47.5000|47.6000|16|47.6|1";
        QTest::newRow("fitTracks fits the lines shown")
            << "['setTrack', 0, [47.30, 8.50, 47.32, 8.56], [], '#ff0000'], ['showTrack', 0], "
               "['fitTracks']"
            << "[map.getZoom() > 10, "
               "map.getBounds().contains(polylinesArray[0].getBounds())].join('|')"
            << "true|true";
        // Camera markers kept by id: moved, hidden when not listed; the name is text, the
        // thumbnail an image in the popup.
        QTest::newRow("photos moved, hidden, popup")
            << "['clearPhotos'], ['showPhotos', [[0, 47, 8, 'a.jpg', "
               "'data:image/gif;base64,R0lGODlhAQABAAAAACw='], [1, 47.1, 8.1, '<b>b</b>', '']]], "
               "['showPhotos', [[0, 47.2, 8.2, 'a.jpg', '']]]"
            << "(function () { var shown = Object.keys(photoMarkers).filter(function (k) { "
               "return photoLayer.hasLayer(photoMarkers[k]); }); photoMarkers[0].openPopup(); "
               "var pop = photoMarkers[0].getPopup().getElement()"
               ".querySelector('.leaflet-popup-content'); return [shown, "
               "photoMarkers[0].getLatLng().lat, pop.textContent, "
               "pop.querySelectorAll('img').length, "
               "photoMarkers[1].getPopup().getContent().innerHTML].join('|'); })()"
            << "0|47.2|a.jpg|1|&lt;b&gt;b&lt;/b&gt;";
        QTest::newRow("deleteAllObject")
            << "['setTrack', 0, [47, 8], [], '#ff0000'], ['viewPoint', 47.6, 8.6, 'x'], "
               "['deleteAllObject']"
            << "String(polylinesArray.length + document.querySelectorAll('.point-dot').length)"
            << "0";
    }

    void page()
    {
        QFETCH(QString, calls);
        QFETCH(QString, script);
        js(QStringLiteral("runCalls([['deleteAllObject'], %1]); ''").arg(calls));
        QTEST(js(script), "expected");
    }

    void sourceRules_data()
    {
        QTest::addColumn<QStringList>("source"); // name, URL template, attribution, maximum zoom
        QTest::addColumn<QString>("refusal");
        const QString t = "https://t.example.org/{z}/{x}/{y}.png";
        QTest::newRow("good") << QStringList{"Mine", t, "Example", "22"} << "";
        QTest::newRow("name like a file")
            << QStringList{"a.MBTiles", t, "Example", "18"}
            << "A source's name cannot hold / or \\ or end in .mbtiles.";
        QTest::newRow("no {y}") << QStringList{"Mine", "https://t.example.org/{z}/{x}.png", "E",
                                               "18"}
                                << "The URL template needs {z}, {x} and {y}.";
        QTest::newRow("ftp") << QStringList{"Mine", "ftp://t.example.org/{z}/{x}/{y}", "E", "18"}
                             << "The URL template must be an http or https address.";
        QTest::newRow("blank attribution") << QStringList{"Mine", t, "  ", "18"}
                                           << "The attribution is required: the map shows it.";
        QTest::newRow("zoom 23") << QStringList{"Mine", t, "E", "23"}
                                 << "The maximum zoom is 0 to 22.";
    }

    void sourceRules()
    {
        QFETCH(QStringList, source);
        MapSource s;
        s.name = source[0];
        s.urlTemplate = source[1];
        s.attribution = source[2];
        s.maxZoom = source[3].toInt();
        QTEST(MapSources::check(s), "refusal");
    }

    void tilePaths_data()
    {
        QTest::addColumn<QString>("path");
        QTest::addColumn<bool>("valid");
        QTest::newRow("tile") << "9/268/180" << true;
        QTest::newRow("x beyond the zoom's width") << "2/4/0" << false;
        QTest::newRow("negative") << "-1/0/0" << false;
        QTest::newRow("zoom 31") << "31/0/0" << false;
        QTest::newRow("SQL in y") << "9/1/1 OR 1=1" << false;
        QTest::newRow("plus sign") << "9/+1/1" << false;
        QTest::newRow("huge number") << "9/99999999999/1" << false;
    }

    void tilePaths()
    {
        QFETCH(QString, path);
        int z, x, y;
        QTEST(MbTilesSchemeHandler::parseTilePath(path, &z, &x, &y), "valid");
    }

    // An offline map shows its tiles and fits its bounds; bad files keep the map shown before.
    void offlineMap_data()
    {
        QTest::addColumn<QString>("damage"); // SQL run on a copy first
        QTest::addColumn<QString>("message");
        QTest::newRow("good") << ""
                              << "";
        QTest::newRow("not SQLite") << "garbage"
                                    << "not an SQLite database";
        QTest::newRow("broken tile") << "UPDATE tiles SET tile_data = X'00010203'"
                                     << "not a PNG, JPEG or WebP";
        // A view that would keep SQLite busy for good (and the window with it).
        QTest::newRow("tiles: an endless recursive view")
            << "ALTER TABLE tiles RENAME TO t2;CREATE VIEW tiles AS WITH RECURSIVE r(n) AS "
               "(SELECT 1 UNION ALL SELECT n + 1 FROM r) SELECT 0 AS zoom_level, 0 AS "
               "tile_column, 0 AS tile_row, X'00' AS tile_data FROM r WHERE n < 0"
            << "its tiles is a view, not a table";
        // A 3 MB "PNG": never loaded, the map shows the rest.
        QTest::newRow("one tile of 3 MB")
            << "UPDATE tiles SET tile_data = CAST(X'89504E470D0A1A0A' || hex(zeroblob(1500000)) AS "
               "BLOB) WHERE "
               "rowid = (SELECT max(rowid) FROM tiles)"
            << "";
    }

    void offlineMap()
    {
        QFETCH(QString, damage);
        QFETCH(QString, message);
        QString file = mbtiles;
        if (!damage.isEmpty()) {
            file = dir.filePath(QStringLiteral("damaged.mbtiles"));
            QFile::remove(file);
            QVERIFY(QFile::copy(mbtiles, file));
            if (damage == "garbage") {
                QVERIFY(writeAll(file, QByteArray(4096, 'x')));
            } else {
                QSqlDatabase db = QSqlDatabase::addDatabase("QSQLITE", "damage");
                db.setDatabaseName(file);
                QVERIFY(db.open());
                for (const QString &statement : damage.split(';'))
                    QVERIFY(QSqlQuery(db).exec(statement));
                db.close();
            }
            QSqlDatabase::removeDatabase("damage");
        }
        widget->setNetworkSource(MapSources::builtIn().first());
        widget->setMapView(47.7, 8.7, 12); // a few levels deeper than the file goes
        QString error;
        QCOMPARE(widget->openOfflineMap(file, &error), message.isEmpty());
        QVERIFY2(error.contains(message), qPrintable(error));
        if (!message.isEmpty()) {
            QCOMPARE(widget->mapSource().name, QStringLiteral("OpenStreetMap"));
            QCOMPARE(js("tileLayer._url"),
                     QStringLiteral("https://tile.openstreetmap.org/{z}/{x}/{y}.png"));
            return;
        }
        QVERIFY(js("tileLayer._url").startsWith("mbtiles:"));
        if (damage.contains("zeroblob")) { // that tile is not served; the others are
            MbTilesFile f;
            QVERIFY(f.open(file, &error));
            QSqlDatabase db = QSqlDatabase::addDatabase("QSQLITE", "look");
            db.setDatabaseName(file);
            QVERIFY(db.open());
            QSqlQuery q(db);
            QVERIFY(q.exec("SELECT zoom_level, tile_column, tile_row, length(tile_data) > 2000000 "
                           "FROM tiles ORDER BY rowid DESC LIMIT 2"));
            for (bool big : {true, false}) {
                QVERIFY(q.next() && q.value(3).toBool() == big);
                const int z = q.value(0).toInt();
                QCOMPARE(f.tile(z, q.value(1).toInt(), (1 << z) - 1 - q.value(2).toInt()).isEmpty(),
                         big);
            }
            q.finish();
            db.close();
        }
        QCOMPARE(js("String(map.getBounds().contains([47.25, 8.4]) && map.getZoom() >= 7)"),
                 "true");
        QVERIFY(shareOf(qRgb(200, 30, 140)) > 0.2);
        // Far outside the file: tiles not found, no script error, the page still answers.
        widget->setMapView(-40, -60, 9);
        QTest::qWait(500);
        QCOMPARE(js("String(map.getZoom())"), QStringLiteral("9"));
    }

    // A user's tile server gets the program's own User-Agent and a Referer; the page keeps its own.
    void userSourceIdentifies()
    {
        QImage tile(256, 256, QImage::Format_RGB32);
        tile.fill(qRgb(20, 160, 90));
        QByteArray png;
        QBuffer buffer(&png);
        tile.save(&buffer, "PNG");
        QTcpServer server;
        QVERIFY(server.listen(QHostAddress::LocalHost));
        QList<QByteArray> requests;
        connect(&server, &QTcpServer::newConnection, this, [&] {
            QTcpSocket *socket = server.nextPendingConnection();
            connect(socket, &QTcpSocket::readyRead, this, [&, socket] {
                requests << socket->readAll();
                socket->write("HTTP/1.1 200 OK\r\nContent-Type: image/png\r\nContent-Length: " +
                              QByteArray::number(png.size()) + "\r\n\r\n" + png);
                socket->disconnectFromHost();
            });
        });
        MapSource own;
        own.name = QStringLiteral("Local");
        own.urlTemplate =
            QStringLiteral("http://127.0.0.1:%1/{z}/{x}/{y}.png").arg(server.serverPort());
        own.attribution = QStringLiteral("<b>Local</b> tiles");
        own.maxZoom = 12;
        widget->setNetworkSource(own);
        widget->setMapView(47.2, 8.4, 10);
        QVERIFY(shareOf(qRgb(20, 160, 90)) > 0.2);
        QVERIFY(!requests.isEmpty());
        QVERIFY2(requests.first().contains("User-Agent: " + GoogleMapPage::TileUserAgent + "\r\n"),
                 requests.first().constData());
        QVERIFY(requests.first().contains("Referer: https://www.trekmont.com/\r\n"));
        // Other requests of the page keep its own User-Agent; tiles are cached on disk.
        js(QStringLiteral("fetch('http://127.0.0.1:%1/data.json', {mode: "
                          "'no-cors'}).catch(function () {}); ''")
               .arg(server.serverPort()));
        QTRY_VERIFY_WITH_TIMEOUT(std::any_of(requests.begin(), requests.end(),
                                             [](const QByteArray &r) {
                                                 return r.startsWith("GET /data.json") &&
                                                        r.contains(QByteArray("User-Agent: ") +
                                                                   GoogleMapPage::UserAgent);
                                             }),
                                 10000);
        QVERIFY(!widget->findChild<QWebEngineView *>()->page()->profile()->isOffTheRecord());
        QCOMPARE(js("[navigator.userAgent, document.querySelector('.leaflet-control-attribution')"
                    ".textContent.includes('<b>Local</b> tiles'), map.getMaxZoom()].join('|')"),
                 GoogleMapPage::UserAgent + QStringLiteral("|true|12"));
    }

    // The program started with a track file: opened before the page has loaded, ticked at once.
    // The chosen map and the view come back with the next window; a user's source is kept.
    void startAndRestart()
    {
        delete widget; // one map page at a time: they share the profile's storage
        widget = nullptr;
        const auto mapAction = [](MainWindow &w, const QString &text) -> QAction * {
            for (QAction *m : w.menuBar()->actions())
                for (QAction *a :
                     m->text().remove('&') == "Map" ? m->menu()->actions() : QList<QAction *>())
                    if (a->text() == text)
                        return a;
            return nullptr;
        };
        const auto mapOf = [](MainWindow &w) { return w.findChild<MapWidget *>(); };
        {
            // A source without {y} is refused in the dialog, a good one kept.
            MapSourcesDialog dialog({});
            dialog.nameEdit->setText("Mine");
            dialog.urlEdit->setText("https://tiles.example.org/{z}/{x}.png");
            dialog.attributionEdit->setText("Example");
            QTimer::singleShot(0, [] { QApplication::activeModalWidget()->close(); });
            QVERIFY(!dialog.saveSource());
            dialog.urlEdit->setText("https://tiles.example.org/{z}/{x}/{y}.png");
            QVERIFY(dialog.saveSource());
            QSettings store(QStringLiteral("Trekmont"), QStringLiteral("LX-300"));
            MapSources::setUserSources(store, dialog.sources());
        }
        {
            MainWindow window;
            window.show();
            QVERIFY(window.openFile(QStringLiteral(LX300_SAMPLE)));
            mapOf(window)
                ->findChild<QTreeWidget *>(QStringLiteral("treeWidget"))
                ->topLevelItem(0)
                ->child(1)
                ->setCheckState(0, Qt::Checked);
            QCOMPARE(whenReady("polylinesArray.map(function (l) { return l.getLatLngs().length + "
                               "':' + map.hasLayer(l); }).join(' ')",
                               mapOf(window)->findChild<QWebEngineView *>()->page(),
                               "400:false 400:true 400:false"),
                     QStringLiteral("400:false 400:true 400:false"));
            QVERIFY(mapAction(window, "Mine"));
            QVERIFY(mapAction(window, "OpenTopoMap"));
            mapAction(window, "OpenTopoMap")->trigger();
            QCOMPARE(mapOf(window)->mapSource().name, QStringLiteral("OpenTopoMap"));
            QSignalSpy moved(mapOf(window), &MapWidget::mapViewChanged);
            js("setView(47.25, 8.5, 12); ''", mapOf(window)->findChild<QWebEngineView *>()->page());
            QTRY_VERIFY(!moved.isEmpty() && moved.last().at(2).toInt() == 12); // reported back
            QVERIFY(window.close());
        }
        MainWindow again;
        again.show();
        QCOMPARE(mapOf(again)->mapSource().name, QStringLiteral("OpenTopoMap"));
        QCOMPARE(whenReady("[map.getZoom(), map.getCenter().lat.toFixed(2), "
                           "tileLayer._url.includes('opentopomap')].join('|')",
                           mapOf(again)->findChild<QWebEngineView *>()->page(), "12|"),
                 QStringLiteral("12|47.25|true"));
    }

    // View > Colour lines by > Speed: the ticked track's values on the page, a legend that
    // follows the Unit menu, the choice kept for the next start.
    void colourLines()
    {
        {
            MainWindow window;
            window.show();
            QVERIFY(window.openFile(QStringLiteral(LX300_SAMPLE)));
            auto *map = window.findChild<MapWidget *>();
            map->findChild<QTreeWidget *>(QStringLiteral("treeWidget"))
                ->topLevelItem(0)
                ->child(0)
                ->setCheckState(0, Qt::Checked);
            window.findChild<QAction *>(QStringLiteral("colourSpeedAct"))->trigger();
            const QString legend = "[colouring.by, polylinesArray[0].values.length, "
                                   "polylinesArray[1].values, document.querySelector("
                                   "'.legend').textContent].join('|')";
            const QString kmh = pageState(map, legend);
            QVERIFY2(QRegularExpression("^speed\\|400\\|\\|Speed \\(km/h\\)[0-9.]+[0-9.]+no speed$")
                         .match(kmh)
                         .hasMatch(),
                     qPrintable(kmh));
            window.findChild<QAction *>(QStringLiteral("milesAct"))->trigger();
            const QString mph = pageState(map, legend);
            QVERIFY2(mph.startsWith("speed|400||Speed (mph)") && mph.mid(22) != kmh.mid(23),
                     qPrintable(mph));
            QVERIFY(window.close());
        }
        QSettings store(QStringLiteral("Trekmont"), QStringLiteral("LX-300"));
        QCOMPARE(store.value("map/colourBy").toString(), QStringLiteral("speed"));
        MainWindow again;
        QVERIFY(again.findChild<QAction *>(QStringLiteral("colourSpeedAct"))->isChecked());
        again.show();
        again.findChild<QAction *>(QStringLiteral("colourTrackAct"))->trigger();
        again.findChild<QAction *>(QStringLiteral("kilometersAct"))->trigger();
        QVERIFY(again.close()); // as it was, for the tests after this one
    }

    // File > Geotag photos on the sample's first track: the photos in the table and on the
    // map, moving with the offset; a click on the line and "This photo was taken here" set
    // the offset; nothing is written before Write, then both photos have their positions.
    void geotagPreview()
    {
        MainWindow window;
        window.show();
        QVERIFY(window.openFile(QStringLiteral(LX300_SAMPLE)));
        auto *map = window.findChild<MapWidget *>();
        QWebEnginePage *page = map->findChild<QWebEngineView *>()->page();
        map->findChild<QTreeWidget *>(QStringLiteral("treeWidget"))
            ->topLevelItem(0)
            ->child(0)
            ->setCheckState(0, Qt::Checked);
        QTemporaryDir photos;
        const QString date = "Exif.Photo.DateTimeOriginal=2009:04:11 ";
        const QString a = makePhoto(photos.path(), "jpg", {date + "10:20:00"}, "a"); // point 60
        const QString b = makePhoto(photos.path(), "jpg", {date + "10:25:02"}, "b");
        makePhoto(photos.path(), "jpg",
                  {date + "10:21:00", "Exif.GPSInfo.GPSLatitudeRef=S",
                   "Exif.GPSInfo.GPSLatitude=10/1 0/1 0/1", "Exif.GPSInfo.GPSLongitudeRef=W",
                   "Exif.GPSInfo.GPSLongitude=20/1 30/1 0/1"},
                  "c");
        const QByteArray before = readAll(a);
        window.findChild<QAction *>(QStringLiteral("geotagAct"))->trigger();
        auto *dialog = window.findChild<GeotagDialog *>();
        QVERIFY(dialog && dialog->isVisible());
        QVERIFY(window.screen()->availableGeometry().contains(dialog->frameGeometry()));
        QSignalSpy read(dialog, &GeotagDialog::photosRead);
        dialog->addPhotos({photos.path()});
        QVERIFY(read.wait(10000));
        dialog->setOffset(7200);
        auto *table = dialog->findChild<QTableWidget *>(QStringLiteral("previewTable"));
        QCOMPARE(table->rowCount(), 3);
        QCOMPARE(table->item(0, 3)->text(), QStringLiteral("tagged (exact)"));
        QCOMPARE(table->item(1, 3)->text(), QStringLiteral("tagged (interpolated)"));
        // A photo left alone shows the position it has.
        QCOMPARE(table->item(2, 4)->text() + ' ' + table->item(2, 5)->text(),
                 QStringLiteral("-10.000000 -20.500000"));
        const QString shown = "Object.keys(photoMarkers).filter(function (k) { return "
                              "photoLayer.hasLayer(photoMarkers[k]); }).length";
        QCOMPARE(whenReady(shown, page, "2"), QStringLiteral("2")); // once the batch has arrived
        const QString lat = js("String(photoMarkers[0].getLatLng().lat)", page);
        dialog->setOffset(7200 - 60); // the camera a minute behind: a minute on along the track
        QVERIFY(js("String(photoMarkers[0].getLatLng().lat)", page) != lat);

        QVector<Track> sample;
        QVERIFY(FileFormats(&window).read(sample, QStringLiteral(LX300_SAMPLE)));
        QSignalSpy picked(map, &MapWidget::trackPointPicked);
        const Vec3 at = sample[0].points[100].position;
        js(QStringLiteral("polylinesArray[0].fire('click', {latlng: L.latLng(%1, %2)}); ''")
               .arg(at.x, 0, 'f', 7)
               .arg(at.y, 0, 'f', 7),
           page);
        QTRY_COMPARE(picked.count(), 1);
        QCOMPARE(picked[0], (QVariantList{0, 100}));
        table->selectRow(0); // its marker highlighted and centred
        QCOMPARE(whenReady("String(focusedPhoto)", page, "0"), QStringLiteral("0"));
        dialog->findChild<QPushButton *>(QStringLiteral("hereButton"))->click();
        QCOMPARE(dialog->offset().value_or(0), 7200 + 60 * 5 - 100 * 5); // 10:20:00 at 08:23:20
        QCOMPARE(dialog->findChild<QLabel *>(QStringLiteral("offsetTotal"))->text(),
                 QStringLiteral("= UTC+01:56:40"));
        QCOMPARE(readAll(a), before); // nothing written before Write

        // Cancelled at once: what is left can still be written.
        QSignalSpy written(dialog, &GeotagDialog::written);
        auto *writeButton = dialog->findChild<QPushButton *>(QStringLiteral("writeButton"));
        writeButton->click();
        // While writing nothing re-plans: what is written is what the table shows.
        QVERIFY(!dialog->findChild<QComboBox *>(QStringLiteral("zoneBox"))->isEnabled());
        QVERIFY(!dialog->findChild<QSpinBox *>(QStringLiteral("driftBox"))->isEnabled());
        dialog->findChild<QPushButton *>(QStringLiteral("cancelButton"))->click();
        QVERIFY(written.wait(10000));
        if (writeButton->isEnabled()) {
            writeButton->click();
            QVERIFY(written.wait(10000));
        }
        QVERIFY(!writeButton->isEnabled());
        QVERIFY(dialog->findChild<QComboBox *>(QStringLiteral("zoneBox"))->isEnabled());
        const PhotoMeta::Photo tagged = PhotoMeta::read(a);
        QVERIFY(tagged.hasPosition);
        QVERIFY(qAbs(tagged.latitude - at.x) < 1e-7 && qAbs(tagged.longitude - at.y) < 1e-7);
        QVERIFY(PhotoMeta::read(b).hasPosition);
        QVERIFY(dialog->findChild<QLabel *>(QStringLiteral("summaryLabel"))
                    ->text()
                    .startsWith(QStringLiteral("Written: ")));
        // Back to the computer's zone: the note on the picked offset goes.
        dialog->findChild<QComboBox *>(QStringLiteral("zoneBox"))->setCurrentIndex(0);
        QCOMPARE(dialog->findChild<QLabel *>(QStringLiteral("offsetNote"))->text(), QString());
        dialog->close();
        QCOMPARE(whenReady(shown, page, "0"), QStringLiteral("0"));
    }
};

QTEST_MAIN(TestMapPage)
#include "tst_mappage.moc"
