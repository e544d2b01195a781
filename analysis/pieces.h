#ifndef PIECES_H
#define PIECES_H

#include "analysis/tripstats.h"

#include <QVector>

// Laps and splits: stretches of a track that share their boundary points, so their
// distances and times add up to the track's.
namespace Pieces {

struct Piece
{
    int from = 0, to = 0; // first and last point, inclusive
};

// From the start to the first mark point, mark to mark, the last mark to the end; the whole
// track without marks.
QVector<Piece> laps(const Track &track);
// A boundary at the first point at or past each whole `metres` from the track's start.
QVector<Piece> byDistance(const Track &track, double metres);
// ... or each whole `seconds` from its first time.
QVector<Piece> byTime(const Track &track, double seconds);
// The trip figures of a stretch, from the same code as a track's.
TripStats stats(const Track &track, Piece piece);

} // namespace Pieces

#endif // PIECES_H
