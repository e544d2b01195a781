// lx300-screenshot: the window after a download from a simulated logger,
// saved as a PNG for the README. Run it under a real X server (Xvfb) so the
// map page renders: scripts/screenshot.sh does.
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
#include <QTimer>
#include <QTreeWidget>

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

QAction *menuAction(QMainWindow &window, const QString &menu, const QString &text)
{
    for (QAction *m : window.menuBar()->actions())
        if (m->text() == menu)
            for (QAction *a : m->menu()->actions())
                if (a->text() == text)
                    return a;
    return nullptr;
}
} // namespace

int main(int argc, char *argv[])
{
    QCoreApplication::setAttribute(Qt::AA_ShareOpenGLContexts);
    QApplication app(argc, argv);
    if (argc != 2) {
        std::fprintf(stderr, "usage: lx300-screenshot OUT.png\n");
        return 2;
    }
    LoggerSimulator sim;
    const quint32 start =
        quint32(QDateTime(QDate(2009, 4, 11), QTime(8, 15), Qt::UTC).toSecsSinceEpoch());
    sim.setTracks({LoggerSimulator::makeTrack(2, 400, 1, start),
                   LoggerSimulator::makeTrack(1, 300, 2, start + 86400),
                   LoggerSimulator::makeTrack(2, 500, 3, start + 2 * 86400)});
    if (!sim.start())
        return 1;

    MainWindow window;
    window.setWindowState(Qt::WindowNoState);
    window.setGeometry(0, 0, 1200, 800);
    window.show();
    StartOptions options;
    options.port = sim.portPath();
    window.applyStartOptions(options);
    window.findChild<QPushButton *>(QStringLiteral("connectButton"))->click();
    QAction *download =
        menuAction(window, QStringLiteral("Device"), QStringLiteral("Download all track points"));
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
    QEventLoop settle;
    QTimer::singleShot(4000, &settle, &QEventLoop::quit); // tiles and lines drawn
    settle.exec();

    const QPixmap shot = window.screen()->grabWindow(0, 0, 0, 1200, 800);
    if (!shot.save(QString::fromLocal8Bit(argv[1]))) {
        std::fprintf(stderr, "lx300-screenshot: cannot write %s\n", argv[1]);
        return 1;
    }
    return 0;
}
