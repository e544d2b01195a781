#ifndef DECIMATE_H
#define DECIMATE_H

#include <QPointF>
#include <QVector>

#include <cstddef>

namespace TripAnalysis {

// Thins a line for drawing: of each of `buckets` equal x ranges it keeps the
// lowest and the highest point, in their order, so at most 2 * buckets points
// remain and no peak or dip is lost. `x` must be ascending; points whose y is
// not a number are left out.
QVector<QPointF> minMaxDecimate(const double *x, const double *y, size_t n, int buckets);

} // namespace TripAnalysis

#endif // DECIMATE_H
