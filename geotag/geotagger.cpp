#include "geotag/geotagger.h"

#include "analysis/tripstats.h"

#include <QDateTime>
#include <QDir>
#include <QDirIterator>
#include <QFileInfo>
#include <QRegularExpression>
#include <QSet>

#include <algorithm>
#include <cmath>

namespace Geotag {

std::optional<int> parseOffset(const QString &text)
{
    static const QRegularExpression form(
        QStringLiteral("^([+-])(\\d{1,2}):(\\d{2})(?::(\\d{2}))?$"));
    const QRegularExpressionMatch m = form.match(text.trimmed());
    if (!m.hasMatch())
        return std::nullopt;
    const int h = m.captured(2).toInt(), min = m.captured(3).toInt();
    const int s = m.captured(4).isEmpty() ? 0 : m.captured(4).toInt();
    if (h > 23 || min > 59 || s > 59)
        return std::nullopt;
    return (m.captured(1) == QLatin1String("-") ? -1 : 1) * (h * 3600 + min * 60 + s);
}

QString offsetText(int seconds)
{
    const int a = std::abs(seconds);
    QString text = QStringLiteral("%1%2:%3")
                       .arg(seconds < 0 ? QLatin1Char('-') : QLatin1Char('+'))
                       .arg(a / 3600, 2, 10, QLatin1Char('0'))
                       .arg(a / 60 % 60, 2, 10, QLatin1Char('0'));
    if (a % 60 != 0)
        text += QStringLiteral(":%1").arg(a % 60, 2, 10, QLatin1Char('0'));
    return text;
}

bool isTagged(Outcome o)
{
    return o == Outcome::Exact || o == Outcome::Interpolated;
}

QString outcomeText(Outcome o)
{
    switch (o) {
    case Outcome::Exact:
        return QStringLiteral("tagged (exact)");
    case Outcome::Interpolated:
        return QStringLiteral("tagged (interpolated)");
    case Outcome::Outside:
        return QStringLiteral("outside the tracks");
    case Outcome::Gap:
        return QStringLiteral("in a gap");
    case Outcome::NoDate:
        return QStringLiteral("no date");
    case Outcome::HasPosition:
        return QStringLiteral("already has a position");
    case Outcome::Unreadable:
        return QStringLiteral("unreadable");
    case Outcome::Unwritable:
        return QStringLiteral("unwritable");
    }
    return QString();
}

QString outcomeKey(Outcome o)
{
    static const char *const keys[] = {"exact",   "interpolated", "outside",    "gap",
                                       "no-date", "has-position", "unreadable", "unwritable"};
    return QLatin1String(keys[int(o)]);
}

Timeline::Timeline(const QVector<Track> &tracks)
{
    for (int t = 0; t < tracks.size(); ++t) {
        const bool altitudes = tracks[t].hasAltitudes();
        size_t runStart = points.size();
        for (const TrackPoint &p : tracks[t].points) {
            if (p.startsSegment() && points.size() > runStart) {
                runs.push_back({t, runStart, points.size()});
                runStart = points.size();
            }
            if (!p.hasTime())
                continue;
            points.push_back({std::llround(p.exactTime() * 1000), p.position.x, p.position.y,
                              p.position.z, altitudes && p.hasAltitude()});
        }
        if (points.size() > runStart)
            runs.push_back({t, runStart, points.size()});
    }
    // Each track's time span, for telling a gap from outside.
    for (const Run &r : runs) {
        const auto [lo, hi] = std::minmax_element(
            points.begin() + qptrdiff(r.begin), points.begin() + qptrdiff(r.end),
            [](const Point &a, const Point &b) { return a.ms < b.ms; });
        if (spans.empty() || spans.back().track != r.track)
            spans.push_back({r.track, lo->ms, hi->ms});
        spans.back().first = std::min(spans.back().first, lo->ms);
        spans.back().last = std::max(spans.back().last, hi->ms);
    }
    // Files may hold points out of time order: each segment is sorted on its own.
    for (const Run &r : runs)
        std::stable_sort(points.begin() + qptrdiff(r.begin), points.begin() + qptrdiff(r.end),
                         [](const Point &a, const Point &b) { return a.ms < b.ms; });
}

namespace {
template <typename Point> PhotoMeta::Fix between(const Point &a, const Point &b, qint64 utcMs)
{
    const double f = double(utcMs - a.ms) / double(b.ms - a.ms);
    double dLon = b.lon - a.lon; // the short way round, across the antimeridian too
    dLon += dLon > 180 ? -360 : dLon < -180 ? 360 : 0;
    double lon = a.lon + f * dLon;
    lon += lon > 180 ? -360 : lon < -180 ? 360 : 0;
    return {a.lat + f * (b.lat - a.lat), lon, a.hasAlt && b.hasAlt, a.alt + f * (b.alt - a.alt),
            utcMs};
}
} // namespace

Timeline::Found Timeline::locate(qint64 utcMs, qint64 maxGapMs) const
{
    Found found, interpolated;
    bool spanned = false; // by a track, if by no segment of it
    for (const Run &r : runs) {
        const Point *first = &points[r.begin], *last = &points[r.end - 1];
        if (utcMs < first->ms || utcMs > last->ms)
            continue;
        const Point *it = std::lower_bound(first, last + 1, utcMs,
                                           [](const Point &p, qint64 ms) { return p.ms < ms; });
        if (it->ms == utcMs) {
            found.outcome = Outcome::Exact;
            found.fix = {it->lat, it->lon, it->hasAlt, it->alt, utcMs};
            return found;
        }
        const Point &a = *(it - 1), &b = *it;
        if (b.ms - a.ms > maxGapMs)
            spanned = true;
        else if (interpolated.outcome != Outcome::Interpolated)
            interpolated = {Outcome::Interpolated, between(a, b, utcMs)};
    }
    if (interpolated.outcome == Outcome::Interpolated)
        return interpolated;
    for (const Span &span : spans)
        spanned = spanned || (utcMs >= span.first && utcMs <= span.last);
    if (spanned) // in a long gap, or across a segment break of a track
        found.outcome = Outcome::Gap;
    return found;
}

namespace {
constexpr double CellDegrees = 0.001; // about 111 m of latitude

qint64 cellKey(qint64 row, qint64 column)
{
    return row * 1000000 + column;
}
} // namespace

std::optional<qint64> Timeline::timeNear(double lat, double lon, double withinM) const
{
    if (cells.isEmpty())
        for (int i = 0; i < int(points.size()); ++i)
            cells[cellKey(qint64(std::floor(points[i].lat / CellDegrees)),
                          qint64(std::floor(points[i].lon / CellDegrees)))]
                .push_back(i);
    // The cells within reach: rows of 111 km a degree, columns narrower toward the poles.
    const double metresPerDegree = 111320.0;
    const qint64 rows = qint64(std::ceil(withinM / (metresPerDegree * CellDegrees)));
    const double shrink = std::max(std::cos(lat * M_PI / 180), 1e-3);
    const qint64 columns =
        std::min<qint64>(qint64(std::ceil(withinM / (metresPerDegree * shrink * CellDegrees))),
                         qint64(180 / CellDegrees));
    const qint64 row = qint64(std::floor(lat / CellDegrees));
    const qint64 column = qint64(std::floor(lon / CellDegrees));
    const qint64 wrap = qint64(360 / CellDegrees);
    const Vec3 at(lat, lon, 0);
    double best = withinM;
    std::optional<qint64> when;
    for (qint64 r = row - rows; r <= row + rows; ++r)
        for (qint64 c = column - columns; c <= column + columns; ++c) {
            const qint64 wrapped = c < -wrap / 2 ? c + wrap : c >= wrap / 2 ? c - wrap : c;
            const auto found = cells.constFind(cellKey(r, wrapped));
            if (found == cells.constEnd())
                continue;
            for (int i : *found) {
                const Point &p = points[size_t(i)];
                const double d = TripAnalysis::roughDistance(at, Vec3(p.lat, p.lon, 0));
                if (d < best || (d == best && (!when || p.ms < *when))) {
                    best = d;
                    when = p.ms;
                }
            }
        }
    return when;
}

std::optional<qint64> photoTime(const PhotoMeta::Photo &photo, const Options &options)
{
    if (!photo.hasDate())
        return std::nullopt;
    if (photo.hasZone)
        return photo.clockMs - qint64(photo.zoneS) * 1000;
    if (options.offsetS)
        return photo.clockMs - qint64(*options.offsetS) * 1000;
    // The camera set to the computer's time zone, summer time included.
    const QDateTime clock = QDateTime::fromMSecsSinceEpoch(photo.clockMs, Qt::UTC);
    return QDateTime(clock.date(), clock.time(), Qt::LocalTime).toMSecsSinceEpoch();
}

Result plan(const PhotoMeta::Photo &photo, const Timeline &timeline, const Options &options)
{
    Result r;
    r.photo = photo;
    r.sidecar = options.sidecarAlways || !photo.inPlace;
    if (!photo.readable) {
        r.outcome = Outcome::Unreadable;
        r.reason = photo.error;
        return r;
    }
    const std::optional<qint64> when = photoTime(photo, options);
    r.utcMs = when.value_or(0);
    const bool positioned = photo.hasPosition || (r.sidecar && photo.sidecarPosition);
    if (positioned && !options.replace)
        r.outcome = Outcome::HasPosition;
    else if (!when)
        r.outcome = Outcome::NoDate;
    else {
        const Timeline::Found found = timeline.locate(*when, options.maxGapS * 1000);
        r.outcome = found.outcome;
        r.fix = found.fix;
    }
    return r;
}

bool sidecarsOnly(Options *options)
{
    if (PhotoMeta::Writer::canWriteInPlace())
        return false;
    options->sidecarAlways = true;
    return true;
}

QHash<QString, QString> separateSidecars(const QStringList &files, const Options &options)
{
    QHash<QString, QStringList> users; // by the NAME.xmp they would use
    for (const QString &file : files) {
        if (!options.sidecarAlways && PhotoMeta::isInPlaceName(file))
            continue;
        const QFileInfo info(file);
        users[info.absoluteDir().filePath(info.completeBaseName()).toLower()] << file;
    }
    QHash<QString, QString> separate;
    for (const QStringList &shared : qAsConst(users))
        if (shared.size() > 1)
            for (const QString &file : shared)
                separate.insert(file, file + QStringLiteral(".xmp"));
    return separate;
}

void write(Result &result, const Options &options, PhotoMeta::Writer &writer)
{
    if (!isTagged(result.outcome))
        return;
    QString why;
    if (!writer.write(result.photo, result.fix, options.sidecarAlways, options.replace, &why)) {
        result.outcome = Outcome::Unwritable;
        result.reason = why;
    }
}

namespace {
// Why a path that is listed (or given) is no readable file; empty when it is one.
QString unusable(const QString &path)
{
    const QFileInfo info(path);
    if (info.isFile())
        return QString();
    if (info.isSymLink())
        return QFileInfo(info.symLinkTarget()).isSymLink() || info.symLinkTarget().isEmpty()
                   ? QStringLiteral("a loop of links")
                   : QStringLiteral("a link to a missing file");
    if (path.contains(QChar::ReplacementCharacter))
        return QStringLiteral("its name is not valid UTF-8");
    return info.exists() ? QStringLiteral("not a file") : QStringLiteral("no such file or folder");
}
} // namespace

QStringList photoFiles(const QStringList &paths, bool recursive, QVector<PathProblem> *problems)
{
    QStringList files;
    QSet<QString> seen;
    const auto add = [&](const QString &file) {
        const QString why = unusable(file);
        if (!why.isEmpty()) {
            if (problems)
                problems->append({file, why});
            return;
        }
        const QString key = QFileInfo(file).absoluteFilePath();
        if (!seen.contains(key)) {
            seen.insert(key);
            files << file;
        }
    };
    for (const QString &path : paths) {
        const QFileInfo info(path);
        if (!info.isDir()) {
            add(path);
            continue;
        }
        // Links to nothing are "system" entries: listed too, so that they are reported.
        QStringList found;
        QDirIterator it(path, QDir::Files | QDir::System | QDir::Hidden,
                        recursive ? QDirIterator::Subdirectories : QDirIterator::NoIteratorFlags);
        while (it.hasNext()) {
            const QString file = it.next();
            if (PhotoMeta::isPhotoName(file))
                found << file;
        }
        found.sort();
        for (const QString &file : qAsConst(found))
            add(file);
    }
    return files;
}

std::optional<Estimate> estimateOffset(const QVector<PhotoMeta::Photo> &photos,
                                       const Timeline &timeline)
{
    std::vector<int> offsets;
    for (const PhotoMeta::Photo &p : photos) {
        if (!p.readable || !(p.hasPosition || p.sidecarPosition) || !p.hasDate())
            continue;
        if (const std::optional<qint64> near = timeline.timeNear(p.latitude, p.longitude, 100))
            offsets.push_back(offsetFor(p, *near));
    }
    if (offsets.empty())
        return std::nullopt;
    std::sort(offsets.begin(), offsets.end());
    Estimate e;
    e.photos = int(offsets.size());
    e.offsetS = offsets[offsets.size() / 2];
    e.spreadS = std::max(e.offsetS - offsets.front(), offsets.back() - e.offsetS);
    return e;
}

int offsetFor(const PhotoMeta::Photo &photo, qint64 pointUtcMs)
{
    return int(std::llround(double(photo.clockMs - pointUtcMs) / 1000.0));
}

void Summary::add(Outcome o)
{
    ++photos;
    int *counts[] = {&exact,  &interpolated, &outside,    &gap,
                     &noDate, &hasPosition,  &unreadable, &unwritable};
    ++*counts[int(o)];
}

QString Summary::text() const
{
    return QStringLiteral("%1 photos: %2 tagged (%3 exact, %4 interpolated), %5 outside the "
                          "tracks, %6 in a gap, %7 without a date, %8 already with a position, "
                          "%9 unreadable, %10 unwritable.")
        .arg(photos)
        .arg(tagged())
        .arg(exact)
        .arg(interpolated)
        .arg(outside)
        .arg(gap)
        .arg(noDate)
        .arg(hasPosition)
        .arg(unreadable)
        .arg(unwritable);
}

} // namespace Geotag
