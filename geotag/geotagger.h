#ifndef GEOTAGGER_H
#define GEOTAGGER_H

#include "geotag/photometa.h"
#include "model/trackrecords.h"

#include <QHash>
#include <QString>
#include <QStringList>
#include <QVector>

#include <functional>
#include <optional>
#include <vector>

// Putting the tracks' positions on photos: when each photo was taken (its clock and the
// camera's offset), where the tracks were then, and the outcome for each photo.
namespace Geotag {

// "+02:00", "-05:30", "+01:00:17" (a zone and a clock some seconds off) to seconds the
// camera's clock is ahead of UTC; nullopt for anything else.
std::optional<int> parseOffset(const QString &text);
QString offsetText(int seconds);

enum class Outcome
{
    Exact,        // at a track point's time
    Interpolated, // between two points of a segment
    Outside,      // outside every track's time
    Gap,          // in a gap longer than the limit, or across a segment break
    NoDate,
    HasPosition, // left alone: asked not to replace it
    Unreadable,
    Unwritable
};
bool isTagged(Outcome o);
// "tagged (exact)", "outside the tracks", ... as the report says it.
QString outcomeText(Outcome o);
// "exact", "outside", "no-date", ... for JSON.
QString outcomeKey(Outcome o);

struct Options
{
    std::optional<int> offsetS; // the camera's; none: the computer's time zone
    qint64 maxGapS = 1800;
    bool replace = false; // write over a position a photo already has
    bool sidecarAlways = false;
};

// The timed points of the tracks, segment by segment in time order, to look photos up in.
// Tracks may overlap in time (a phone's and the logger's of the same walk, or one file given
// twice): each segment is looked into on its own.
class Timeline
{
public:
    explicit Timeline(const QVector<Track> &tracks);
    bool isEmpty() const { return points.empty(); }

    struct Found
    {
        Outcome outcome = Outcome::Outside;
        PhotoMeta::Fix fix;
    };
    // An exact match first, else an interpolation in a segment; a gap only when a track spans
    // the time but no segment covers it within `maxGapMs`; outside otherwise.
    Found locate(qint64 utcMs, qint64 maxGapMs) const;
    // The time (ms) of the point nearest to a position, when one is within `withinM` metres.
    // The first call indexes the points by place (not thread-safe: one thread at a time).
    std::optional<qint64> timeNear(double lat, double lon, double withinM) const;

private:
    struct Point
    {
        qint64 ms;
        double lat, lon, alt;
        bool hasAlt;
    };
    struct Run // one segment's timed points, [begin, end) of `points`, in time order
    {
        int track;
        size_t begin, end;
    };
    std::vector<Point> points;
    std::vector<Run> runs;
    struct Span // a track's first and last time
    {
        int track;
        qint64 first, last;
    };
    std::vector<Span> spans;
    mutable QHash<qint64, std::vector<int>> cells; // point indexes by grid cell, built on demand
};

// When the photo was taken, in ms since 1970 UTC; nullopt without a date.
std::optional<qint64> photoTime(const PhotoMeta::Photo &photo, const Options &options);

struct Result
{
    PhotoMeta::Photo photo;
    Outcome outcome = Outcome::NoDate;
    PhotoMeta::Fix fix;   // where tagged
    qint64 utcMs = 0;     // when taken, where known
    QString reason;       // why unreadable or unwritable
    bool sidecar = false; // the position goes (or went) into the sidecar
};

// What each photo gets, nothing written.
Result plan(const PhotoMeta::Photo &photo, const Timeline &timeline, const Options &options);
// Writes a planned photo; its outcome turns Unwritable with the reason when that fails.
void write(Result &result, const Options &options, PhotoMeta::Writer &writer);
// Whether positions go into sidecars only, ExifTool being missing; `options.sidecarAlways` is
// then set. The caller says so once (ExifTool::missingHint()).
bool sidecarsOnly(Options *options);

// The sidecars of a run's photos that would share one (IMG.CR2 and IMG.NEF, or IMG.JPG with
// --sidecar beside IMG.CR2): each gets NAME.EXT.xmp instead, so no photo takes another's
// position. Those not named keep NAME.xmp.
QHash<QString, QString> separateSidecars(const QStringList &files, const Options &options);

// The photos in `paths`: files as given, folders' photo files (sorted; recursively on
// request). Every entry that cannot be read as a photo is returned in `problems` with the
// reason: a missing path, a link to nothing or a loop of links, a name that is not UTF-8.
struct PathProblem
{
    QString path, reason;
};
QStringList photoFiles(const QStringList &paths, bool recursive,
                       QVector<PathProblem> *problems = nullptr);

// The camera's offset proposed from photos that already have a position: for each, the time
// the tracks passed nearest to it (within 100 m) against its clock. The median and the spread
// (largest distance from it) over the photos that match.
struct Estimate
{
    int offsetS = 0;
    int spreadS = 0;
    int photos = 0; // that matched
};
std::optional<Estimate> estimateOffset(const QVector<PhotoMeta::Photo> &photos,
                                       const Timeline &timeline);
// The offset that puts a photo at a point's time.
int offsetFor(const PhotoMeta::Photo &photo, qint64 pointUtcMs);

// Counts of a run, for the summary lines.
struct Summary
{
    int photos = 0, exact = 0, interpolated = 0, outside = 0, gap = 0, noDate = 0, hasPosition = 0,
        unreadable = 0, unwritable = 0;
    void add(Outcome o);
    int tagged() const { return exact + interpolated; }
    QString text() const;
};

} // namespace Geotag

#endif // GEOTAGGER_H
