#ifndef TRIPSTATS_H
#define TRIPSTATS_H

#include "model/trackrecords.h"
#include "model/units.h"

#include <QString>
#include <QVector>

#include <vector>

// The figures of one track, or of several taken together.
struct TripStats
{
    qint64 points = 0;
    qint64 marks = 0;
    quint32 start = 0; // first and last point time; 0 when no point has a time
    quint32 end = 0;
    qint64 durationS = 0;   // last time - first time, summed over tracks
    qint64 movingTimeS = 0; // intervals whose later point logged >= 1.0 km/h
    double distanceM = 0.0; // WGS84 geodesic, point to point
    double movingDistanceM = 0.0;
    double maxSpeedKmh = 0.0; // the logger's own speeds
    // Altitude figures exist for log format 2 only; without them the rest is 0.
    bool hasAltitude = false;
    double minAltitudeM = 0.0;
    double maxAltitudeM = 0.0;
    double ascentM = 0.0;
    double descentM = 0.0;

    double avgSpeedKmh() const;
    double avgMovingSpeedKmh() const;
};

namespace TripAnalysis {

// A rise or fall counts once it has gone this far from the last turning point.
constexpr double ClimbHysteresisM = 5.0;
// Intervals ending on a point logged at this speed or more are moving.
constexpr quint32 MovingSpeed = 100; // 0.01 km/h

double geodesicLength(const Vec3 &a, const Vec3 &b);
// Length of each step between consecutive points (size - 1 of them), worked
// out on every core for long tracks.
std::vector<double> segmentLengths(const QVector<TrackPoint> &points);
// Distance from the first point to each point, in metres.
std::vector<double> cumulativeDistances(const QVector<TrackPoint> &points);

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
