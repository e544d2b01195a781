#include "edit/trackedit.h"

#include <QCoreApplication>
#include <QDateTime>

#include <algorithm>
#include <iterator>

namespace TrackEdit {

namespace {

QString tr(const char *text)
{
    return QCoreApplication::translate("TrackEdit", text);
}

Track headerOf(const Track &t)
{
    Track h = t;
    h.points.clear();
    return h;
}

// The time a piece of track starts: its first time, or none.
quint32 firstTime(const QVector<TrackPoint> &points, int from)
{
    for (int i = from; i < points.size(); ++i)
        if (points[i].hasTime())
            return points[i].time;
    return 0;
}

// A vector that shrank to under half its room gives the rest back: the tracks an edit leaves
// must not hold the memory of the ones it took apart.
void release(QVector<TrackPoint> &points)
{
    if (points.capacity() > 2 * points.size())
        points.squeeze();
}

void run(QVector<Track> &tracks, const Step &s, bool forward)
{
    Step::Kind kind = s.kind;
    if (!forward) {
        static const Step::Kind inverse[] = {
            Step::InsertPoints, Step::RemovePoints, Step::Join,      Step::Split,    Step::SetFlags,
            Step::InsertTrack,  Step::RemoveTrack,  Step::MoveTrack, Step::SetStart, Step::SetText};
        static_assert(std::size(inverse) == Step::SetText + 1, "every step has its inverse");
        kind = inverse[s.kind];
    }
    switch (kind) {
    case Step::RemovePoints:
        tracks[s.track].points.remove(s.at, s.points.size());
        release(tracks[s.track].points);
        break;
    case Step::InsertPoints: {
        // Written once into a vector of the full size: inserting into a vector the views
        // still share would copy it, then move its tail, then fill the gap.
        QVector<TrackPoint> &p = tracks[s.track].points;
        QVector<TrackPoint> joined;
        joined.reserve(p.size() + s.points.size());
        joined.append(p.cbegin(), p.cbegin() + s.at);
        joined.append(s.points.cbegin(), s.points.cend());
        joined.append(p.cbegin() + s.at, p.cend());
        p = std::move(joined);
        break;
    }
    case Step::Split: {
        Track piece = s.header;
        QVector<TrackPoint> &p = tracks[s.track].points;
        piece.points = p.mid(s.at);
        p.resize(s.at);
        release(p);
        tracks.insert(s.track + 1, piece);
        break;
    }
    case Step::Join:
        tracks[s.track].points += tracks[s.track + 1].points;
        tracks.remove(s.track + 1);
        break;
    case Step::SetFlags:
        tracks[s.track].points[s.at].flags = forward ? s.after : s.before;
        break;
    case Step::RemoveTrack:
        tracks.remove(s.track);
        break;
    case Step::InsertTrack:
        tracks.insert(s.track, s.header);
        break;
    case Step::SetStart:
        tracks[s.track].startTime = forward ? s.startAfter : s.startBefore;
        break;
    case Step::SetText: {
        const auto &[name, description] = forward ? s.textAfter : s.textBefore;
        tracks[s.track].name = name;
        tracks[s.track].description = description;
        break;
    }
    case Step::MoveTrack:
        if (forward)
            tracks.move(s.track, s.at);
        else
            tracks.move(s.at, s.track);
        break;
    }
}

Step removal(const Track &t, int track, int from, int to)
{
    Step s;
    s.kind = Step::RemovePoints;
    s.track = track;
    s.at = from;
    s.points = t.points.mid(from, to - from);
    return s;
}

// After the first points are removed, the track starts at its new first time.
void restart(Change &c, const Track &t, int track, int from)
{
    const quint32 start = firstTime(t.points, from);
    if (start == t.startTime)
        return;
    Step s;
    s.kind = Step::SetStart;
    s.track = track;
    s.startBefore = t.startTime;
    s.startAfter = start;
    c.steps << s;
}

bool validTrack(const QVector<Track> &tracks, int track)
{
    return track >= 0 && track < tracks.size();
}

// Why [from, to) of a track is nothing to work on, after clamping it to the track; empty
// when it is something.
QString rangeProblem(const QVector<Track> &tracks, int track, int *from, int *to)
{
    if (!validTrack(tracks, track))
        return tr("No such track.");
    const int size = int(tracks[track].points.size());
    *from = std::clamp(*from, 0, size);
    *to = std::clamp(*to, *from, size);
    return *from == *to ? tr("No point is selected.") : QString();
}

// Splits at each index (ascending, inside the track): from the last, so the indexes hold.
Result splitsAt(const QVector<Track> &tracks, int track, const QVector<int> &at,
                const QString &name)
{
    if (at.isEmpty())
        return {std::nullopt, tr("There is nothing to split: the track stays as it is.")};
    Change c{name, {}};
    const Track &t = tracks[track];
    for (auto k = at.crbegin(); k != at.crend(); ++k) {
        Step s;
        s.kind = Step::Split;
        s.track = track;
        s.at = *k;
        s.header = headerOf(t);
        s.header.startTime = firstTime(t.points, *k);
        s.header.impossiblePoints = 0; // counted once, on the first piece
        c.steps << s;
    }
    return {c, {}};
}

} // namespace

void apply(QVector<Track> &tracks, const Change &change)
{
    for (const Step &s : change.steps)
        run(tracks, s, true);
}

void revert(QVector<Track> &tracks, const Change &change)
{
    for (auto s = change.steps.crbegin(); s != change.steps.crend(); ++s)
        run(tracks, *s, false);
}

Result deleteRange(const QVector<Track> &tracks, int track, int from, int to)
{
    if (QString why = rangeProblem(tracks, track, &from, &to); !why.isEmpty())
        return {std::nullopt, why};
    const Track &t = tracks[track];
    Change c{tr("Delete"), {removal(t, track, from, to)}};
    if (from == 0 && to < t.points.size())
        restart(c, t, track, to);
    if (from == 0 && to == t.points.size()) { // nothing left: the track goes too
        Step gone;
        gone.kind = Step::RemoveTrack;
        gone.track = track;
        gone.header = headerOf(t);
        c.steps << gone;
    }
    return {c, {}};
}

Result deletePoints(const QVector<Track> &tracks, int track, const QVector<int> &indexes)
{
    if (!validTrack(tracks, track))
        return {std::nullopt, tr("No such track.")};
    const int size = int(tracks[track].points.size());
    if (indexes.isEmpty() || indexes.first() < 0 || indexes.last() >= size ||
        !std::is_sorted(indexes.cbegin(), indexes.cend(), std::less_equal<int>()))
        return {std::nullopt, tr("No point is selected.")};
    // One removal per run of neighbouring points, from the last run, so the earlier indexes
    // hold; the first run decides the new start, all of them whether the track goes.
    if (indexes.size() == size || indexes.size() == indexes.last() - indexes.first() + 1)
        return deleteRange(tracks, track, indexes.first(), indexes.last() + 1);
    const Track &t = tracks[track];
    Change c{tr("Delete"), {}};
    for (int end = int(indexes.size()); end > 0;) {
        int begin = end - 1;
        while (begin > 0 && indexes[begin - 1] == indexes[begin] - 1)
            --begin;
        c.steps << removal(t, track, indexes[begin], indexes[end - 1] + 1);
        end = begin;
    }
    if (indexes.first() == 0) {
        int kept = 1; // the first point not removed
        while (indexes[kept] == kept)
            ++kept;
        restart(c, t, track, kept);
    }
    return {c, {}};
}

Result crop(const QVector<Track> &tracks, int track, int from, int to)
{
    if (QString why = rangeProblem(tracks, track, &from, &to); !why.isEmpty())
        return {std::nullopt, why};
    const Track &t = tracks[track];
    Change c{tr("Crop to selection"), {}};
    if (to < t.points.size())
        c.steps << removal(t, track, to, int(t.points.size()));
    if (from > 0) {
        c.steps << removal(t, track, 0, from);
        restart(c, t, track, from);
    }
    if (c.steps.isEmpty())
        return {std::nullopt, tr("The selection is the whole track.")};
    return {c, {}};
}

Result trimBefore(const QVector<Track> &tracks, int track, int at)
{
    Result r = deleteRange(tracks, track, 0, at);
    if (r.change)
        r.change->name = tr("Trim before");
    return r;
}

Result trimAfter(const QVector<Track> &tracks, int track, int at)
{
    if (!validTrack(tracks, track))
        return {std::nullopt, tr("No such track.")};
    Result r = deleteRange(tracks, track, at + 1, int(tracks[track].points.size()));
    if (r.change)
        r.change->name = tr("Trim after");
    return r;
}

Result splitAt(const QVector<Track> &tracks, int track, int at)
{
    if (!validTrack(tracks, track) || at <= 0 || at >= tracks[track].points.size())
        return {std::nullopt, tr("A track is split at a point after its first.")};
    return splitsAt(tracks, track, {at}, tr("Split here"));
}

Result rename(const QVector<Track> &tracks, int track, const QString &name,
              const QString &description)
{
    if (!validTrack(tracks, track))
        return {std::nullopt, tr("No such track.")};
    const Track &t = tracks[track];
    Step s;
    s.kind = Step::SetText;
    s.track = track;
    s.textBefore = {t.name, t.description};
    s.textAfter = {name.trimmed(), description.trimmed()};
    if (s.textAfter == s.textBefore)
        return {std::nullopt, tr("The name and description stay as they are.")};
    return {Change{tr("Rename"), {s}}, {}};
}

Result splitAtPauses(const QVector<Track> &tracks, int track, double minutes)
{
    if (!validTrack(tracks, track))
        return {std::nullopt, tr("No such track.")};
    const QVector<TrackPoint> &p = tracks[track].points;
    QVector<int> at;
    int last = -1; // the last timed point
    for (int i = 0; i < p.size(); ++i) {
        if (!p[i].hasTime())
            continue;
        if (last >= 0 && p[i].exactTime() - p[last].exactTime() > minutes * 60)
            at << i;
        last = i;
    }
    return splitsAt(tracks, track, at, tr("Split at pauses"));
}

Result splitByDay(const QVector<Track> &tracks, int track, TimeShown time)
{
    if (!validTrack(tracks, track))
        return {std::nullopt, tr("No such track.")};
    const Qt::TimeSpec zone = time == TimeShown::Utc ? Qt::UTC : Qt::LocalTime;
    const QVector<TrackPoint> &p = tracks[track].points;
    QVector<int> at;
    // The next midnight is worked out once a day, not for every point.
    qint64 nextDay = -1;
    for (int i = 0; i < p.size(); ++i) {
        if (!p[i].hasTime())
            continue;
        if (nextDay >= 0 && qint64(p[i].time) < nextDay)
            continue;
        if (nextDay >= 0)
            at << i;
        const QDate day = QDateTime::fromSecsSinceEpoch(p[i].time, zone).date();
        nextDay = QDateTime(day.addDays(1), QTime(0, 0), zone).toSecsSinceEpoch();
    }
    return splitsAt(tracks, track, at, tr("Split by day"));
}

namespace {

// The tracks in time order, or why they cannot be merged: one without times, or two whose
// time spans overlap.
QString timeOrder(const QVector<Track> &tracks, const QList<int> &which, QVector<int> *order)
{
    struct Span
    {
        int track;
        double first, last;
    };
    QVector<Span> spans;
    for (int i : which) {
        double first = -1, last = -1;
        for (const TrackPoint &q : tracks[i].points)
            if (q.hasTime()) {
                first = first < 0 ? q.exactTime() : std::min(first, q.exactTime());
                last = std::max(last, q.exactTime());
            }
        if (first < 0)
            return tr("Track %1 has no times: it cannot be put in time order.").arg(i + 1);
        spans << Span{i, first, last};
    }
    std::sort(spans.begin(), spans.end(),
              [](const Span &a, const Span &b) { return a.first < b.first; });
    for (int k = 1; k < spans.size(); ++k)
        if (spans[k].first <= spans[k - 1].last)
            return tr("Tracks %1 and %2 overlap in time: merging them would mix their points.")
                .arg(std::min(spans[k - 1].track, spans[k].track) + 1)
                .arg(std::max(spans[k - 1].track, spans[k].track) + 1);
    for (const Span &span : spans)
        *order << span.track;
    return QString();
}

// Moves the tracks of `order` to stand, in that order, from index `target` on.
void moveInOrder(int count, const QVector<int> &order, int target, Change *c)
{
    QVector<int> at(count); // which track stands at each index as the moves go
    for (int i = 0; i < count; ++i)
        at[i] = i;
    for (int k = 0; k < order.size(); ++k) {
        const int from = int(std::find(at.cbegin(), at.cend(), order[k]) - at.cbegin());
        if (from == target + k)
            continue;
        Step s;
        s.kind = Step::MoveTrack;
        s.track = from;
        s.at = target + k;
        c->steps << s;
        at.move(from, target + k);
    }
}

} // namespace

Result merge(const QVector<Track> &tracks, QList<int> which, bool join)
{
    std::sort(which.begin(), which.end());
    which.erase(std::unique(which.begin(), which.end()), which.end());
    if (which.size() < 2 || which.first() < 0 || which.last() >= tracks.size())
        return {std::nullopt, tr("Tick two tracks or more to merge them.")};
    QVector<int> order;
    if (QString why = timeOrder(tracks, which, &order); !why.isEmpty())
        return {std::nullopt, why};
    // The tracks are moved, in time order, to stand after the first of them, each after the
    // first starts a segment (or none does, joined), and they are joined.
    Change c{tr("Merge"), {}};
    const int target = which.first();
    moveInOrder(int(tracks.size()), order, target, &c);
    int length = int(tracks[order[0]].points.size());
    for (int k = 1; k < order.size(); ++k) {
        const Track &t = tracks[order[k]];
        if (!t.points.isEmpty()) {
            const quint8 flags = t.points.first().flags;
            Step s;
            s.kind = Step::SetFlags;
            s.track = target + k;
            s.before = flags;
            s.after = join ? quint8(flags & ~TrackPoint::SegmentStart)
                           : quint8(flags | TrackPoint::SegmentStart);
            if (s.after != s.before)
                c.steps << s;
        }
    }
    for (int k = 1; k < order.size(); ++k) {
        Step s;
        s.kind = Step::Join;
        s.track = target;
        s.at = length; // where its points begin: undone, it is split off there again
        s.header = headerOf(tracks[order[k]]);
        c.steps << s;
        length += int(tracks[order[k]].points.size());
    }
    return {c, {}};
}

void History::push(QVector<Track> &tracks, Change change)
{
    apply(tracks, change);
    done << std::move(change);
    undone.clear();
    if (done.size() > limit)
        done.removeFirst();
}

bool History::undo(QVector<Track> &tracks)
{
    if (done.isEmpty())
        return false;
    revert(tracks, done.last());
    undone << done.takeLast();
    return true;
}

bool History::redo(QVector<Track> &tracks)
{
    if (undone.isEmpty())
        return false;
    apply(tracks, undone.last());
    done << undone.takeLast();
    return true;
}

void History::clear()
{
    done.clear();
    undone.clear();
}

} // namespace TrackEdit
