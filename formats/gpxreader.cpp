// Reading GPX 1.0 and 1.1: tracks with their segments, routes, and waypoints that mark a
// track point of the same time. One small function per element, on the shared XML loop.
// What a point lacks (ele, time, speed) stays missing.
#include "formats/fileformatgpx.h"
#include "formats/trackinput.h"

#include <QHash>

#include <cmath>

namespace {
using TrackInput::tr;
using Token = QXmlStreamReader::TokenType;

// A point as the file gives it: the position, and what else it had.
struct GpxPoint
{
    GpxPoint() { point.flags = TrackPoint::NoAltitude | TrackPoint::NoTime; }
    TrackPoint point;
    bool ok = false;           // a possible position and values
    bool hasSpeed = false;     // a speed element, or one in the extensions
    bool badTime = false;      // a time element the reader cannot read
    QString name, description; // a waypoint's
};

class GpxReader
{
public:
    explicit GpxReader(TrackInput::XmlFile &in) : in(in) {}

    // The whole document; false when the XML is broken.
    bool read();

    QVector<Track> found;
    QVector<QVector<bool>> speedGiven; // per track and point
    QVector<GpxPoint> waypoints;
    int skipped = 0;
    int badTimes = 0; // points whose time could not be read, kept without one
    int roundedTemperatures = 0;
    bool notGpx = false;

private:
    bool is(const char *name) const { return in.is(name); }
    // Reads up to the end tag of the element just started, skipping what it holds.
    void skip();
    void readTrack();
    void readWaypoint();
    void readPoint(GpxPoint *p, bool waypoint);
    void readExtensions(GpxPoint *p);
    void readValue(GpxPoint *p, bool waypoint);
    void addTrackPoint(const GpxPoint &p);

    TrackInput::XmlFile &in;
};

void GpxReader::skip()
{
    for (int depth = 1; depth > 0;) {
        const Token t = in.nextTag();
        if (t == Token::Invalid)
            return;
        depth += t == Token::StartElement ? 1 : -1;
    }
}

bool GpxReader::read()
{
    if (in.nextTag() != Token::StartElement || !is("gpx")) {
        notGpx = !in.failed() && in.started();
        return false;
    }
    for (Token t = in.nextTag(); t != Token::Invalid; t = in.nextTag()) {
        if (t != Token::StartElement)
            continue;
        if (is("trk") || is("rte")) {
            readTrack();
        } else if (is("wpt")) {
            readWaypoint();
        } else if (is("trkpt") || is("rtept")) { // a point outside any track
            GpxPoint p;
            readPoint(&p, false);
            addTrackPoint(p);
        }
    }
    return !in.failed();
}

void GpxReader::readTrack()
{
    found.append(Track{0, 1, {}});
    speedGiven.append(QVector<bool>());
    QString name, description;
    bool segmentStarts = false;
    for (Token t = in.nextTag(); t != Token::Invalid; t = in.nextTag()) {
        if (t == Token::StartElement && is("trkseg")) {
            segmentStarts = !found.last().points.isEmpty();
        } else if (t == Token::StartElement && (is("trkpt") || is("rtept"))) {
            GpxPoint p;
            readPoint(&p, false);
            if (segmentStarts && p.ok) {
                p.point.flags |= TrackPoint::SegmentStart;
                segmentStarts = false;
            }
            addTrackPoint(p);
        } else if (t == Token::StartElement && is("wpt")) {
            readWaypoint();
        } else if (t == Token::StartElement && is("extensions")) {
            skip();
        } else if (t == Token::EndElement && is("name")) {
            name = in.text.trimmed();
        } else if (t == Token::EndElement && is("desc")) {
            description = in.text.trimmed();
        } else if (t == Token::EndElement && (is("trk") || is("rte"))) {
            break;
        }
    }
    Track &track = found.last();
    track.startTime = TrackInput::ownStartTime(name, Qt::UTC);
    if (!TrackInput::isOwnName(name))
        track.name = name;
    track.description = description;
    if (track.startTime == 0)
        track.startTime = TrackInput::firstTime(track);
}

void GpxReader::readWaypoint()
{
    GpxPoint p;
    readPoint(&p, true);
    if (p.ok)
        waypoints.append(p);
    else
        ++skipped;
}

void GpxReader::addTrackPoint(const GpxPoint &p)
{
    if (!p.ok || found.isEmpty()) {
        ++skipped;
        return;
    }
    badTimes += p.badTime;
    found.last().points.append(p.point);
    speedGiven.last().append(p.hasSpeed);
}

void GpxReader::readPoint(GpxPoint *p, bool waypoint)
{
    const QXmlStreamAttributes a = in.xml.attributes();
    p->ok = TrackInput::latitude(a.value(QLatin1String("lat")), &p->point.position.x) &&
            TrackInput::longitude(a.value(QLatin1String("lon")), &p->point.position.y);
    for (int depth = 1; depth > 0;) {
        const Token t = in.nextTag();
        if (t == Token::Invalid)
            return;
        if (t == Token::StartElement && is("extensions")) {
            readExtensions(p);
        } else if (t == Token::StartElement) {
            ++depth;
        } else if (--depth > 0) {
            readValue(p, waypoint); // the end of a child: its text is in
        }
    }
}

void GpxReader::readValue(GpxPoint *p, bool waypoint)
{
    const QString &text = in.text;
    if (text.trimmed().isEmpty())
        return; // <ele/>, <time></time>: a value the writer did not have, so missing
    if (waypoint && (is("name") || is("desc"))) {
        (is("name") ? p->name : p->description) = text.trimmed();
    } else if (is("ele")) {
        double z = 0;
        if (!TrackInput::altitude(text, &z)) {
            p->ok = false;
            return;
        }
        p->point.position.z = z;
        p->point.flags &= ~TrackPoint::NoAltitude;
        if (!waypoint && !found.isEmpty())
            found.last().format = 2;
    } else if (is("time")) {
        bool ok = false;
        p->point.time = TrackInput::isoTime(text, &p->point.millis, &ok);
        if (ok)
            p->point.flags &= ~TrackPoint::NoTime;
        else
            TrackInput::setNoTime(p->point);
        p->badTime = !ok;
    } else if (in.xml.name().compare(QLatin1String("speed"), Qt::CaseInsensitive) == 0) {
        double ms = 0;
        if (TrackInput::decimal(text, &ms) && ms >= 0 && ms < 1e7) {
            p->point.speed = quint32(std::lround(ms * 360)); // m/s to 0.01 km/h
            p->hasSpeed = true;
        }
    }
}

void GpxReader::readExtensions(GpxPoint *p)
{
    // A speed of some program's extension counts when the point has none of its own; the
    // elevation and time of extensions are not the point's. Heart rate, cadence, temperature
    // and power come from Garmin's TrackPointExtension (v1 and v2), its PowerExtension, and
    // others that name them alike.
    for (int depth = 1; depth > 0;) {
        const Token t = in.nextTag();
        if (t == Token::Invalid)
            return;
        if (t == Token::StartElement) {
            ++depth;
            continue;
        }
        --depth;
        if (depth == 0)
            break;
        if (!p->hasSpeed && in.xml.name().compare(QLatin1String("speed"), Qt::CaseInsensitive) == 0)
            readValue(p, true);
        else if (const TrackInput::Sensor s = TrackInput::sensorNamed(in.xml.name());
                 s != TrackInput::Sensor::None && !in.text.trimmed().isEmpty())
            TrackInput::setSensor(p->point, s, in.text, &roundedTemperatures);
    }
}
} // namespace

bool FileFormatGPX::read(QVector<Track> &tracks, const QString &fileName)
{
    TrackInput::XmlFile in(fileName);
    QString why;
    if (!in.open(&why))
        return fail(tr("Cannot open %1: %2").arg(fileName, why));
    GpxReader gpx(in);
    if (!gpx.read())
        return failXml(fileName, gpx.notGpx, "GPX", in.failure());

    // Speeds missing from the file come from distance and time.
    for (int i = 0; i < gpx.found.size(); ++i)
        TrackInput::fillSpeeds(gpx.found[i], gpx.speedGiven[i]);
    // A waypoint marks the track point at its time or, for points without a time, the one
    // at its position (to the written precision); the others are counted.
    QHash<quint32, QPair<int, int>> byTime;
    QHash<QPair<qint64, qint64>, QPair<int, int>> byPlace;
    const auto place = [](const TrackPoint &p) {
        return qMakePair(qint64(std::llround(p.position.x * 1e6)),
                         qint64(std::llround(p.position.y * 1e6)));
    };
    for (int i = 0; i < gpx.found.size(); ++i)
        for (int j = 0; j < gpx.found[i].points.size(); ++j) {
            const TrackPoint &p = gpx.found[i].points[j];
            if (p.hasTime() && !byTime.contains(p.time))
                byTime.insert(p.time, {i, j});
            else if (!p.hasTime() && !byPlace.contains(place(p)))
                byPlace.insert(place(p), {i, j});
        }
    places.clear();
    for (const GpxPoint &g : qAsConst(gpx.waypoints)) {
        const TrackPoint &w = g.point;
        const QPair<int, int> none{-1, -1};
        const QPair<int, int> at =
            w.hasTime() ? byTime.value(w.time, none) : byPlace.value(place(w), none);
        if (at != none) {
            gpx.found[at.first].points[at.second].marked = 1;
            continue;
        }
        // A place of its own: kept as a waypoint.
        places.append(Waypoint{g.name, g.description, w.position.x, w.position.y, w.position.z,
                               w.time, w.millis, w.hasAltitude(), w.hasTime()});
    }
    note.clear();
    if (gpx.badTimes > 0)
        addNote(tr("Points whose time cannot be read, kept without a time: %1.").arg(gpx.badTimes));
    if (gpx.roundedTemperatures > 0)
        addNote(tr("Temperatures rounded to whole degrees: %1.").arg(gpx.roundedTemperatures));
    return deliver(tracks, gpx.found, gpx.skipped, fileName);
}
