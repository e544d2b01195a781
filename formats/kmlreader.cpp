// Reading KML 2.2 (and KMZ, its zipped form): each Placemark's lines become one track, each
// LineString or gx:Track of it a segment (a MultiGeometry or gx:MultiTrack gives several);
// Folders are looked into. A point placemark with a TimeStamp marks the track point of that
// time. One small function per element, on the shared XML loop.
#include "formats/fileformatkml.h"
#include "formats/trackinput.h"
#include "formats/zipentry.h"

#include <QBuffer>
#include <QFile>
#include <QHash>
#include <QRegularExpression>

#include <cmath>

namespace {
using TrackInput::tr;
using Token = QXmlStreamReader::TokenType;

// Placemarks inside placemarks are no KML; a few levels are read, deeper ones skipped.
constexpr int MaxPlacemarkDepth = 16;

// "lon,lat[,alt]" or, in a gx:coord, "lon lat [alt]"; false for an impossible point. A point
// without an altitude says so.
bool parseTuple(QStringView tuple, QChar separator, TrackPoint *p)
{
    const QList<QStringView> v = tuple.split(separator, Qt::SkipEmptyParts);
    if (v.size() < 2 || v.size() > 3 || !TrackInput::longitude(v[0], &p->position.y) ||
        !TrackInput::latitude(v[1], &p->position.x))
        return false;
    if (v.size() == 2) {
        p->flags |= TrackPoint::NoAltitude;
        return true;
    }
    return TrackInput::altitude(v[2], &p->position.z);
}

class KmlReader
{
public:
    explicit KmlReader(TrackInput::XmlFile &in) : in(in) {}

    // The whole document; false when the XML is broken.
    bool read();

    QVector<Track> found;
    // Point placemarks: their time (0 for none) and position, to mark the track point there.
    struct Place
    {
        quint32 time = 0;
        bool timed = false;
        double lat = 0, lon = 0;
        int track = -1;    // the track read last before it: the one its marks follow
        Waypoint waypoint; // what it is when it marks no track point
    };
    QVector<Place> places;
    int skipped = 0;
    bool notKml = false;

private:
    bool is(const char *name) const { return in.is(name); }
    // A placemark's texts: its name, description, TimeStamp and TimeSpan start.
    struct PlacemarkTexts
    {
        QString name, description;
        quint32 when = 0, begin = 0;
        quint16 millis = 0; // of `when`
        bool timed = false;
    };
    void readPlacemark(int depth);
    void readText(PlacemarkTexts *texts);
    void addTrack(Track &track, const PlacemarkTexts &texts);
    void readLineString(Track *track);
    void readCoordinates(Track *track);
    void readGxTrack(Track *track);
    // A gx:Track's points: its coords with their times and values, the impossible ones left out.
    static QVector<TrackPoint>
    gxPoints(const QVector<quint32> &whens, const QVector<quint16> &millis,
             const QVector<TrackPoint> &coords, const QVector<bool> &good,
             const QVector<std::pair<TrackInput::Sensor, QVector<QString>>> &arrays);
    // Adds `points` to `track` as a segment of its own.
    static void addSegment(Track *track, QVector<TrackPoint> points);

    TrackInput::XmlFile &in;
};

bool KmlReader::read()
{
    if (in.nextTag() != Token::StartElement || !is("kml")) {
        notKml = !in.failed() && in.started();
        return false;
    }
    for (Token t = in.nextTag(); t != Token::Invalid; t = in.nextTag())
        if (t == Token::StartElement && is("Placemark"))
            readPlacemark(1);
    return !in.failed();
}

void KmlReader::addSegment(Track *track, QVector<TrackPoint> points)
{
    if (points.isEmpty())
        return;
    if (!track->points.isEmpty())
        points.first().flags |= TrackPoint::SegmentStart;
    for (const TrackPoint &p : qAsConst(points))
        if (p.hasAltitude())
            track->format = 2;
    track->points += points;
}

void KmlReader::readPlacemark(int depth)
{
    PlacemarkTexts texts;
    Track track{0, 1, {}};
    bool point = false, placed = false;
    Place place;
    for (Token t = in.nextTag(); t != Token::Invalid; t = in.nextTag()) {
        if (t == Token::StartElement && is("Placemark") && depth < MaxPlacemarkDepth)
            readPlacemark(depth + 1);
        else if (t == Token::StartElement && is("LineString"))
            readLineString(&track);
        else if (t == Token::StartElement && is("Track"))
            readGxTrack(&track);
        else if (t == Token::StartElement && is("Point"))
            point = true;
        else if (t == Token::EndElement && is("coordinates") && point) {
            TrackPoint p;
            if (parseTuple(in.text.trimmed(), QLatin1Char(','), &p)) {
                placed = true;
                place.lat = p.position.x, place.lon = p.position.y;
                place.waypoint.altitude = p.position.z;
                place.waypoint.hasAltitude = p.hasAltitude();
            }
        } else if (t == Token::EndElement && is("Placemark"))
            break;
        else if (t == Token::EndElement)
            readText(&texts);
    }
    if (point && !placed)
        ++skipped; // a point placemark without a possible position
    if (point && placed) {
        place.time = texts.when;
        place.timed = texts.timed;
        place.track = int(found.size()) - 1;
        Waypoint &w = place.waypoint;
        w.name = texts.name;
        w.description = texts.description;
        w.latitude = place.lat, w.longitude = place.lon;
        w.time = texts.when, w.millis = texts.millis, w.hasTime = texts.timed;
        places.append(place);
    }
    if (!track.points.isEmpty())
        addTrack(track, texts);
}

void KmlReader::readText(PlacemarkTexts *texts)
{
    if (is("when")) // the placemark's TimeStamp
        texts->when = TrackInput::isoTime(in.text, &texts->millis, &texts->timed);
    else if (is("begin")) // its TimeSpan
        texts->begin = TrackInput::isoTime(in.text, nullptr, nullptr);
    else if (is("name"))
        texts->name = in.text.trimmed();
    else if (is("description"))
        texts->description = in.text.trimmed();
}

void KmlReader::addTrack(Track &track, const PlacemarkTexts &texts)
{
    // Lines hold no times: the start is in the program's own name, or a named track's time
    // span; a gx:Track's start is its first time.
    track.startTime = TrackInput::ownStartTime(texts.name, Qt::LocalTime);
    TrackInput::fillSpeeds(track, {});
    if (track.startTime == 0)
        track.startTime = TrackInput::firstTime(track);
    if (track.startTime == 0)
        track.startTime = texts.begin;
    if (!TrackInput::isOwnName(texts.name))
        track.name = texts.name;
    track.description = texts.description;
    found.append(track);
}

void KmlReader::readLineString(Track *track)
{
    for (Token t = in.nextTag(); t != Token::Invalid; t = in.nextTag()) {
        if (t == Token::EndElement && is("coordinates"))
            readCoordinates(track);
        else if (t == Token::EndElement && is("LineString"))
            return;
    }
}

void KmlReader::readCoordinates(Track *track)
{
    // Tuples part at whitespace; spaces written around a tuple's commas are no break.
    static const QRegularExpression spacedCommas(QStringLiteral("\\s*,\\s*"));
    const QString text = QString(in.text).replace(spacedCommas, QStringLiteral(","));
    QVector<TrackPoint> points;
    const QStringView all(text);
    for (qsizetype i = 0; i < all.size();) {
        while (i < all.size() && all[i].isSpace())
            ++i;
        qsizetype end = i;
        while (end < all.size() && !all[end].isSpace())
            ++end;
        if (end == i)
            break;
        TrackPoint p;
        TrackInput::setNoTime(p);
        if (parseTuple(all.mid(i, end - i), QLatin1Char(','), &p))
            points.append(p);
        else
            ++skipped;
        i = end;
    }
    addSegment(track, points);
}

void KmlReader::readGxTrack(Track *track)
{
    // gx:when and gx:coord come in pairs, in order.
    QVector<quint32> whens;
    QVector<quint16> millis;
    QVector<TrackPoint> coords;
    QVector<bool> good;
    // Other devices' values in the track's ExtendedData: a gx:SimpleArrayData per kind, a
    // gx:value per coord.
    TrackInput::Sensor array = TrackInput::Sensor::None;
    QVector<std::pair<TrackInput::Sensor, QVector<QString>>> arrays;
    for (Token t = in.nextTag(); t != Token::Invalid && !(t == Token::EndElement && is("Track"));
         t = in.nextTag()) {
        if (t == Token::StartElement && is("SimpleArrayData")) {
            array = TrackInput::sensorNamed(in.xml.attributes().value(QLatin1String("name")));
            arrays.append({array, {}});
        }
        if (t != Token::EndElement)
            continue;
        if (is("value") && array != TrackInput::Sensor::None) {
            arrays.last().second.append(in.text.trimmed());
        } else if (is("SimpleArrayData")) {
            array = TrackInput::Sensor::None;
        } else if (is("when")) {
            quint16 ms = 0;
            bool ok = false;
            whens.append(TrackInput::isoTime(in.text, &ms, &ok));
            millis.append(ok ? ms : quint16(0xFFFF)); // no time
        } else if (is("coord")) {
            TrackPoint p;
            good.append(parseTuple(in.text.trimmed(), QLatin1Char(' '), &p));
            skipped += !good.last();
            coords.append(p);
        }
    }
    addSegment(track, gxPoints(whens, millis, coords, good, arrays));
}

QVector<TrackPoint>
KmlReader::gxPoints(const QVector<quint32> &whens, const QVector<quint16> &millis,
                    const QVector<TrackPoint> &coords, const QVector<bool> &good,
                    const QVector<std::pair<TrackInput::Sensor, QVector<QString>>> &arrays)
{
    QVector<TrackPoint> points;
    for (int i = 0; i < coords.size(); ++i) {
        if (!good[i])
            continue;
        TrackPoint p = coords[i];
        p.time = whens.value(i, 0);
        p.millis = millis.value(i, 0xFFFF);
        if (p.millis == 0xFFFF)
            TrackInput::setNoTime(p);
        for (const auto &[sensor, values] : qAsConst(arrays))
            if (sensor != TrackInput::Sensor::None && values.size() == coords.size() &&
                !values[i].isEmpty())
                TrackInput::setSensor(p, sensor, values[i], nullptr);
        points.append(p);
    }
    return points;
}
} // namespace

bool FileFormatKML::readDocument(QVector<Track> &tracks, QIODevice *device, const QString &fileName)
{
    TrackInput::XmlFile in(device);
    QString why;
    if (!in.open(&why))
        return fail(tr("Cannot open %1: %2").arg(fileName, why));
    KmlReader kml(in);
    if (!kml.read())
        return failXml(fileName, kml.notKml, "KML", in.failure());
    // A point placemark at a track point marks it (the marks this program writes): at its
    // time, or, on a line without times, at its position (to the written precision) in the
    // track it follows.
    QHash<quint32, QPair<int, int>> byTime;
    QVector<QHash<QPair<qint64, qint64>, int>> byPlace(kml.found.size());
    const auto key = [](double lat, double lon) {
        return qMakePair(qint64(std::llround(lat * 1e6)), qint64(std::llround(lon * 1e6)));
    };
    for (int i = 0; i < kml.found.size(); ++i)
        for (int j = 0; j < kml.found[i].points.size(); ++j) {
            const TrackPoint &p = kml.found[i].points[j];
            if (p.hasTime())
                byTime.insert(p.time, {i, j});
            else
                byPlace[i].insert(key(p.position.x, p.position.y), j);
        }
    places.clear();
    for (const KmlReader::Place &place : qAsConst(kml.places)) {
        const QPair<int, int> none{-1, -1};
        QPair<int, int> at = place.timed ? byTime.value(place.time, none) : none;
        if (at == none && place.track >= 0)
            at = {place.track, byPlace[place.track].value(key(place.lat, place.lon), -1)};
        if (at.first >= 0 && at.second >= 0)
            kml.found[at.first].points[at.second].marked = 1;
        else
            places.append(place.waypoint); // a place of its own
    }
    note.clear();
    return deliver(tracks, kml.found, kml.skipped, fileName);
}

bool FileFormatKML::read(QVector<Track> &tracks, const QString &fileName)
{
    QFile file(fileName);
    if (!file.open(QIODevice::ReadOnly))
        return fail(tr("Cannot open %1: %2").arg(fileName, file.errorString()));
    // A KMZ is a zip (whatever its name says): its KML is read from it.
    if (file.peek(4) != QByteArrayLiteral("PK\x03\x04"))
        return readDocument(tracks, &file, fileName);
    file.close();
    QByteArray kml;
    QString why;
    if (!ZipEntry::readFirstKml(fileName, &kml, &why))
        return fail(tr("%1 cannot be read: %2").arg(fileName, why));
    QBuffer buffer(&kml);
    buffer.open(QIODevice::ReadOnly);
    return readDocument(tracks, &buffer, fileName);
}
