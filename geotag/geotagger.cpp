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
        int segment = 0;
        const bool altitudes = tracks[t].format == 2;
        for (const TrackPoint &p : tracks[t].points) {
            segment += p.startsSegment();
            if (!p.hasTime())
                continue;
            points.push_back({std::llround(p.exactTime() * 1000), p.position.x, p.position.y,
                              p.position.z, altitudes && p.hasAltitude(), t, segment});
        }
    }
    std::stable_sort(points.begin(), points.end(),
                     [](const Point &a, const Point &b) { return a.ms < b.ms; });
}

Timeline::Found Timeline::locate(qint64 utcMs, qint64 maxGapMs) const
{
    Found found;
    const auto it = std::lower_bound(points.begin(), points.end(), utcMs,
                                     [](const Point &p, qint64 ms) { return p.ms < ms; });
    const auto fixAt = [utcMs](const Point &p) {
        return PhotoMeta::Fix{p.lat, p.lon, p.hasAlt, p.alt, utcMs};
    };
    if (it != points.end() && it->ms == utcMs) {
        found.outcome = Outcome::Exact;
        found.fix = fixAt(*it);
        return found;
    }
    if (it == points.begin() || it == points.end())
        return found; // outside
    const Point &a = *(it - 1), &b = *it;
    if (a.track != b.track)
        return found; // between two tracks
    if (a.segment != b.segment || b.ms - a.ms > maxGapMs) {
        found.outcome = Outcome::Gap;
        return found;
    }
    const double f = double(utcMs - a.ms) / double(b.ms - a.ms);
    double dLon = b.lon - a.lon; // the short way round, across the antimeridian too
    dLon += dLon > 180 ? -360 : dLon < -180 ? 360 : 0;
    double lon = a.lon + f * dLon;
    lon += lon > 180 ? -360 : lon < -180 ? 360 : 0;
    found.outcome = Outcome::Interpolated;
    found.fix = {a.lat + f * (b.lat - a.lat), lon, a.hasAlt && b.hasAlt,
                 a.alt + f * (b.alt - a.alt), utcMs};
    return found;
}

std::optional<qint64> Timeline::timeNear(double lat, double lon, double withinM) const
{
    const Vec3 at(lat, lon, 0);
    double best = withinM;
    std::optional<qint64> when;
    for (const Point &p : points) {
        const double d = TripAnalysis::roughDistance(at, Vec3(p.lat, p.lon, 0));
        if (d <= best) {
            best = d;
            when = p.ms;
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

void write(Result &result, const Options &options)
{
    if (!isTagged(result.outcome))
        return;
    QString why;
    if (!PhotoMeta::write(result.photo, result.fix, options.sidecarAlways, options.replace, &why)) {
        result.outcome = Outcome::Unwritable;
        result.reason = why;
    }
}

QStringList photoFiles(const QStringList &paths, bool recursive, QStringList *missing)
{
    QStringList files;
    QSet<QString> seen;
    const auto add = [&](const QString &file) {
        const QString key = QFileInfo(file).absoluteFilePath();
        if (!seen.contains(key)) {
            seen.insert(key);
            files << file;
        }
    };
    for (const QString &path : paths) {
        const QFileInfo info(path);
        if (info.isFile()) {
            add(path);
        } else if (info.isDir()) {
            QStringList found;
            QDirIterator it(path, QDir::Files,
                            recursive ? QDirIterator::Subdirectories
                                      : QDirIterator::NoIteratorFlags);
            while (it.hasNext()) {
                const QString file = it.next();
                if (PhotoMeta::isPhotoName(file))
                    found << file;
            }
            found.sort();
            for (const QString &file : qAsConst(found))
                add(file);
        } else if (missing) {
            *missing << path;
        }
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
