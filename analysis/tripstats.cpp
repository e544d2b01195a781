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
        // Nothing is covered across a segment break: the logger was off.
        if (points[i + 1].startsSegment()) {
            out[i] = 0.0;
            continue;
        }
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

struct Climb
{
    double ascent = 0.0;
    double descent = 0.0;
};

// The points [from, to) of one segment.
struct Span
{
    int from;
    int to;
};

std::vector<Span> segmentsOf(const QVector<TrackPoint> &points)
{
    std::vector<Span> spans;
    int from = 0;
    for (int i = 1; i <= points.size(); ++i)
        if (i == points.size() || points[i].startsSegment()) {
            spans.push_back({from, i});
            from = i;
        }
    return spans;
}

// The points of a segment that have a time, and whether their times never run back (a
// window in time means something only then).
struct Timed
{
    std::vector<int> points;
    bool ordered = true;
};

Timed timedPoints(const QVector<TrackPoint> &points, Span segment)
{
    Timed timed;
    for (int i = segment.from; i < segment.to; ++i) {
        if (!points[i].hasTime())
            continue;
        if (!timed.points.empty() &&
            points[i].exactTime() < points[timed.points.back()].exactTime())
            timed.ordered = false;
        timed.points.push_back(i);
    }
    return timed;
}

// Within a segment, a step longer than this is the logger off or asleep, not movement: ten
// minutes, or four times the segment's usual step for a logger set to log rarely.
double gapLimit(const QVector<TrackPoint> &points, const std::vector<int> &timed)
{
    std::vector<double> steps;
    steps.reserve(timed.size());
    for (size_t k = 1; k < timed.size(); ++k)
        if (double dt = points[timed[k]].exactTime() - points[timed[k - 1]].exactTime(); dt > 0)
            steps.push_back(dt);
    if (steps.empty())
        return TripAnalysis::GapLimitS;
    auto middle = steps.begin() + std::ptrdiff_t(steps.size() / 2);
    std::nth_element(steps.begin(), middle, steps.end());
    return std::max(TripAnalysis::GapLimitS, 4 * *middle);
}

// A window over a segment's timed points (in time order) that only moves forward.
struct Window
{
    const QVector<TrackPoint> &points;
    const std::vector<int> &timed;
    size_t lo = 0, hi = 0;

    double at(size_t j) const { return points[timed[j]].exactTime(); }
    // lo: the last point at or before `from`, but at most `loMost`; hi: the first at or after
    // `to`, but at least `hiLeast`; both as far as the points reach.
    void cover(double from, double to, size_t loMost, size_t hiLeast)
    {
        while (lo < loMost && at(lo + 1) <= from)
            ++lo;
        hi = std::max(hi, hiLeast);
        while (hi + 1 < timed.size() && at(hi) < to)
            ++hi;
    }
    double seconds() const { return at(hi) - at(lo); }
    const Vec3 &start() const { return points[timed[lo]].position; }
    const Vec3 &end() const { return points[timed[hi]].position; }
};

// Whether the ground covered over the window around the middle of step k (between timed
// points k - 1 and k) shows movement.
bool coversGround(Window &w, size_t k)
{
    const double half = TripAnalysis::MovingWindowS / 2;
    const double middle = (w.at(k) + w.at(k - 1)) / 2;
    w.cover(middle - half, middle + half, k - 1, k);
    return w.seconds() > 0 && TripAnalysis::roughDistance(w.start(), w.end()) / w.seconds() * 3.6 >=
                                  TripAnalysis::MovingSpeed / 100.0;
}

// Adds the moving distance of one segment's steps between timed points and returns their
// moving seconds. A step is moving when the logger's own speed at its end says so; where
// speeds are worked out from positions (or missing), when the ground covered over the
// window around the step's middle does: jitter while standing covers next to none.
double addMoving(const QVector<TrackPoint> &points, const std::vector<double> &lengths,
                 const Timed &timed, double *movingDistance)
{
    const std::vector<int> &t = timed.points;
    const double limit = gapLimit(points, t);
    double seconds = 0.0;
    Window w{points, t};
    for (size_t k = 1; k < t.size(); ++k) {
        const TrackPoint &p = points[t[k]];
        const double dt = p.exactTime() - points[t[k - 1]].exactTime();
        if (!(dt > 0) || dt > limit)
            continue;
        const bool logged = p.hasSpeed() && !(p.flags & TrackPoint::SpeedComputed);
        const bool moving =
            logged || !timed.ordered ? p.speed >= TripAnalysis::MovingSpeed : coversGround(w, k);
        if (!moving)
            continue;
        seconds += dt;
        for (int i = t[k - 1]; i < t[k]; ++i)
            *movingDistance += lengths[size_t(i)];
    }
    return seconds;
}

// The centred mean of `v` over the window around each time `t` (nondecreasing). Near the
// ends the window shrinks on both sides alike, so a steady climb stays unbent there.
std::vector<double> windowMean(const std::vector<double> &t, const std::vector<double> &v,
                               double half)
{
    std::vector<double> sums(v.size() + 1, 0.0);
    for (size_t k = 0; k < v.size(); ++k)
        sums[k + 1] = sums[k] + v[k];
    std::vector<double> mean(v.size());
    size_t a = 0, b = 0;
    for (size_t k = 0; k < v.size(); ++k) {
        const double h = std::min({half, t[k] - t.front(), t.back() - t[k]});
        while (t[a] < t[k] - h)
            ++a;
        while (b < v.size() && t[b] <= t[k] + h)
            ++b;
        mean[k] = (sums[b] - sums[a]) / double(b - a);
    }
    return mean;
}

// How far altitudes stray from the line through their neighbours, as the standard deviation
// of white noise that would stray as far (a robust median estimate).
double altitudeNoise(const std::vector<double> &t, const std::vector<double> &z)
{
    std::vector<double> off;
    off.reserve(z.size());
    for (size_t k = 1; k + 1 < z.size(); ++k) {
        const double span = t[k + 1] - t[k - 1];
        const double w = span > 0 ? (t[k] - t[k - 1]) / span : 0.5;
        off.push_back(std::fabs(z[k] - (z[k - 1] + w * (z[k + 1] - z[k - 1]))));
    }
    if (off.empty())
        return 0.0;
    auto middle = off.begin() + std::ptrdiff_t(off.size() / 2);
    std::nth_element(off.begin(), middle, off.end());
    return 1.4826 * *middle / std::sqrt(1.5);
}

// Ascent and descent of one segment. Noisy altitudes (GPS) are smoothed in time first: a
// centred moving average, applied a second time to what it took away ("twicing"), which keeps
// the tops and bottoms of real hills while the noise, even noise that wanders for half a
// minute, mostly cancels. Altitudes without noise (a barometer's, a made-up track's) keep
// every bump. Then a rise or fall counts once it has gone beyond the hysteresis. A segment
// whose altitudes are not all timed in order is counted unsmoothed.
Climb climbOf(const QVector<TrackPoint> &points, Span segment)
{
    std::vector<double> t, z;
    bool timed = true;
    for (int i = segment.from; i < segment.to; ++i) {
        const TrackPoint &p = points[i];
        if (!p.hasAltitude())
            continue;
        timed = timed && p.hasTime() && (t.empty() || p.exactTime() >= t.back());
        t.push_back(p.exactTime());
        z.push_back(p.position.z);
    }
    if (timed && z.size() > 2 && altitudeNoise(t, z) > TripAnalysis::CleanAltitudeM) {
        const double half = TripAnalysis::ClimbSmoothingS / 2;
        const std::vector<double> smooth = windowMean(t, z, half);
        std::vector<double> rest(z.size());
        for (size_t k = 0; k < z.size(); ++k)
            rest[k] = z[k] - smooth[k];
        const std::vector<double> back = windowMean(t, rest, half);
        for (size_t k = 0; k < z.size(); ++k)
            z[k] = smooth[k] + back[k];
    }
    ClimbCounter counter;
    for (double v : z)
        counter.add(v);
    return {counter.ascent, counter.descent};
}
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

double roughDistance(const Vec3 &a, const Vec3 &b)
{
    constexpr double Radius = 6371008.8;
    constexpr double Rad = M_PI / 180.0;
    const double sinLat = std::sin((b.x - a.x) * Rad / 2);
    const double sinLon = std::sin((b.y - a.y) * Rad / 2);
    const double h = sinLat * sinLat + std::cos(a.x * Rad) * std::cos(b.x * Rad) * sinLon * sinLon;
    const double d = 2 * Radius * std::asin(std::sqrt(std::clamp(h, 0.0, 1.0)));
    return std::isfinite(d) ? d : 0.0;
}

double geodesicLength(const Vec3 &a, const Vec3 &b)
{
    double s12 = 0.0;
    GeographicLib::Geodesic::WGS84().Inverse(a.x, a.y, b.x, b.y, s12);
    return s12;
}

std::vector<double> stepLengths(const QVector<TrackPoint> &points)
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
    std::vector<double> along = stepLengths(points);
    along.insert(along.begin(), points.isEmpty() ? 0 : 1, 0.0);
    for (size_t i = 1; i < along.size(); ++i)
        along[i] += along[i - 1];
    return along;
}

void workOutSpeeds(Track &track)
{
    QVector<TrackPoint> &p = track.points;
    const double half = SpeedWindowS / 2;
    for (const Span &segment : segmentsOf(p)) {
        const Timed timed = timedPoints(p, segment);
        Window w{p, timed.points};
        for (size_t k = 0; k < timed.points.size(); ++k) {
            TrackPoint &q = p[timed.points[k]];
            if (!(q.flags & TrackPoint::NoSpeed))
                continue; // the file's own
            if (timed.ordered) {
                w.cover(w.at(k) - half, w.at(k) + half, k, k);
            } else { // times out of order: the step from the point before only
                w.lo = k > 0 ? k - 1 : 0;
                w.hi = k;
            }
            const double kmh = geodesicLength(w.start(), w.end()) / w.seconds() * 3.6;
            if (w.seconds() > 0 && std::isfinite(kmh) && kmh < 4e7) {
                q.speed = quint32(std::lround(kmh * 100));
                q.flags = quint8((q.flags & ~TrackPoint::NoSpeed) | TrackPoint::SpeedComputed);
            }
        }
    }
}

namespace {
void addSensors(TripStats *s, const TrackPoint &p)
{
    if (p.heartRate != TrackPoint::NoHeartRate)
        s->heartRate.add(p.heartRate);
    if (p.cadence != TrackPoint::NoCadence)
        s->cadence.add(p.cadence);
    if (p.temperature != TrackPoint::NoTemperature)
        s->temperature.add(p.temperature);
    if (p.power != TrackPoint::NoPower)
        s->power.add(p.power);
}
} // namespace

TripStats trackStats(const Track &track)
{
    TripStats s;
    const QVector<TrackPoint> &points = track.points;
    s.points = points.size();
    const std::vector<double> lengths = stepLengths(points);
    bool altitudeSeen = false;
    for (int i = 0; i < points.size(); ++i) {
        const TrackPoint &p = points[i];
        s.marks += p.marked != 0;
        if (p.hasSpeed())
            s.maxSpeedKmh = std::max(s.maxSpeedKmh, p.speed / 100.0);
        if (i > 0)
            s.distanceM += lengths[size_t(i - 1)];
        if (track.hasAltitudes() && p.hasAltitude()) {
            s.minAltitudeM = altitudeSeen ? std::min(s.minAltitudeM, p.position.z) : p.position.z;
            s.maxAltitudeM = altitudeSeen ? std::max(s.maxAltitudeM, p.position.z) : p.position.z;
            altitudeSeen = true;
        }
        if (p.hasSensors())
            addSensors(&s, p);
        if (p.hasTime()) {
            s.start = s.hasTime ? s.start : p.time;
            s.hasTime = true;
            s.end = p.time;
        }
    }
    s.hasAltitude = altitudeSeen;
    s.durationS = std::max<qint64>(0, qint64(s.end) - qint64(s.start));

    double movingSeconds = 0.0;
    for (const Span &segment : segmentsOf(points)) {
        movingSeconds +=
            addMoving(points, lengths, timedPoints(points, segment), &s.movingDistanceM);
        if (s.hasAltitude) {
            const Climb c = climbOf(points, segment);
            s.ascentM += c.ascent;
            s.descentM += c.descent;
        }
    }
    s.movingTimeS = std::llround(movingSeconds);
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
        if (p.hasTime && (!total.hasTime || p.start < total.start))
            total.start = p.start;
        total.hasTime |= p.hasTime;
        total.end = std::max(total.end, p.end);
        total.durationS += p.durationS;
        total.movingTimeS += p.movingTimeS;
        total.distanceM += p.distanceM;
        total.movingDistanceM += p.movingDistanceM;
        total.maxSpeedKmh = std::max(total.maxSpeedKmh, p.maxSpeedKmh);
        for (auto [sum, part] :
             {std::pair{&total.heartRate, &p.heartRate}, std::pair{&total.cadence, &p.cadence},
              std::pair{&total.temperature, &p.temperature}, std::pair{&total.power, &p.power}}) {
            if (part->count == 0)
                continue;
            sum->max = sum->count == 0 ? part->max : std::max(sum->max, part->max);
            sum->count += part->count;
            sum->sum += part->sum;
        }
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
    // Without times there is no duration or average speed to show, not 0.
    const auto timed = [&](const QString &text) { return s.hasTime ? text : QStringLiteral("-"); };
    return {distanceText(s.distanceM, speedUnit),
            timed(durationText(s.durationS)),
            timed(durationText(s.movingTimeS)),
            timed(speedText(s.avgSpeedKmh(), speedUnit)),
            timed(speedText(s.avgMovingSpeedKmh(), speedUnit)),
            speedText(s.maxSpeedKmh, speedUnit),
            height(s.minAltitudeM),
            height(s.maxAltitudeM),
            height(s.ascentM),
            height(s.descentM)};
}

} // namespace TripAnalysis
