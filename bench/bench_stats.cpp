// Trip figures and the profile on big tracks:
// - the figures of 1,000,000 points (target at most 0.5 s);
// - how long the window's GUI thread is held when the tracks change: the
//   largest set it still works out in place, and a 1,000,000-point set
//   handed to another thread (target under 50 ms each);
// - the profile of a 200,000-point track built and shown (target at most
//   0.3 s), the points it draws (at most 4,000 per series), and the memory
//   it keeps for a 1,000,000-point track (target under 30 MB).
#include "analysis/tripstats.h"
#include "bench/mappagebench.h"
#include "model/conversions.h"
#include "model/units.h"
#include "tools/sim/loggersimulator.h"
#include "view/mapwidget.h"
#include "view/profilechart.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QLineSeries>
#include <QSignalSpy>

#include <cstdio>

namespace {

Track bigTrack(int points)
{
    const SimulatedTrack sim = LoggerSimulator::makeTrack(2, points, 7, 1239437700u);
    Track track{1239437700u, 2, {}};
    track.points.reserve(points);
    for (const DeviceTrackPoint &p : sim.points)
        track.points.append(trackPointFromRecord(p));
    return track;
}

// Resident memory in MB (Linux); 0 elsewhere.
double residentMb()
{
    QFile f(QStringLiteral("/proc/self/statm"));
    if (!f.open(QIODevice::ReadOnly))
        return 0;
    const QList<QByteArray> fields = f.readAll().split(' ');
    return fields.size() > 1 ? fields[1].toDouble() * 4096 / 1048576.0 : 0;
}

double seconds(const QElapsedTimer &t)
{
    return t.nsecsElapsed() / 1e9;
}

} // namespace

int main(int argc, char *argv[])
{
    MapPageBench::prepare();
    QApplication app(argc, argv);

    const Track million = bigTrack(1000000);
    QElapsedTimer t;
    t.start();
    const TripStats s = TripAnalysis::trackStats(million);
    std::printf("figures of 1,000,000 points: %.3f s (target <= 0.5; %.1f km)\n", seconds(t),
                s.distanceM / 1000);

    FixedDisplayUnits settings(SpeedUnit::Kmh, HeightUnit::Metres, TimeShown::Local);
    QVector<Track> tracks{bigTrack(19999)};
    MapWidget widget(&tracks, &settings);
    widget.resize(1200, 800);
    widget.show();
    t.restart();
    widget.rebuildTrackViews();
    const double inPlace = seconds(t);
    tracks = {million};
    QSignalSpy ready(&widget, &MapWidget::statisticsReady);
    t.restart();
    widget.rebuildTrackViews();
    const double handedOn = seconds(t);
    // rebuildTrackViews also sends every point to the map; count the figures alone.
    t.restart();
    ready.wait(10000);
    std::printf("GUI thread held by the figures: 19,999 points in place %.3f s (with the map "
                "lines), 1,000,000 points handed on; figures ready %.3f s later (rebuild %.3f s)\n",
                inPlace, seconds(t), handedOn);

    // The profile alone, as the point list fills it.
    ProfileChart chart(&settings);
    chart.resize(600, 300);
    chart.show();
    const Track twoHundred = bigTrack(200000);
    t.restart();
    chart.setPoints(twoHundred.points, 2);
    QCoreApplication::processEvents(); // laid out and painted
    std::printf("profile of 200,000 points built and shown: %.3f s (target <= 0.3); drawn %lld "
                "speed, %lld altitude points (target <= 4000)\n",
                seconds(t), qlonglong(chart.speedSeries()->count()),
                qlonglong(chart.altitudeSeries()->count()));
    chart.setPoints({}, 2);
    QCoreApplication::processEvents();
    const double before = residentMb();
    chart.setPoints(million.points, 2);
    QCoreApplication::processEvents();
    std::printf("memory the profile keeps for 1,000,000 points: %.1f MB (target < 30)\n",
                residentMb() - before);
    return 0;
}
