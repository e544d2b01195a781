#include "analysis/decimate.h"

#include <algorithm>
#include <cmath>

namespace TripAnalysis {

namespace {
// The lowest and highest point of x in [from, end) (any x, when the span is empty); both n
// when every y there is not a number. Returns where the scan stopped.
size_t scanBucket(const double *x, const double *y, size_t n, size_t from, double end, bool flat,
                  size_t *lo, size_t *hi)
{
    *lo = *hi = n;
    size_t i = from;
    for (; i < n && (x[i] < end || flat); ++i) {
        if (std::isnan(y[i]))
            continue;
        if (*lo == n || y[i] < y[*lo])
            *lo = i;
        if (*hi == n || y[i] > y[*hi])
            *hi = i;
    }
    return i;
}
} // namespace

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
        i = scanBucket(x, y, n, i, end, span <= 0, &lo, &hi);
        if (lo == n)
            continue;
        const size_t a = std::min(lo, hi);
        const size_t c = std::max(lo, hi);
        kept.append(QPointF(x[a], y[a]));
        if (c != a)
            kept.append(QPointF(x[c], y[c]));
    }
    return kept;
}

} // namespace TripAnalysis
