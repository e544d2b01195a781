#include "analysis/decimate.h"

#include <cmath>

namespace TripAnalysis {

QVector<QPointF> minMaxDecimate(const double *x, const double *y, size_t n, int buckets)
{
    QVector<QPointF> kept;
    if (n == 0 || buckets < 1)
        return kept;
    if (n <= size_t(buckets) * 2) {
        kept.reserve(qsizetype(n));
        for (size_t i = 0; i < n; ++i)
            if (!std::isnan(y[i]))
                kept.append(QPointF(x[i], y[i]));
        return kept;
    }
    kept.reserve(buckets * 2);
    const double first = x[0];
    const double span = x[n - 1] - first;
    size_t i = 0;
    for (int b = 0; b < buckets && i < n; ++b) {
        // The last bucket takes everything left, so rounding loses no point.
        const double end = b + 1 == buckets ? INFINITY : first + span * (b + 1) / buckets;
        size_t lo = n, hi = n;
        for (; i < n && (x[i] < end || span <= 0); ++i) {
            if (std::isnan(y[i]))
                continue;
            if (lo == n || y[i] < y[lo])
                lo = i;
            if (hi == n || y[i] > y[hi])
                hi = i;
        }
        if (lo == n)
            continue;
        const size_t a = lo < hi ? lo : hi;
        const size_t c = lo < hi ? hi : lo;
        kept.append(QPointF(x[a], y[a]));
        if (c != a)
            kept.append(QPointF(x[c], y[c]));
    }
    return kept;
}

} // namespace TripAnalysis
