#ifndef POINTFILTER_H
#define POINTFILTER_H

#include "model/trackrecords.h"
#include "model/units.h"

#include <optional>

// Which points the point list keeps: all, those faster, slower or equal to a speed, or the
// mark points. The speed is held as the logger holds speeds (0.01 km/h), so "equal to 10.1"
// keeps a logged 10.10 km/h.
struct PointFilter
{
    enum class Rule
    {
        All,
        Faster,
        AtLeast,
        Equal,
        Slower,
        AtMost,
        Marks
    };

    Rule rule = Rule::All;
    quint32 speed = 0; // 0.01 km/h

    bool comparesSpeed() const { return rule != Rule::All && rule != Rule::Marks; }
    bool keeps(const TrackPoint &p) const;
    // A speed typed in `unit`, in the logger's steps; nullopt when negative or too large.
    static std::optional<quint32> storedSpeed(double value, SpeedUnit unit);
    // The speed in `unit`, to the hundredth, for showing.
    double speedIn(SpeedUnit unit) const;
    // ">", ">=", "=", "<", "<=", or "" for the rules without a speed.
    const char *sign() const;

    bool operator==(const PointFilter &o) const { return rule == o.rule && speed == o.speed; }
};

#endif // POINTFILTER_H
