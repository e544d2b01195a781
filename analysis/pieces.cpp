#include "analysis/pieces.h"

#include <cmath>

namespace Pieces {

namespace {

// Pieces between consecutive boundaries (ascending point indexes), the last to the end;
// none of a single point.
QVector<Piece> between(QVector<int> bounds, int size)
{
    QVector<Piece> out;
    bounds.prepend(0);
    bounds.append(size - 1);
    for (int k = 1; k < bounds.size(); ++k)
        if (bounds[k] > bounds[k - 1])
            out.append({bounds[k - 1], bounds[k]});
    if (out.isEmpty() && size > 0)
        out.append({0, size - 1});
    return out;
}

} // namespace

QVector<Piece> laps(const Track &track)
{
    QVector<int> marks;
    for (int i = 0; i < track.points.size(); ++i)
        if (track.points[i].marked != 0)
            marks << i;
    return between(marks, int(track.points.size()));
}

QVector<Piece> byDistance(const Track &track, double metres)
{
    QVector<int> bounds;
    if (metres > 0) {
        const std::vector<double> along = TripAnalysis::cumulativeDistances(track.points);
        double next = metres;
        for (int i = 0; i < int(along.size()); ++i)
            if (along[size_t(i)] >= next) {
                bounds << i;
                next = (std::floor(along[size_t(i)] / metres) + 1) * metres;
            }
    }
    return between(bounds, int(track.points.size()));
}

QVector<Piece> byTime(const Track &track, double seconds)
{
    QVector<int> bounds;
    double start = NAN, next = 0;
    for (int i = 0; seconds > 0 && i < track.points.size(); ++i) {
        const TrackPoint &p = track.points[i];
        if (!p.hasTime())
            continue;
        if (std::isnan(start)) {
            start = p.exactTime();
            next = seconds;
        } else if (p.exactTime() - start >= next) {
            bounds << i;
            next = (std::floor((p.exactTime() - start) / seconds) + 1) * seconds;
        }
    }
    return between(bounds, int(track.points.size()));
}

TripStats stats(const Track &track, Piece piece)
{
    Track part = track;
    part.points = track.points.mid(piece.from, piece.to - piece.from + 1);
    return TripAnalysis::trackStats(part);
}

} // namespace Pieces
