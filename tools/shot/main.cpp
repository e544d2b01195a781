// lx300-screenshot: the window after a download from a simulated logger,
// saved as a PNG for the README; with --geotag, the geotagging preview of
// photos made on the way beside it; with --edit, a selection on the map and
// the profile; with --library, the tracks downloaded into a new library and its view. Run it under
// a real X server (Xvfb) so the map page renders: scripts/screenshot.sh does.
#include "app/geotagdialog.h"
#include "app/mainwindow.h"
#include "app/startoptions.h"
#include "app/trackfileheaderdialog.h"
#include "tools/sim/loggersimulator.h"
#include "view/mapwidget.h"

#include <QAction>
#include <QApplication>
#include <QDateTime>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QMenuBar>
#include <QPushButton>
#include <QScreen>
#include <QSettings>
#include <QTemporaryDir>
#include <QTimer>
#include <QTreeView>
#include <QTreeWidget>
#include <QWebEngineView>

#include <exiv2/exiv2.hpp>

#include <cstdio>
#include <functional>

namespace {
// Calls `step` every 100 ms until it returns true; gives up after `ms`.
void poll(int ms, std::function<bool()> step)
{
    QElapsedTimer clock;
    clock.start();
    while (!step()) {
        if (clock.elapsed() > ms) {
            std::fprintf(stderr, "lx300-screenshot: the window did not get there in time\n");
            std::exit(1);
        }
        QEventLoop loop;
        QTimer::singleShot(100, &loop, &QEventLoop::quit);
        loop.exec();
    }
}

void settle(int ms)
{
    QEventLoop loop;
    QTimer::singleShot(ms, &loop, &QEventLoop::quit);
    loop.exec();
}

// Photos a camera on +02:00 took along the first track, every four minutes.
void makePhotos(const QString &dir)
{
    for (int i = 0; i < 8; ++i) {
        QImage image(480, 320, QImage::Format_RGB32);
        for (int y = 0; y < image.height(); ++y)
            for (int x = 0; x < image.width(); ++x)
                image.setPixel(x, y, qRgb((x + i * 40) % 256, 120 + y / 4, (i * 60 + y) % 256));
        const QString file = QStringLiteral("%1/IMG_%2.jpg").arg(dir).arg(4711 + i);
        image.save(file, "JPEG", 85);
        auto photo = Exiv2::ImageFactory::open(file.toStdString());
        photo->readMetadata();
        Exiv2::ExifData exif = photo->exifData();
        exif["Exif.Photo.DateTimeOriginal"] = QStringLiteral("2009:04:11 10:%1:%2")
                                                  .arg(16 + 4 * i)
                                                  .arg(30 + 7 * i % 30, 2, 10, QLatin1Char('0'))
                                                  .toStdString();
        photo->setExifData(exif);
        photo->writeMetadata();
    }
}

QAction *menuAction(QMainWindow &window, const QString &menu, const QString &text)
{
    for (QAction *m : window.menuBar()->actions())
        if (m->text().remove(QLatin1Char('&')) == menu) // "&File" is File
            for (QAction *a : m->menu()->actions())
                if (a->text() == text)
                    return a;
    return nullptr;
}
// The first track alone, a stretch of it selected in the list.
void selectStretch(MainWindow &window, MapWidget *map, QTreeWidgetItem *root)
{
    for (int i = 1; i < root->childCount(); ++i)
        root->child(i)->setCheckState(0, Qt::Unchecked);
    if (QAction *fit =
            menuAction(window, QStringLiteral("View"), QStringLiteral("&Zoom to tracks")))
        fit->trigger();
    auto *list = map->findChild<QTreeView *>(QStringLiteral("treeWidget_2"));
    list->selectionModel()->select(
        QItemSelection(list->model()->index(119, 0), list->model()->index(299, 0)),
        QItemSelectionModel::ClearAndSelect | QItemSelectionModel::Rows);
    list->scrollTo(list->model()->index(119, 0), QAbstractItemView::PositionAtTop);
    settle(2000);
}
} // namespace

int main(int argc, char *argv[])
{
    QCoreApplication::setAttribute(Qt::AA_ShareOpenGLContexts);
    QApplication app(argc, argv);
    const bool geotag = argc == 3 && QByteArray(argv[1]) == "--geotag";
    const bool speed = argc == 3 && QByteArray(argv[1]) == "--speed";
    const bool selection = argc == 3 && QByteArray(argv[1]) == "--edit";
    const bool archive = argc == 3 && QByteArray(argv[1]) == "--library";
    if (argc != 2 && !geotag && !speed && !selection && !archive) {
        std::fprintf(stderr,
                     "usage: lx300-screenshot [--geotag | --speed | --edit | --library] OUT.png\n");
        return 2;
    }
    const char *out = argv[argc - 1];
    LoggerSimulator sim;
    const quint32 start =
        quint32(QDateTime(QDate(2009, 4, 11), QTime(8, 15), Qt::UTC).toSecsSinceEpoch());
    sim.setTracks({LoggerSimulator::makeTrack(2, 400, 1, start),
                   LoggerSimulator::makeTrack(1, 300, 2, start + 86400),
                   LoggerSimulator::makeTrack(2, 500, 3, start + 2 * 86400)});
    if (!sim.start())
        return 1;

    // A library of its own, in settings of its own: the user's are left alone.
    QTemporaryDir scratch;
    if (archive) {
        QSettings::setPath(QSettings::NativeFormat, QSettings::UserScope, scratch.path());
        QSettings(QStringLiteral("Trekmont"), QStringLiteral("LX-300"))
            .setValue(QStringLiteral("library/folder"),
                      scratch.filePath(QStringLiteral("library")));
    }
    MainWindow window;
    window.setWindowState(Qt::WindowNoState);
    window.setGeometry(0, 0, 1200, 800);
    window.show();
    StartOptions options;
    options.port = sim.portPath();
    window.applyStartOptions(options);
    window.findChild<QPushButton *>(QStringLiteral("connectButton"))->click();
    QAction *download = menuAction(window, QStringLiteral("Device"),
                                   archive ? QStringLiteral("Download new tracks")
                                           : QStringLiteral("Download all track points"));
    poll(10000, [&] { return download && download->isEnabled(); });

    // The track list: tick every track and Apply, as a user would. The list
    // is a modal dialog, so it is answered from a timer inside its own loop.
    QTimer answer;
    QObject::connect(&answer, &QTimer::timeout, [&] {
        if (auto *d = qobject_cast<TrackFileHeaderDialog *>(QApplication::activeModalWidget())) {
            d->tree()->topLevelItem(0)->setCheckState(0, Qt::Checked);
            d->Apply();
            answer.stop();
        }
    });
    answer.start(100);
    download->trigger();
    poll(30000,
         [&] { return window.trackList().size() == 3 && !QApplication::activeModalWidget(); });

    // Every line on the map, the first track's points listed.
    auto *map = window.findChild<MapWidget *>();
    QTreeWidgetItem *root =
        map->findChild<QTreeWidget *>(QStringLiteral("treeWidget"))->topLevelItem(0);
    root->setCheckState(0, Qt::Checked);
    map->findChild<QTreeWidget *>(QStringLiteral("treeWidget"))->setCurrentItem(root->child(0));
    map->TreeWidgetItemDoubleClicked(root->child(0), 0);
    root->setCheckState(0, Qt::Checked);
    if (QAction *fit =
            menuAction(window, QStringLiteral("View"), QStringLiteral("&Zoom to tracks")))
        QTimer::singleShot(1000, fit, &QAction::trigger); // once the page holds the lines
    settle(4000);                                         // tiles and lines drawn

    if (speed) {
        // The lines coloured by speed, with the legend.
        window.findChild<QAction *>(QStringLiteral("colourSpeedAct"))->trigger();
        settle(2000);
    }
    if (selection)
        selectStretch(window, map, root);
    if (archive) {
        // The library's view over the window, the tracks just archived in it.
        window.findChild<QAction *>(QStringLiteral("libraryAct"))->trigger();
        auto *library = window.findChild<QDialog *>(QStringLiteral("libraryWindow"));
        library->setGeometry(250, 180, 900, 520);
        settle(1500);
    }
    QTemporaryDir photos;
    if (geotag) {
        // The first track alone, its photos previewed, one popup open.
        for (int i = 1; i < root->childCount(); ++i)
            root->child(i)->setCheckState(0, Qt::Unchecked);
        if (QAction *fit =
                menuAction(window, QStringLiteral("View"), QStringLiteral("&Zoom to tracks")))
            fit->trigger();
        makePhotos(photos.path());
        window.findChild<QAction *>(QStringLiteral("geotagAct"))->trigger();
        auto *dialog = window.findChild<GeotagDialog *>();
        dialog->setGeometry(1200, 0, 800, 800);
        dialog->addPhotos({photos.path()});
        poll(10000, [&] { return !dialog->isBusy(); });
        dialog->setOffset(7200);
        settle(1500);
        map->findChild<QWebEngineView *>()->page()->runJavaScript(
            QStringLiteral("photoMarkers[3].openPopup();"));
        settle(2000);
    }
    const QPixmap shot = window.screen()->grabWindow(0, 0, 0, geotag ? 2000 : 1200, 800);
    if (!shot.save(QString::fromLocal8Bit(out))) {
        std::fprintf(stderr, "lx300-screenshot: cannot write %s\n", out);
        return 1;
    }
    return 0;
}
