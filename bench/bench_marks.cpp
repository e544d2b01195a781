// A full logger in the window (each time the best of five runs): 1,000,000 points in 10 tracks,
// with the simulator's mark every 40th point (25,000 marks) and without marks, in a real map page:
// - the tracks' views built and all ticked at once (the root), until the map has settled:
//   marks at most 1.25 times the time without them, the same marks read from GPX waypoints
//   too; memory of every process (the web engine's too, PSS) at most 600 MB;
// - the map zoomed out one level with all of it shown: at most 1 s until settled;
// - a double-click on a 100,000-point track with 2,500 marks: point list, profile and map
//   settled in at most 1 s;
// - the lines coloured by speed: built and ticked at most 1.25 times the time of the track
//   colours, a zoom step under 0.5 s, switching from the track colours to speed under 1 s.
#include "bench/mappagebench.h"
#include "formats/fileformats.h"
#include "model/conversions.h"
#include "model/units.h"
#include "tools/sim/loggersimulator.h"
#include "view/mapwidget.h"

#include <QApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QMultiHash>
#include <QTemporaryDir>
#include <QTest>
#include <QTreeWidget>
#include <QWebEnginePage>
#include <QWebEngineView>

#include <algorithm>
#include <cstdio>
#include <functional>

namespace {
using MapPageBench::js;
constexpr quint32 Start = 1239437700u;
// Best of five; LX300_BENCH_RUNS sets another count.
const int Runs = qEnvironmentVariableIntValue("LX300_BENCH_RUNS") > 0
                     ? qEnvironmentVariableIntValue("LX300_BENCH_RUNS")
                     : 5;

QVector<Track> makeTracks(int count, int points, bool marks)
{
    QVector<Track> tracks;
    for (int t = 0; t < count; ++t) {
        const SimulatedTrack sim =
            LoggerSimulator::makeTrack(2, points, quint32(t + 1), Start + quint32(t) * 86400);
        Track track{Start + quint32(t) * 86400, 2, {}};
        track.points.reserve(points);
        for (const DeviceTrackPoint &p : sim.points) {
            track.points.append(trackPointFromRecord(p));
            if (!marks)
                track.points.last().marked = 0;
        }
        tracks << track;
    }
    return tracks;
}

// Waits until `ready` holds on the page and two frames have been drawn after it.
void settle(MapWidget &w, const QString &ready)
{
    while (!js(w, ready).toBool())
        QTest::qWait(5);
    js(w, QStringLiteral("window.drawn = false; requestAnimationFrame(function () { "
                         "requestAnimationFrame(function () { window.drawn = true; }); }); 0"));
    while (!js(w, QStringLiteral("window.drawn")).toBool())
        QTest::qWait(5);
}

double timed(const std::function<void()> &f)
{
    QElapsedTimer t;
    t.start();
    f();
    return t.nsecsElapsed() / 1e9;
}

// Proportional set size of this process and all its descendants (the web engine's
// renderers are grandchildren, under its zygote), in MB.
double pssMb()
{
    const auto pssOf = [](const QString &pid) {
        QFile f(QStringLiteral("/proc/%1/smaps_rollup").arg(pid));
        if (!f.open(QIODevice::ReadOnly))
            return 0.0;
        for (const QByteArray &line : f.readAll().split('\n'))
            if (line.startsWith("Pss:"))
                return line.simplified().split(' ').value(1).toDouble() / 1024;
        return 0.0;
    };
    QMultiHash<QString, QString> children;
    const QStringList pids = QDir(QStringLiteral("/proc")).entryList(QDir::Dirs);
    for (const QString &pid : pids) {
        QFile stat(QStringLiteral("/proc/%1/stat").arg(pid));
        if (!stat.open(QIODevice::ReadOnly))
            continue;
        const QByteArray s = stat.readAll();
        // The parent's pid is the second field after the command's closing bracket.
        const QList<QByteArray> fields = s.mid(s.lastIndexOf(')') + 2).split(' ');
        children.insert(QString::fromLatin1(fields.value(1)), pid);
    }
    double total = 0;
    QStringList todo{QString::number(QCoreApplication::applicationPid())};
    while (!todo.isEmpty()) {
        const QString pid = todo.takeLast();
        total += pssOf(pid);
        todo += children.values(pid);
    }
    return total;
}

struct Tick
{
    double seconds; // from the tracks' views being built until all is shown and drawn
    double again;   // unticked and ticked again
    double pss;
    double zoom;   // zoomed out one level, all of it shown
    double colour; // from the track colours to speed, all shown (track colouring only)
};

// The tracks' views built and every track ticked through the root, as when a log is opened
// and shown whole, until the page shows all of it and has drawn.
Tick tickAll(const QVector<Track> &tracks, ColourBy by = ColourBy::Track)
{
    QVector<Track> shown = tracks;
    FixedDisplayUnits units(SpeedUnit::Kmh, HeightUnit::Metres, TimeShown::Local);
    MapWidget widget(&shown, &units);
    widget.resize(1200, 800);
    widget.show();
    settle(widget, QStringLiteral("typeof channelReady !== 'undefined' && channelReady"));
    widget.setColouring(by, std::nullopt);
    const QString coloured = QStringLiteral(
        " && colouring.by === 'speed' && polylinesArray.every(function (l) { return l.values; })");
    int points = 0, marks = 0;
    for (const Track &t : tracks)
        for (const TrackPoint &p : t.points) {
            ++points;
            marks += p.marked != 0;
        }
    const QString allShown =
        QStringLiteral("polylinesArray.reduce(function (n, l) { return n + "
                       "l.getLatLngs().length; }, 0) === %1 && "
                       "polylinesArray.every(function (l) { return map.hasLayer(l); }) && "
                       "markersArray.length === %2")
            .arg(points)
            .arg(marks) +
        (by == ColourBy::Track ? QString() : coloured);
    Tick t;
    QTreeWidgetItem *root = nullptr;
    t.seconds = timed([&] {
        widget.rebuildTrackViews();
        root = widget.findChild<QTreeWidget *>(QStringLiteral("treeWidget"))->topLevelItem(0);
        root->setCheckState(0, Qt::Checked);
        settle(widget, allShown);
    });
    root->setCheckState(0, Qt::Unchecked);
    settle(widget,
           QStringLiteral("!map.hasLayer(polylinesArray[0]) && markLayer.marks.length === 0"));
    t.again = timed([&] {
        root->setCheckState(0, Qt::Checked);
        settle(widget, allShown);
    });
    QTest::qWait(500);
    t.pss = pssMb();
    t.zoom = timed([&] {
        js(widget, QStringLiteral("map.zoomOut(1, { animate: false }); 0"));
        settle(widget, QStringLiteral("true"));
    });
    t.colour = 0;
    if (by == ColourBy::Track)
        t.colour = timed([&] {
            widget.setColouring(ColourBy::Speed, std::nullopt);
            settle(widget, allShown + coloured);
        });
    return t;
}

// Keeps the best time of the runs, as timings here are noisy, and the most memory any took.
void keepBest(Tick &best, const Tick &t)
{
    best.seconds = std::min(best.seconds, t.seconds);
    best.again = std::min(best.again, t.again);
    best.zoom = std::min(best.zoom, t.zoom);
    best.colour = std::min(best.colour, t.colour);
    best.pss = std::max(best.pss, t.pss);
}

// A double-click on one 100,000-point track with 2,500 marks: list, profile and map settled.
double doubleClick()
{
    QVector<Track> one = makeTracks(1, 100000, true);
    FixedDisplayUnits units(SpeedUnit::Kmh, HeightUnit::Metres, TimeShown::Local);
    MapWidget widget(&one, &units);
    widget.resize(1200, 800);
    widget.show();
    settle(widget, QStringLiteral("typeof channelReady !== 'undefined' && channelReady"));
    widget.rebuildTrackViews();
    settle(widget, QStringLiteral("polylinesArray.length === 1 && "
                                  "polylinesArray[0].getLatLngs().length === 100000"));
    QTreeWidgetItem *track =
        widget.findChild<QTreeWidget *>(QStringLiteral("treeWidget"))->topLevelItem(0)->child(0);
    return timed([&] {
        widget.TreeWidgetItemDoubleClicked(track, 0);
        QCoreApplication::processEvents(); // the list and the profile lay out and paint
        settle(widget,
               QStringLiteral("markersArray.length === 2500 && map.hasLayer(polylinesArray[0])"));
    });
}
} // namespace

int main(int argc, char *argv[])
{
    MapPageBench::prepare();
    QApplication app(argc, argv);

    // The same marks as GPX waypoints, read back: marks at their track points' times.
    FixedDisplayUnits units(SpeedUnit::Kmh, HeightUnit::Metres, TimeShown::Local);
    FileFormats formats(&units);
    QTemporaryDir dir;
    const QString gpx = dir.filePath(QStringLiteral("marks.gpx"));
    QList<int> all;
    for (int i = 0; i < 10; ++i)
        all << i;
    if (!formats.write(makeTracks(10, 100000, true), gpx, all, WriteOptions{false, true})) {
        std::printf("GPX write failed\n");
        return 1;
    }
    // Each run holds one log, made or read again, as the program would: the memory measured
    // is the program's.
    const auto fromGpx = [&] {
        QVector<Track> tracks;
        if (!formats.read(tracks, gpx))
            std::printf("GPX read failed\n");
        return tracks;
    };
    // Runs taken in turn, so that a slow spell of the machine falls on all three alike.
    Tick plain = tickAll(makeTracks(10, 100000, false));
    Tick marked = tickAll(makeTracks(10, 100000, true));
    Tick waypoints = tickAll(fromGpx());
    Tick speed = tickAll(makeTracks(10, 100000, true), ColourBy::Speed);
    for (int i = 1; i < Runs; ++i) {
        keepBest(plain, tickAll(makeTracks(10, 100000, false)));
        keepBest(marked, tickAll(makeTracks(10, 100000, true)));
        keepBest(waypoints, tickAll(fromGpx()));
        keepBest(speed, tickAll(makeTracks(10, 100000, true), ColourBy::Speed));
    }
    std::printf("1,000,000 points built and ticked at once: %.2f s without marks, %.2f s with "
                "25,000: ratio %.2f (target <= 1.25)\n",
                plain.seconds, marked.seconds, marked.seconds / plain.seconds);
    std::printf("the same read from GPX with 25,000 waypoints: %.2f s: ratio %.2f\n",
                waypoints.seconds, waypoints.seconds / plain.seconds);
    std::printf("the same unticked and ticked again: %.2f s without marks, %.2f s with them: "
                "ratio %.2f\n",
                plain.again, marked.again, marked.again / plain.again);
    std::printf("memory of all processes (PSS): %.0f MB without marks, %.0f MB with them "
                "(target <= 600)\n",
                plain.pss, marked.pss);
    std::printf("zoomed out one level with all of it shown: %.2f s without marks, %.2f s with "
                "them (target <= 1)\n",
                plain.zoom, marked.zoom);
    std::printf("double-click on a 100,000-point track with 2,500 marks: %.2f s (target <= 1)\n",
                doubleClick());
    std::printf("coloured by speed, with marks: built and ticked %.2f s: ratio %.2f to the track "
                "colours (target <= 1.25); zoom step %.2f s (target < 0.5); PSS %.0f MB\n",
                speed.seconds, speed.seconds / marked.seconds, speed.zoom, speed.pss);
    std::printf("track colours to speed, all shown: %.2f s (target < 1)\n", marked.colour);
    return 0;
}
