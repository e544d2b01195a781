#include "analysis/tripstats.h"

#include <GeographicLib/Geodesic.hpp>

#include <algorithm>
#include <cmath>
#include <thread>

namespace {
// Below this many steps a second thread costs more than it saves.
constexpr int ParallelFrom = 20000;

void lengthsOf(const TrackPoint *points, size_t from, size_t to, double *out)
{
    const GeographicLib::Geodesic &wgs84 = GeographicLib::Geodesic::WGS84();
    for (size_t i = from; i < to; ++i) {
        const Vec3 &a = points[i].position;
        const Vec3 &b = points[i + 1].position;
        double s12 = 0.0;
        wgs84.Inverse(a.x, a.y, b.x, b.y, s12);
        // A damaged position adds nothing rather than poisoning the sum.
        out[i] = std::isfinite(s12) ? s12 : 0.0;
    }
}

// The altitude climbed and descended, ignoring wiggles smaller than the hysteresis.
struct ClimbCounter
{
    bool started = false;
    int trend = 0; // +1 climbing, -1 descending, 0 not yet known
    double turn = 0.0;
    double ascent = 0.0;
    double descent = 0.0;

    void add(double z)
    {
        if (!started) {
            started = true;
            turn = z;
            return;
        }
        const double step = z - turn;
        if (trend > 0 && step > 0) {
            ascent += step;
            turn = z;
        } else if (trend < 0 && step < 0) {
            descent -= step;
            turn = z;
        } else if (step >= TripAnalysis::ClimbHysteresisM) {
            trend = 1;
            ascent += step;
            turn = z;
        } else if (step <= -TripAnalysis::ClimbHysteresisM) {
            trend = -1;
            descent -= step;
            turn = z;
        }
    }
};
} // namespace

double TripStats::avgSpeedKmh() const
{
    return durationS > 0 ? distanceM / double(durationS) * 3.6 : 0.0;
}

double TripStats::avgMovingSpeedKmh() const
{
    return movingTimeS > 0 ? movingDistanceM / double(movingTimeS) * 3.6 : 0.0;
}

namespace TripAnalysis {

double geodesicLength(const Vec3 &a, const Vec3 &b)
{
    double s12 = 0.0;
    GeographicLib::Geodesic::WGS84().Inverse(a.x, a.y, b.x, b.y, s12);
    return s12;
}

std::vector<double> segmentLengths(const QVector<TrackPoint> &points)
{
    const size_t steps = points.size() > 1 ? size_t(points.size() - 1) : 0;
    std::vector<double> lengths(steps);
    const unsigned cores = std::clamp(std::thread::hardware_concurrency(), 1u, 8u);
    if (steps < size_t(ParallelFrom) || cores == 1) {
        lengthsOf(points.constData(), 0, steps, lengths.data());
        return lengths;
    }
    std::vector<std::thread> workers;
    const size_t chunk = (steps + cores - 1) / cores;
    for (size_t from = chunk; from < steps; from += chunk)
        workers.emplace_back(lengthsOf, points.constData(), from, std::min(steps, from + chunk),
                             lengths.data());
    lengthsOf(points.constData(), 0, std::min(steps, chunk), lengths.data());
    for (std::thread &w : workers)
        w.join();
    return lengths;
}

std::vector<double> cumulativeDistances(const QVector<TrackPoint> &points)
{
    std::vector<double> along = segmentLengths(points);
    along.insert(along.begin(), points.isEmpty() ? 0 : 1, 0.0);
    for (size_t i = 1; i < along.size(); ++i)
        along[i] += along[i - 1];
    return along;
}

TripStats trackStats(const Track &track)
{
    TripStats s;
    const QVector<TrackPoint> &points = track.points;
    s.points = points.size();
    s.hasAltitude = track.format == 2 && !points.isEmpty();
    const std::vector<double> lengths = segmentLengths(points);
    ClimbCounter climb;
    int lastTimed = -1;
    double sinceLastTimed = 0.0; // metres walked since the last point with a time
    bool altitudeSeen = false;
    for (int i = 0; i < points.size(); ++i) {
        const TrackPoint &p = points[i];
        s.marks += p.marked != 0;
        if (p.hasSpeed())
            s.maxSpeedKmh = std::max(s.maxSpeedKmh, p.speed / 100.0);
        if (i > 0) {
            s.distanceM += lengths[size_t(i - 1)];
            sinceLastTimed += lengths[size_t(i - 1)];
        }
        // A point without an altitude has none to count.
        if (s.hasAltitude && p.hasAltitude()) {
            const double z = p.position.z;
            s.minAltitudeM = altitudeSeen ? std::min(s.minAltitudeM, z) : z;
            s.maxAltitudeM = altitudeSeen ? std::max(s.maxAltitudeM, z) : z;
            altitudeSeen = true;
            climb.add(z);
        }
        // A point without a time (or at time 0, an impossible date) counts, but not in time.
        if (!p.hasTime())
            continue;
        if (lastTimed < 0) {
            s.start = p.time;
        } else if (p.time > points[lastTimed].time && p.speed >= MovingSpeed) {
            s.movingTimeS += qint64(p.time) - qint64(points[lastTimed].time);
            s.movingDistanceM += sinceLastTimed;
        }
        s.end = p.time;
        lastTimed = i;
        sinceLastTimed = 0.0;
    }
    s.hasAltitude = s.hasAltitude && altitudeSeen;
    s.durationS = std::max<qint64>(0, qint64(s.end) - qint64(s.start));
    s.ascentM = climb.ascent;
    s.descentM = climb.descent;
    return s;
}

QVector<TripStats> allTrackStats(const QVector<Track> &tracks)
{
    QVector<TripStats> all;
    all.reserve(tracks.size());
    for (const Track &t : tracks)
        all.append(trackStats(t));
    return all;
}

TripStats combined(const QVector<TripStats> &parts)
{
    TripStats total;
    bool anyAltitude = false;
    for (const TripStats &p : parts) {
        total.points += p.points;
        total.marks += p.marks;
        if (p.start != 0 && (total.start == 0 || p.start < total.start))
            total.start = p.start;
        total.end = std::max(total.end, p.end);
        total.durationS += p.durationS;
        total.movingTimeS += p.movingTimeS;
        total.distanceM += p.distanceM;
        total.movingDistanceM += p.movingDistanceM;
        total.maxSpeedKmh = std::max(total.maxSpeedKmh, p.maxSpeedKmh);
        if (!p.hasAltitude)
            continue;
        total.minAltitudeM =
            anyAltitude ? std::min(total.minAltitudeM, p.minAltitudeM) : p.minAltitudeM;
        total.maxAltitudeM =
            anyAltitude ? std::max(total.maxAltitudeM, p.maxAltitudeM) : p.maxAltitudeM;
        total.ascentM += p.ascentM;
        total.descentM += p.descentM;
        anyAltitude = true;
    }
    total.hasAltitude = anyAltitude;
    return total;
}

QString distanceText(double metres, SpeedUnit unit)
{
    if (unit == SpeedUnit::Kmh)
        return QStringLiteral("%1 km").arg(metres / 1000.0, 0, 'f', 2);
    return QStringLiteral("%1 mi").arg(metres / Units::MetresPerMile, 0, 'f', 2);
}

QString speedText(double kmh, SpeedUnit unit)
{
    if (unit == SpeedUnit::Kmh)
        return QStringLiteral("%1 km/h").arg(kmh, 0, 'f', 1);
    return QStringLiteral("%1 mph").arg(kmh * 1000.0 / Units::MetresPerMile, 0, 'f', 1);
}

QString heightText(double metres, HeightUnit unit)
{
    if (unit == HeightUnit::Metres)
        return QStringLiteral("%1 m").arg(metres, 0, 'f', 0);
    return QStringLiteral("%1 ft").arg(metres * Units::FeetPerMetre, 0, 'f', 0);
}

QString durationText(qint64 seconds)
{
    return QStringLiteral("%1:%2:%3")
        .arg(seconds / 3600)
        .arg(seconds / 60 % 60, 2, 10, QLatin1Char('0'))
        .arg(seconds % 60, 2, 10, QLatin1Char('0'));
}

FigureTexts figureTexts(const TripStats &s, SpeedUnit speedUnit, HeightUnit heightUnit)
{
    const auto height = [&](double v) {
        return s.hasAltitude ? heightText(v, heightUnit) : QStringLiteral("-");
    };
    return {distanceText(s.distanceM, speedUnit),
            durationText(s.durationS),
            durationText(s.movingTimeS),
            speedText(s.avgSpeedKmh(), speedUnit),
            speedText(s.avgMovingSpeedKmh(), speedUnit),
            speedText(s.maxSpeedKmh, speedUnit),
            height(s.minAltitudeM),
            height(s.maxAltitudeM),
            height(s.ascentM),
            height(s.descentM)};
}

} // namespace TripAnalysis
