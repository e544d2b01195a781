#ifndef TRACKEDIT_H
#define TRACKEDIT_H

#include "model/trackrecords.h"
#include "model/units.h"

#include <QString>
#include <QVector>

#include <optional>
#include <utility>

// Edits of the track list that keep every kept point as it was, to the bit, and move no
// point's time. Each edit is a Change: a list of small steps that say what they remove or
// rearrange, so that undoing it puts back exactly what was there. No step copies a track's
// points unless it removes them.
namespace TrackEdit {

struct Step
{
    enum Kind
    {
        RemovePoints, // `points` taken out of `track` at `at`
        InsertPoints, // ... and put back
        Split,        // `track`'s points from `at` become a new track after it (`header`)
        Join,         // the track after `track` appended to it (its header kept in `header`)
        SetFlags,     // the flags of point `at` of `track` from `before` to `after`
        RemoveTrack,  // an empty track taken out at `track` (its header kept)
        InsertTrack,
        MoveTrack, // `track` moved to index `at`
        SetStart,  // `track`'s start time from `startBefore` to `startAfter`
        SetText    // `track`'s name and description from `textBefore` to `textAfter`
    };
    Kind kind = RemovePoints;
    int track = 0;
    int at = 0;
    QVector<TrackPoint> points;
    Track header; // without points
    quint8 before = 0, after = 0;
    quint32 startBefore = 0, startAfter = 0;
    std::pair<QString, QString> textBefore, textAfter; // name, description
};

struct Change
{
    QString name; // what the menu calls it: "Split by day"
    QVector<Step> steps;
};

// Makes the change (forward) or undoes it (backward), in place.
void apply(QVector<Track> &tracks, const Change &change);
void revert(QVector<Track> &tracks, const Change &change);

// A result, or why there is none (nothing to do, or not allowed).
struct Result
{
    std::optional<Change> change;
    QString refusal;
};

// Points [from, to) of a track; removing all of a track removes the track.
Result deleteRange(const QVector<Track> &tracks, int track, int from, int to);
// Exactly the points at `indexes` (ascending, each once): a selection with gaps keeps the
// points in its gaps.
Result deletePoints(const QVector<Track> &tracks, int track, const QVector<int> &indexes);
// Keeps points [from, to) of a track.
Result crop(const QVector<Track> &tracks, int track, int from, int to);
// Removes the points before, or after, point `at`.
Result trimBefore(const QVector<Track> &tracks, int track, int at);
Result trimAfter(const QVector<Track> &tracks, int track, int at);
// A new track from point `at` on.
Result splitAt(const QVector<Track> &tracks, int track, int at);
// A new track after every step between timed points longer than `minutes`.
Result splitAtPauses(const QVector<Track> &tracks, int track, double minutes);
// A new track at the first point of each calendar day in the time shown (local days follow
// the clock changes of the day).
Result splitByDay(const QVector<Track> &tracks, int track, TimeShown time);
// A track's name and description; refused when both stay as they are.
Result rename(const QVector<Track> &tracks, int track, const QString &name,
              const QString &description);
// The tracks as one, in time order: each a segment of its own, or one line (`join`).
// Refused when their time spans overlap.
Result merge(const QVector<Track> &tracks, QList<int> which, bool join);

// The edits made, for Undo and Redo: at most `limit` kept.
class History
{
public:
    explicit History(int limit = 200) : limit(limit) {}
    // Applies the change and keeps it; what was undone cannot be redone any more.
    void push(QVector<Track> &tracks, Change change);
    bool undo(QVector<Track> &tracks);
    bool redo(QVector<Track> &tracks);
    QString undoName() const { return done.isEmpty() ? QString() : done.last().name; }
    QString redoName() const { return undone.isEmpty() ? QString() : undone.last().name; }
    void clear();

private:
    int limit;
    QVector<Change> done, undone;
};

} // namespace TrackEdit

#endif // TRACKEDIT_H
