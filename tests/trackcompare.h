#ifndef TRACKCOMPARE_H
#define TRACKCOMPARE_H

#include "model/trackrecords.h"

// True when both lists hold the same tracks with the same points, to the bit.
// `withField7` also compares the uninterpreted field a TKR file does not keep.
inline bool samePoints(const QVector<Track> &a, const QVector<Track> &b, bool withField7 = false)
{
    if (a.size() != b.size())
        return false;
    for (int t = 0; t < a.size(); ++t) {
        if (a[t].startTime != b[t].startTime || a[t].format != b[t].format ||
            a[t].points.size() != b[t].points.size())
            return false;
        for (int i = 0; i < a[t].points.size(); ++i) {
            const TrackPoint &p = a[t].points[i];
            const TrackPoint &q = b[t].points[i];
            if (p.position.x != q.position.x || p.position.y != q.position.y ||
                p.position.z != q.position.z || p.time != q.time || p.speed != q.speed ||
                p.marked != q.marked || (withField7 && p.field7 != q.field7))
                return false;
        }
    }
    return true;
}

#endif // TRACKCOMPARE_H
