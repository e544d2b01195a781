// Edits of one 1,000,000-point track in a real window's views (each the best of three):
// - a 500,000-point range deleted, undone and redone: at most 0.2 s of the GUI thread each,
//   the tree, list, statistics start and map calls included (the figures worked out in the
//   background are waited for between steps, as a user's next edit would come later);
// - a ten-day 1,000,000-point log split by day: at most 0.5 s;
// - 100 edits in a row: the tracks and the undo history at most twice the tracks' memory.
#include "bench/mappagebench.h"
#include "edit/trackedit.h"
#include "model/conversions.h"
#include "model/units.h"
#include "tools/sim/loggersimulator.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QTreeWidget>

#include <algorithm>
#include <cstdio>
#include <functional>

namespace {
constexpr quint32 Start = 1239437700u;
constexpr int Points = 1000000;

// Ten days of points, 0.864 s apart.
QVector<Track> tenDays()
{
    const SimulatedTrack sim = LoggerSimulator::makeTrack(2, Points, 1, Start);
    Track track{Start, 2, {}};
    track.points.reserve(Points);
    for (int i = 0; i < Points; ++i) {
        TrackPoint p = trackPointFromRecord(sim.points[size_t(i)]);
        p.time = Start + quint32(qint64(i) * 864 / 1000);
        p.millis = quint16(qint64(i) * 864 % 1000);
        track.points.append(p);
    }
    return {track};
}

double timed(const std::function<void()> &f)
{
    QElapsedTimer t;
    t.start();
    f();
    return t.nsecsElapsed() / 1e9;
}

double residentMb()
{
    QFile status(QStringLiteral("/proc/self/status"));
    if (!status.open(QIODevice::ReadOnly))
        return 0;
    for (const QByteArray &line : status.readAll().split('\n'))
        if (line.startsWith("VmRSS:"))
            return line.simplified().split(' ').value(1).toDouble() / 1024;
    return 0;
}
} // namespace

int main(int argc, char *argv[])
{
    MapPageBench::prepare();
    QApplication app(argc, argv);
    // First, in a fresh process (freed pages would hide the growth): 100 edits, deletions of
    // 2,000 points here and there and splits, on the tracks alone.
    double trackMb = 0, heldMb = 0;
    {
        const double base = residentMb();
        QVector<Track> tracks = tenDays();
        trackMb = residentMb() - base;
        TrackEdit::History history(100);
        for (int k = 0; k < 100; ++k) {
            const int t = k % int(tracks.size());
            const int at = int(tracks[t].points.size()) / 3;
            const TrackEdit::Result r = k % 10 == 9
                                            ? TrackEdit::splitAt(tracks, t, at)
                                            : TrackEdit::deleteRange(tracks, t, at, at + 2000);
            if (r.change)
                history.push(tracks, *r.change);
        }
        heldMb = residentMb() - base;
    }

    FixedDisplayUnits units(SpeedUnit::Kmh, HeightUnit::Metres, TimeShown::Utc);
    double del = 1e9, undo = 1e9, redo = 1e9, split = 1e9;
    for (int run = 0; run < 3; ++run) {
        QVector<Track> tracks = tenDays();
        MapWidget widget(&tracks, &units);
        widget.resize(1200, 800);
        widget.show();
        widget.rebuildTrackViews({0});
        QTreeWidgetItem *item = widget.findChild<QTreeWidget *>(QStringLiteral("treeWidget"))
                                    ->topLevelItem(0)
                                    ->child(0);
        widget.TreeWidgetItemDoubleClicked(item, 0);
        QCoreApplication::processEvents();
        TrackEdit::History history;
        // Each step as the window makes it; then the figures worked out in the background are
        // waited for, so that they do not share the cores with the next step.
        const auto step = [&widget](const std::function<void()> &f) {
            bool ready = false;
            const auto c =
                QObject::connect(&widget, &MapWidget::statisticsReady, [&ready] { ready = true; });
            const double t = timed(f);
            QElapsedTimer wait;
            wait.start();
            while (!ready && wait.elapsed() < 20000)
                QCoreApplication::processEvents(QEventLoop::AllEvents, 50);
            QObject::disconnect(c);
            return t;
        };
        del = std::min(del, step([&] {
                           widget.releaseForEdit();
                           history.push(tracks,
                                        *TrackEdit::deleteRange(tracks, 0, 250000, 750000).change);
                           widget.refreshAfterEdit({0}, 0);
                       }));
        undo = std::min(undo, step([&] {
                            widget.releaseForEdit();
                            history.undo(tracks);
                            widget.refreshAfterEdit({0}, 0);
                        }));
        redo = std::min(redo, step([&] {
                            widget.releaseForEdit();
                            history.redo(tracks);
                            widget.refreshAfterEdit({0}, 0);
                        }));
        step([&] {
            widget.releaseForEdit();
            history.undo(tracks);
            widget.refreshAfterEdit({0}, 0);
        });
        split = std::min(split, step([&] {
                             widget.releaseForEdit();
                             history.push(tracks,
                                          *TrackEdit::splitByDay(tracks, 0, TimeShown::Utc).change);
                             widget.refreshAfterEdit({0}, 0);
                         }));
        QCoreApplication::processEvents();
    }

    std::printf("delete 500,000 of 1,000,000 points, views updated: %.3f s (target <= 0.2)\n", del);
    std::printf("undo: %.3f s, redo: %.3f s (target <= 0.2)\n", undo, redo);
    std::printf("split a ten-day 1,000,000-point log by day: %.3f s (target <= 0.5)\n", split);
    std::printf("100 edits: tracks and history %.0f MB against the tracks' %.0f MB: %.2fx "
                "(target <= 2)\n",
                heldMb, trackMb, heldMb / trackMb);
    return 0;
}
