#include "formats/fileformatgeojson.h"

#include "formats/filetarget.h"
#include "formats/fixedtext.h"
#include "formats/timetext.h"
#include "formats/trackinput.h"

#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QSaveFile>

#include <algorithm>
#include <charconv>
#include <utility>

namespace {
using TrackInput::tr;

// What a list per segment holds.
enum class List
{
    Coordinates,
    Times,
    HeartRates,
    Cadences,
    Temperatures,
    Watts
};

// The property names of the sensor lists, as other GeoJSON tools name them.
constexpr std::pair<List, const char *> SensorLists[] = {{List::HeartRates, "heartRates"},
                                                         {List::Cadences, "cadences"},
                                                         {List::Temperatures, "temperatures"},
                                                         {List::Watts, "watts"}};

class GeoJsonReader
{
public:
    void object(const QJsonObject &o, const QJsonObject &properties);

    QVector<Track> found;
    QVector<Waypoint> waypoints; // Point features
    int skipped = 0;             // coordinates out of range or not numbers
    int otherShapes = 0;         // polygons and the like
    int rounded = 0;             // temperatures with a fraction

private:
    void feature(const QJsonObject &f);
    // A Point as a waypoint, with its name, description and time.
    void point(const QJsonObject &o, const QJsonObject &properties);
    // A LineString or (`multi`) MultiLineString as a track.
    void line(const QJsonObject &o, const QJsonObject &properties, bool multi);
    // The sensor lists of a line (or of one part of a MultiLineString).
    struct Sensors
    {
        QJsonArray lists[4]; // heart rates, cadences, temperatures, watts
        Sensors part(qsizetype i) const
        {
            Sensors p;
            for (int k = 0; k < 4; ++k)
                p.lists[k] = lists[k].at(i).toArray();
            return p;
        }
    };
    // One part of a line as a segment of `track`, with its times and sensor values where
    // there are as many.
    void part(Track &track, const QJsonArray &coordinates, const QJsonArray &times,
              const Sensors &sensors);
};

QJsonArray timesOf(const QJsonObject &properties)
{
    const QJsonValue t = properties.value(QLatin1String("coordTimes"));
    return t.isArray() ? t.toArray() : properties.value(QLatin1String("times")).toArray();
}

void GeoJsonReader::object(const QJsonObject &o, const QJsonObject &properties)
{
    const QString type = o.value(QLatin1String("type")).toString();
    if (type == QLatin1String("FeatureCollection")) {
        for (const QJsonValue f : o.value(QLatin1String("features")).toArray())
            feature(f.toObject());
    } else if (type == QLatin1String("Feature")) {
        feature(o);
    } else if (type == QLatin1String("GeometryCollection")) {
        for (const QJsonValue g : o.value(QLatin1String("geometries")).toArray())
            object(g.toObject(), {});
    } else if (type == QLatin1String("LineString") || type == QLatin1String("MultiLineString")) {
        line(o, properties, type.startsWith(QLatin1String("Multi")));
    } else if (type == QLatin1String("Point")) {
        point(o, properties);
    } else {
        ++otherShapes;
    }
}

void GeoJsonReader::line(const QJsonObject &o, const QJsonObject &properties, bool multi)
{
    Track track{0, 1, {}};
    track.name = properties.value(QLatin1String("name")).toString();
    if (TrackInput::isOwnName(track.name))
        track.name.clear(); // the name this program gives a track without one
    track.description = properties.value(QLatin1String("desc")).toString();
    if (track.description.isEmpty())
        track.description = properties.value(QLatin1String("description")).toString();
    const QJsonArray coordinates = o.value(QLatin1String("coordinates")).toArray();
    const QJsonArray times = timesOf(properties);
    const QJsonObject values = properties.value(QLatin1String("coordinateProperties")).toObject();
    Sensors sensors;
    for (int k = 0; k < 4; ++k)
        sensors.lists[k] = values.value(QLatin1String(SensorLists[k].second)).toArray();
    if (!multi) {
        part(track, coordinates, times, sensors);
    } else {
        for (qsizetype i = 0; i < coordinates.size(); ++i)
            part(track, coordinates.at(i).toArray(), times.at(i).toArray(), sensors.part(i));
    }
    if (track.points.isEmpty())
        return;
    TrackInput::fillSpeeds(track, {});
    track.startTime = TrackInput::firstTime(track);
    found.append(std::move(track));
}

void GeoJsonReader::point(const QJsonObject &o, const QJsonObject &properties)
{
    const QJsonArray c = o.value(QLatin1String("coordinates")).toArray();
    Waypoint w;
    w.latitude = c.at(1).toDouble(qQNaN());
    w.longitude = c.at(0).toDouble(qQNaN());
    if (!TrackInput::isLatitude(w.latitude) || !TrackInput::isLongitude(w.longitude)) {
        ++skipped;
        return;
    }
    w.hasAltitude = c.at(2).isDouble() && TrackInput::isAltitude(c.at(2).toDouble());
    w.altitude = w.hasAltitude ? c.at(2).toDouble() : 0.0;
    w.name = properties.value(QLatin1String("name")).toString();
    w.description = properties.value(QLatin1String("desc")).toString();
    if (w.description.isEmpty())
        w.description = properties.value(QLatin1String("description")).toString();
    w.time = TrackInput::isoTime(properties.value(QLatin1String("time")).toString(), &w.millis,
                                 &w.hasTime);
    waypoints.append(w);
}

void GeoJsonReader::feature(const QJsonObject &f)
{
    object(f.value(QLatin1String("geometry")).toObject(),
           f.value(QLatin1String("properties")).toObject());
}

void GeoJsonReader::part(Track &track, const QJsonArray &coordinates, const QJsonArray &times,
                         const Sensors &sensors)
{
    constexpr TrackInput::Sensor kinds[4] = {
        TrackInput::Sensor::HeartRate, TrackInput::Sensor::Cadence, TrackInput::Sensor::Temperature,
        TrackInput::Sensor::Power};
    // Times go with the coordinates only where there are as many of each.
    const bool timed = times.size() == coordinates.size();
    bool starts = !track.points.isEmpty();
    track.points.reserve(track.points.size() + coordinates.size());
    for (qsizetype i = 0; i < coordinates.size(); ++i) {
        const QJsonArray c = coordinates.at(i).toArray();
        TrackPoint p;
        p.position = Vec3(c.at(1).toDouble(qQNaN()), c.at(0).toDouble(qQNaN()), 0);
        if (c.size() < 2 || !TrackInput::isLatitude(p.position.x) ||
            !TrackInput::isLongitude(p.position.y)) {
            ++skipped;
            continue;
        }
        if (c.size() >= 3 && c.at(2).isDouble() && TrackInput::isAltitude(c.at(2).toDouble())) {
            p.position.z = c.at(2).toDouble();
            track.format = 2;
        } else {
            p.flags |= TrackPoint::NoAltitude;
        }
        bool ok = false;
        if (timed)
            p.time = TrackInput::isoTime(times.at(i).toString(), &p.millis, &ok);
        if (!ok)
            TrackInput::setNoTime(p);
        for (int k = 0; k < 4; ++k)
            if (sensors.lists[k].size() == coordinates.size() && sensors.lists[k].at(i).isDouble())
                TrackInput::setSensor(p, kinds[k], sensors.lists[k].at(i).toDouble(), &rounded);
        if (starts)
            p.flags |= TrackPoint::SegmentStart;
        starts = false;
        track.points.append(p);
    }
}

void appendNumber(QByteArray &out, double v)
{
    out += shortestBytes(v);
}

// [lon, lat, ele], or [lon, lat] for a point without an altitude.
void appendPosition(QByteArray &out, const Track &track, const TrackPoint &p)
{
    out += '[';
    appendNumber(out, p.position.y);
    out += ',';
    appendNumber(out, p.position.x);
    if (track.hasAltitudes() && p.hasAltitude()) {
        out += ',';
        appendNumber(out, p.position.z);
    }
    out += ']';
}

void appendString(QByteArray &out, const QString &text)
{
    out += QJsonDocument(QJsonArray{text}).toJson(QJsonDocument::Compact).sliced(1).chopped(1);
}

// Writes what is gathered once it is large: a big track is never held as text whole.
void spill(QByteArray &out, QIODevice &file, qsizetype at = 1 << 16)
{
    if (out.size() >= at) {
        file.write(out);
        out.clear();
    }
}

// A sensor value, or null.
void appendSensor(QByteArray &out, const TrackPoint &p, List what)
{
    int v = 0;
    out += p.sensor(int(what) - int(List::HeartRates), &v) ? QByteArray::number(v)
                                                           : QByteArray("null");
}

// The kept points' coordinates, times or sensor values, one list a segment.
void appendLists(QByteArray &out, QIODevice &file, const Track &track, bool markedOnly, List what,
                 TimeText &utc)
{
    const bool coordinates = what == List::Coordinates;
    out += "[[";
    bool first = true;
    for (const TrackPoint &p : track.points) {
        if (markedOnly && p.marked == 0)
            continue;
        out += first ? "" : p.startsSegment() ? "],[" : ",";
        first = false;
        if (coordinates) {
            appendPosition(out, track, p);
        } else if (what != List::Times) {
            appendSensor(out, p, what);
        } else if (!p.hasTime()) {
            out += "null";
        } else {
            out += '"' + utc.isoTime(p.time, p.millis) + '"';
        }
        spill(out, file);
    }
    out += "]]";
}

// One track as a Feature, without the comma between features: the geometry first, so that
// the times follow the coordinates in one pass each.
void appendTrack(QByteArray &out, QIODevice &file, const Track &track, bool markedOnly,
                 TimeText &utc)
{
    out += "{\"type\":\"Feature\",\"geometry\":{\"type\":\"MultiLineString\",\"coordinates\":";
    appendLists(out, file, track, markedOnly, List::Coordinates, utc);
    out += "},\"properties\":{\"name\":";
    // A logger's track is named as in the other exports until the user names it.
    appendString(out, !track.name.isEmpty() ? track.name
                      : track.startTime == 0
                          ? QStringLiteral("LX-300 DataLog-1")
                          : QStringLiteral("LX-300 DataLog-1 ") +
                                QString::fromLatin1(utc.dateTime(track.startTime)));
    if (!track.description.isEmpty()) {
        out += ",\"desc\":";
        appendString(out, track.description);
    }
    out += ",\"coordTimes\":";
    appendLists(out, file, track, markedOnly, List::Times, utc);
    // Other devices' sensor values, one list a segment as for the times.
    if (std::any_of(track.points.begin(), track.points.end(),
                    [](const TrackPoint &p) { return p.hasSensors(); })) {
        out += ",\"coordinateProperties\":{";
        for (const auto &[what, key] : SensorLists) {
            out += what == List::HeartRates ? "\"" : ",\"";
            out += key;
            out += "\":";
            appendLists(out, file, track, markedOnly, what, utc);
        }
        out += '}';
    }
    out += "}}";
}

// Waypoints as Point features, each after a comma.
void appendWaypoints(QByteArray &out, const QVector<Waypoint> &waypoints, TimeText &utc)
{
    for (const Waypoint &w : waypoints) {
        out += ",\n{\"type\":\"Feature\",\"geometry\":{\"type\":\"Point\",\"coordinates\":[";
        appendNumber(out, w.longitude);
        out += ',';
        appendNumber(out, w.latitude);
        if (w.hasAltitude) {
            out += ',';
            appendNumber(out, w.altitude);
        }
        out += "]},\"properties\":{\"name\":";
        appendString(out, w.name);
        if (!w.description.isEmpty()) {
            out += ",\"desc\":";
            appendString(out, w.description);
        }
        if (w.hasTime)
            out += ",\"time\":\"" + utc.isoTime(w.time, w.millis) + '"';
        out += "}}";
    }
}

// The marks as Point features named as GPX names them.
void appendMarks(QByteArray &out, const Track &track, TimeText &utc)
{
    int n = 0;
    for (const TrackPoint &p : track.points) {
        if (p.marked == 0)
            continue;
        out += ",\n{\"type\":\"Feature\",\"properties\":{\"name\":\"Mark " +
               QByteArray::number(++n) + '"';
        if (p.hasTime())
            out += ",\"time\":\"" + utc.dateTime(p.time, 'T') + "Z\"";
        out += "},\"geometry\":{\"type\":\"Point\",\"coordinates\":";
        appendPosition(out, track, p);
        out += "}}";
    }
}
} // namespace

bool FileFormatGeoJSON::read(QVector<Track> &tracks, const QString &fileName)
{
    QFile file(fileName);
    if (!file.open(QIODevice::ReadOnly))
        return fail(tr("Cannot open %1: %2").arg(fileName, file.errorString()));
    QJsonParseError parsed;
    const QJsonDocument json = QJsonDocument::fromJson(file.readAll(), &parsed);
    if (file.error() != QFileDevice::NoError)
        return fail(tr("Cannot read %1: %2").arg(fileName, file.errorString()));
    if (parsed.error != QJsonParseError::NoError)
        return fail(tr("%1 cannot be read: %2 at byte %3.")
                        .arg(fileName, parsed.errorString())
                        .arg(parsed.offset));
    const QString type = json.object().value(QLatin1String("type")).toString();
    if (type != QLatin1String("FeatureCollection") && type != QLatin1String("Feature") &&
        type != QLatin1String("LineString") && type != QLatin1String("MultiLineString") &&
        type != QLatin1String("GeometryCollection"))
        return fail(
            tr("%1 cannot be read: it is no GeoJSON feature collection or feature.").arg(fileName));
    GeoJsonReader reader;
    reader.object(json.object(), {});
    note.clear();
    places = reader.waypoints;
    if (reader.rounded > 0)
        addNote(tr("Temperatures rounded to whole degrees: %1.").arg(reader.rounded));
    if (reader.otherShapes > 0)
        addNote(tr("Shapes other than lines and points, not shown: %1.").arg(reader.otherShapes));
    return deliver(tracks, reader.found, reader.skipped, fileName);
}

bool FileFormatGeoJSON::write(const QVector<Track> &tracks, const QString &fileName,
                              const QList<int> &selection, const WriteOptions &options)
{
    if (!checkSelection(tracks, selection))
        return false;
    QSaveFile file(fileName);
    QString why;
    if (!FileTarget::open(file, QIODevice::WriteOnly, &why))
        return fail(tr("Cannot write %1: %2").arg(fileName, why));
    TimeText utc(false);
    QByteArray out = "{\"type\":\"FeatureCollection\",\"features\":[\n";
    bool first = true;
    for (int index : selection) {
        if (!first)
            out += ",\n";
        first = false;
        appendTrack(out, file, tracks.at(index), options.markedOnly, utc);
        spill(out, file);
    }
    if (options.marksAsWaypoints)
        for (int index : selection) {
            QByteArray marks;
            appendMarks(marks, tracks.at(index), utc);
            if (first && !marks.isEmpty()) {
                marks.remove(0, 1); // no track before the first mark: no comma
                first = false;
            }
            out += marks;
            spill(out, file);
        }
    if (options.waypoints && !options.waypoints->isEmpty()) {
        QByteArray more;
        appendWaypoints(more, *options.waypoints, utc);
        out += first ? more.mid(1) : more; // no comma before the first feature
    }
    out += "\n]}\n";
    file.write(out);
    if (!FileTarget::commit(file, &why))
        return fail(tr("Cannot write %1: %2").arg(fileName, why));
    error.clear();
    return true;
}

QString FileFormatGeoJSON::keeps() const
{
    return tr("GeoJSON keeps times (with fractions), altitudes, segments, names, descriptions, "
              "heart rate, cadence, temperature and power (coordinateProperties) and marks (as "
              "points, on request); speeds are worked out again when read.");
}
