#ifndef TRIPSTATS_H
#define TRIPSTATS_H

#include "model/trackrecords.h"
#include "model/units.h"

#include <QString>
#include <QVector>

#include <algorithm>

#include <vector>

// The figures of one track, or of several taken together.
struct TripStats
{
    qint64 points = 0;
    qint64 marks = 0;
    bool hasTime = false; // whether any point has a time
    quint32 start = 0;    // first and last point time; 0 when no point has a time
    quint32 end = 0;
    qint64 durationS = 0;   // last time - first time, summed over tracks
    qint64 movingTimeS = 0; // steps that moved (see MovingSpeed), pauses left out
    double distanceM = 0.0; // WGS84 geodesic, point to point within segments
    double movingDistanceM = 0.0;
    double maxSpeedKmh = 0.0; // the logger's own speeds, or those worked out
    // Altitude figures exist for log format 2 only; without them the rest is 0.
    bool hasAltitude = false;
    double minAltitudeM = 0.0;
    double maxAltitudeM = 0.0;
    double ascentM = 0.0;
    double descentM = 0.0;
    // Other devices' heart rate, cadence, temperature and power: over the points that have
    // each (the logger records none).
    struct Sensor
    {
        qint64 count = 0;
        double sum = 0;
        int max = 0;
        void add(int v)
        {
            max = count == 0 ? v : std::max(max, v);
            sum += v;
            ++count;
        }
        double avg() const { return count > 0 ? sum / double(count) : 0.0; }
    };
    Sensor heartRate, cadence, temperature, power;

    double avgSpeedKmh() const;
    double avgMovingSpeedKmh() const;
};

namespace TripAnalysis {

// Altitudes that stray from their neighbours like noise of more than CleanAltitudeM are
// smoothed over a centred window of ClimbSmoothingS before climbing is counted; a rise or
// fall then counts once it has gone ClimbHysteresisM from the last turning point.
constexpr double CleanAltitudeM = 0.25;
constexpr double ClimbSmoothingS = 80.0;
constexpr double ClimbHysteresisM = 5.0;
// A step is moving when the speed the logger logged at its end is at least this; for speeds
// worked out from positions, when the ground covered over a centred window of
// MovingWindowS seconds is at least this fast.
constexpr quint32 MovingSpeed = 100; // 0.01 km/h
constexpr double MovingWindowS = 30.0;
// A step within a segment longer than this (or four times the segment's usual step) is a
// pause: the logger was off.
constexpr double GapLimitS = 600.0;
// Speeds worked out from positions: over a centred window of this many seconds.
constexpr double SpeedWindowS = 10.0;

double geodesicLength(const Vec3 &a, const Vec3 &b);
// Metres on a sphere: within 0.5 % of the geodesic at a fraction of its cost; enough to
// tell moving from standing, or to find the nearest point.
double roughDistance(const Vec3 &a, const Vec3 &b);
// Length of each step between consecutive points (size - 1 of them), 0 into a point that
// starts a segment; worked out on every core for long tracks.
std::vector<double> stepLengths(const QVector<TrackPoint> &points);
// Distance from the first point to each point along the track, in metres.
std::vector<double> cumulativeDistances(const QVector<TrackPoint> &points);
// Speeds for the points marked as having none, from the exact times and the positions over
// SpeedWindowS around each point within its segment (so one jumpy fix is no top speed);
// marked as worked out. Points where none can be worked out keep none.
void workOutSpeeds(Track &track);

TripStats trackStats(const Track &track);
QVector<TripStats> allTrackStats(const QVector<Track> &tracks);
// The figures of several tracks together: sums, extremes, durations added.
TripStats combined(const QVector<TripStats> &parts);

// Texts in the user's units.
QString distanceText(double metres, SpeedUnit unit);
QString speedText(double kmh, SpeedUnit unit);
QString heightText(double metres, HeightUnit unit);
QString durationText(qint64 seconds); // h:mm:ss

// Every figure of `s` as text in the user's units; "-" for the altitude
// figures of a track that has none.
struct FigureTexts
{
    QString distance, duration, movingTime, averageSpeed, movingAverage, maximumSpeed;
    QString lowest, highest, ascent, descent;
};
FigureTexts figureTexts(const TripStats &s, SpeedUnit speedUnit, HeightUnit heightUnit);

} // namespace TripAnalysis

#endif // TRIPSTATS_H
