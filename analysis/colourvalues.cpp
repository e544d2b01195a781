#include "analysis/colourvalues.h"

#include "analysis/tripstats.h"

#include <algorithm>
#include <cmath>

namespace ColourValues {

namespace {

const char *const Keys[] = {"track", "speed", "altitude", "slope", "time"};

// Speeds with a lone spike taken out: the median of each point and its neighbours within
// its segment.
std::vector<double> speeds(const QVector<TrackPoint> &p)
{
    const int n = int(p.size());
    std::vector<double> raw(size_t(n), NAN), out(size_t(n), NAN);
    for (int i = 0; i < n; ++i)
        if (p[i].hasSpeed())
            raw[size_t(i)] = p[i].speed / 100.0;
    for (int i = 0; i < n; ++i) {
        const double v = raw[size_t(i)];
        if (std::isnan(v))
            continue;
        // Neighbours across a segment start or without a speed do not count.
        const double before = i > 0 && !p[i].startsSegment() ? raw[size_t(i) - 1] : NAN;
        const double after = i + 1 < n && !p[i + 1].startsSegment() ? raw[size_t(i) + 1] : NAN;
        if (std::isnan(before) || std::isnan(after))
            out[size_t(i)] = v;
        else // the median of three
            out[size_t(i)] =
                std::max(std::min(before, after), std::min(std::max(before, after), v));
    }
    return out;
}

// Rise over run in per cent, from the point at least SlopeBaseM of ground back in its
// segment; none where the segment has not gone that far yet.
std::vector<double> slopes(const Track &track)
{
    const QVector<TrackPoint> &p = track.points;
    std::vector<double> out(size_t(p.size()), NAN);
    if (!track.hasAltitudes())
        return out;
    const std::vector<double> along = TripAnalysis::cumulativeDistances(p);
    int from = 0;
    for (int i = 0; i < p.size(); ++i) {
        if (p[i].startsSegment())
            from = i;
        if (!p[i].hasAltitude())
            continue;
        int j = i;
        while (j > from &&
               (along[size_t(i)] - along[size_t(j)] < SlopeBaseM || !p[j].hasAltitude()))
            --j;
        const double run = along[size_t(i)] - along[size_t(j)];
        if (run >= SlopeBaseM && p[j].hasAltitude())
            out[size_t(i)] = (p[i].position.z - p[j].position.z) / run * 100.0;
    }
    return out;
}

} // namespace

QString key(ColourBy by)
{
    return QString::fromLatin1(Keys[int(by)]);
}

ColourBy fromKey(const QString &text)
{
    for (int i = 0; i < int(std::size(Keys)); ++i)
        if (text == QLatin1String(Keys[i]))
            return ColourBy(i);
    return ColourBy::Track;
}

std::vector<double> of(const Track &track, ColourBy by)
{
    const QVector<TrackPoint> &p = track.points;
    std::vector<double> values;
    switch (by) {
    case ColourBy::Track:
        break;
    case ColourBy::Speed:
        values = speeds(p);
        break;
    case ColourBy::Altitude:
        values.assign(size_t(p.size()), NAN);
        for (int i = 0; track.hasAltitudes() && i < p.size(); ++i)
            if (p[i].hasAltitude())
                values[size_t(i)] = p[i].position.z;
        break;
    case ColourBy::Slope:
        values = slopes(track);
        break;
    case ColourBy::Time: {
        values.assign(size_t(p.size()), NAN);
        const auto first =
            std::find_if(p.cbegin(), p.cend(), [](const TrackPoint &q) { return q.hasTime(); });
        for (int i = 0; first != p.cend() && i < p.size(); ++i)
            if (p[i].hasTime())
                values[size_t(i)] = p[i].exactTime() - first->exactTime();
        break;
    }
    }
    return values;
}

std::optional<std::pair<double, double>> range(const std::vector<const std::vector<double> *> &all)
{
    std::vector<double> known;
    for (const std::vector<double> *values : all)
        for (double v : *values)
            if (!std::isnan(v))
                known.push_back(v);
    if (known.empty())
        return std::nullopt;
    const auto at = [&](double q) {
        const auto k = known.begin() + std::ptrdiff_t(std::llround(q * double(known.size() - 1)));
        std::nth_element(known.begin(), k, known.end());
        return *k;
    };
    const double lo = at(0.02), hi = at(0.98);
    return std::make_pair(lo, hi);
}

std::vector<int> breaks(const Track &track)
{
    const QVector<TrackPoint> &p = track.points;
    std::vector<int> out;
    for (int i = 1; i < p.size(); ++i)
        if (p[i].startsSegment() ||
            (p[i].hasTime() && p[i - 1].hasTime() &&
             p[i].exactTime() - p[i - 1].exactTime() > TripAnalysis::GapLimitS))
            out.push_back(i);
    return out;
}

} // namespace ColourValues
