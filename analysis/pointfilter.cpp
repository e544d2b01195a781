#include "analysis/pointfilter.h"

#include <cmath>

bool PointFilter::keeps(const TrackPoint &p) const
{
    switch (rule) {
    case Rule::All:
        return true;
    case Rule::Faster:
        return p.speed > speed;
    case Rule::AtLeast:
        return p.speed >= speed;
    case Rule::Equal:
        return p.speed == speed;
    case Rule::Slower:
        return p.speed < speed;
    case Rule::AtMost:
        return p.speed <= speed;
    case Rule::Marks:
        return p.marked != 0;
    }
    return false;
}

std::optional<quint32> PointFilter::storedSpeed(double value, SpeedUnit unit)
{
    const double steps =
        std::round(value * (unit == SpeedUnit::Mph ? Units::KmPerMile : 1.0) * 100.0);
    if (!(steps >= 0) || steps > double(0xFFFFFFFFu))
        return std::nullopt;
    return quint32(steps);
}

double PointFilter::speedIn(SpeedUnit unit) const
{
    // To the hundredth the list shows: 10 mph is held as 16.09 km/h and shows as 10 again.
    return std::round(speed / (unit == SpeedUnit::Mph ? Units::KmPerMile : 1.0)) / 100.0;
}

const char *PointFilter::sign() const
{
    static const char *const signs[] = {"", ">", ">=", "=", "<", "<=", ""};
    return signs[int(rule)];
}
