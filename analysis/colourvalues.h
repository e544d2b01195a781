#ifndef COLOURVALUES_H
#define COLOURVALUES_H

#include "model/trackrecords.h"

#include <QString>

#include <optional>
#include <utility>
#include <vector>

// What the map colours a track's line by: the track's own colour, or a value per point.
enum class ColourBy
{
    Track,
    Speed,    // km/h: the logger's speeds or those worked out, a lone spike left out
    Altitude, // metres, for tracks that have altitudes
    Slope,    // per cent, over at least SlopeBaseM of ground
    Time      // seconds since the track's first time
};

namespace ColourValues {

constexpr double SlopeBaseM = 25.0;

// "track", "speed", "altitude", "slope", "time": as stored in the settings.
QString key(ColourBy by);
// ColourBy::Track for any other text.
ColourBy fromKey(const QString &key);

// Each point's value (NaN where it has none); empty for ColourBy::Track.
std::vector<double> of(const Track &track, ColourBy by);

// The 2nd to 98th percentile of all these values, NaN left out; nullopt when there are none.
std::optional<std::pair<double, double>> range(const std::vector<const std::vector<double> *> &all);

// Where a coloured line leaves a gap: segment starts, and the first point after a pause
// longer than the trip figures' gap limit.
std::vector<int> breaks(const Track &track);

} // namespace ColourValues

#endif // COLOURVALUES_H
