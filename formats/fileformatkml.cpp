#include "formats/fileformatkml.h"

#include "formats/fixedtext.h"
#include "formats/timetext.h"
#include "formats/xmlexport.h"

#include <QCoreApplication>

#include <QLoggingCategory>
#include <algorithm>

// The altitude of every exported point, for tracing an export; off by default.
Q_LOGGING_CATEGORY(lcKml, "lx300.formats.kml", QtInfoMsg)

namespace {
// "lon,lat[,alt]\n": the altitude only where the point has one (log format 1 records none;
// an altitude of 0 m would be made up).
void appendTuple(QByteArray &out, const TrackPoint &point, int format)
{
    out += fixedBytes(point.position.y, 6);
    out += ',';
    out += fixedBytes(point.position.x, 6);
    if (formatHasAltitudes(format) && point.hasAltitude()) {
        out += ',';
        out += fixedBytes(point.position.z, 2);
    }
    out += '\n';
    qCDebug(lcKml) << point.position.z;
}

bool written(const TrackPoint &point, bool markedOnly)
{
    return !markedOnly || point.marked != 0;
}
} // namespace

bool FileFormatKML::write(const QVector<Track> &tracks, const QString &fileName,
                          const QList<int> &selection, const WriteOptions &options)
{
    if (!checkSelection(tracks, selection))
        return false;
    QXmlStreamWriter xml;
    XmlExportFile file(fileName);
    if (!file.open(xml))
        return fail(QCoreApplication::translate("FileFormat", "Cannot write %1: %2")
                        .arg(fileName, file.errorString()));

    xml.writeStartElement(QStringLiteral("kml"));
    xml.writeAttribute(QStringLiteral("xmlns"), QStringLiteral("http://www.opengis.net/kml/2.2"));
    // A track with another device's values goes as a gx:Track, which holds them per point
    // (with its times); the extension is declared only then: other exports stay as they were.
    if (anySensors(tracks, selection))
        xml.writeAttribute(QStringLiteral("xmlns:gx"),
                           QStringLiteral("http://www.google.com/kml/ext/2.2"));
    xml.writeStartElement(QStringLiteral("Folder"));
    TimeText localTime(true), utc(false);
    int n = 1;
    for (int index : selection) {
        const Track &track = tracks.at(index);
        xml.writeStartElement(QStringLiteral("Placemark"));
        xml.writeTextElement(QStringLiteral("name"),
                             !track.name.isEmpty() ? xmlText(track.name)
                             : track.startTime == 0
                                 ? QStringLiteral("LX-300 DataLog-%1").arg(n)
                                 : QStringLiteral("LX-300 DataLog-%1 ").arg(n) +
                                       QString::fromLatin1(localTime.dateTime(track.startTime)));
        if (!track.description.isEmpty())
            xml.writeTextElement(QStringLiteral("description"), xmlText(track.description));
        // A named track's start is no longer in its name: a time span keeps it.
        if (!track.name.isEmpty() && track.startTime != 0) {
            xml.writeStartElement(QStringLiteral("TimeSpan"));
            xml.writeTextElement(QStringLiteral("begin"),
                                 QString::fromLatin1(utc.dateTime(track.startTime, 'T') + 'Z'));
            xml.writeEndElement();
        }
        xml.writeTextElement(QStringLiteral("styleUrl"),
                             QStringLiteral("root://styleMaps#default+nicon=0x467+hicon=0x477"));
        xml.writeStartElement(QStringLiteral("Style"));
        xml.writeStartElement(QStringLiteral("LineStyle"));
        xml.writeTextElement(QStringLiteral("color"), QStringLiteral("7f0000ff"));
        xml.writeTextElement(QStringLiteral("width"), QStringLiteral("4"));
        xml.writeEndElement();
        xml.writeEndElement();
        if (std::any_of(track.points.begin(), track.points.end(),
                        [](const TrackPoint &p) { return p.hasSensors(); }))
            writeGxTrack(xml, track, options.markedOnly);
        else
            writeLine(xml, track, options.markedOnly);
        xml.writeEndElement();
        if (options.marksAsWaypoints)
            writeMarks(xml, track);
        ++n; // numbered in selection order, also when a track gave no point
    }
    if (options.waypoints)
        for (const Waypoint &w : *options.waypoints)
            writeWaypoint(xml, w);
    xml.writeEndElement();
    xml.writeEndElement();

    if (!file.finish(xml))
        return fail(QCoreApplication::translate("FileFormat", "Cannot write %1: %2")
                        .arg(fileName, file.errorString()));
    error.clear();
    return true;
}

void FileFormatKML::writeLine(QXmlStreamWriter &xml, const Track &track, bool markedOnly)
{
    // A track of several segments is a MultiGeometry of line strings, one per segment.
    const QVector<TrackPoint> &points = track.points;
    bool any = false, segments = false;
    for (const TrackPoint &point : points) {
        if (!written(point, markedOnly))
            continue;
        segments |= any && point.startsSegment();
        any = true;
    }
    if (segments)
        xml.writeStartElement(QStringLiteral("MultiGeometry"));
    QByteArray coordinates;
    bool open = false;
    const auto endLine = [&] {
        xml.writeCharacters(QString::fromLatin1(coordinates));
        coordinates.clear();
        xml.writeEndElement();
        xml.writeTextElement(QStringLiteral("tessellate"), QStringLiteral("1"));
        xml.writeTextElement(QStringLiteral("altitudeMode"), QStringLiteral("clampToGround"));
        xml.writeEndElement();
    };
    const auto startLine = [&] {
        xml.writeStartElement(QStringLiteral("LineString"));
        xml.writeStartElement(QStringLiteral("coordinates"));
        // Streamed in pieces, so a long track never sits in memory as text.
        xml.writeCharacters(QString());
        open = true;
    };
    startLine();
    bool first = true;
    for (const TrackPoint &point : points) {
        if (!written(point, markedOnly))
            continue;
        if (!first && point.startsSegment()) {
            endLine();
            startLine();
        }
        first = false;
        appendTuple(coordinates, point, track.format);
        if (coordinates.size() > 65536) {
            xml.writeCharacters(QString::fromLatin1(coordinates));
            coordinates.clear();
        }
    }
    if (open)
        endLine();
    if (segments)
        xml.writeEndElement();
}

void FileFormatKML::writeMarks(QXmlStreamWriter &xml, const Track &track)
{
    TimeText utc(false);
    int n = 0;
    for (const TrackPoint &point : track.points) {
        if (point.marked == 0)
            continue;
        xml.writeStartElement(QStringLiteral("Placemark"));
        xml.writeTextElement(QStringLiteral("name"), QStringLiteral("Mark %1").arg(++n));
        if (point.hasTime()) {
            xml.writeStartElement(QStringLiteral("TimeStamp"));
            xml.writeTextElement(QStringLiteral("when"),
                                 QString::fromLatin1(utc.dateTime(point.time, 'T') + 'Z'));
            xml.writeEndElement();
        }
        xml.writeStartElement(QStringLiteral("Point"));
        QByteArray tuple;
        appendTuple(tuple, point, track.format);
        tuple.chop(1);
        xml.writeTextElement(QStringLiteral("coordinates"), QString::fromLatin1(tuple));
        xml.writeEndElement();
        xml.writeEndElement();
    }
}

void FileFormatKML::writeGxTrack(QXmlStreamWriter &xml, const Track &track, bool markedOnly)
{
    // One gx:Track a segment (in a gx:MultiTrack when there are several): when, coord, and the
    // values as ExtendedData arrays, empty where a point has none.
    QVector<QVector<const TrackPoint *>> segments;
    for (const TrackPoint &p : track.points) {
        if (!written(p, markedOnly))
            continue;
        if (segments.isEmpty() || p.startsSegment())
            segments.append(QVector<const TrackPoint *>());
        segments.last().append(&p);
    }
    if (segments.size() > 1)
        xml.writeStartElement(QStringLiteral("gx:MultiTrack"));
    TimeText utc(false);
    for (const QVector<const TrackPoint *> &segment : qAsConst(segments)) {
        xml.writeStartElement(QStringLiteral("gx:Track"));
        for (const TrackPoint *p : segment) {
            xml.writeTextElement(QStringLiteral("when"),
                                 p->hasTime() ? QString::fromLatin1(utc.isoTime(p->time, p->millis))
                                              : QString());
        }
        for (const TrackPoint *p : segment) {
            QByteArray tuple;
            appendTuple(tuple, *p, track.format);
            tuple.chop(1);
            xml.writeTextElement(QStringLiteral("gx:coord"),
                                 QString::fromLatin1(tuple.replace(',', ' ')));
        }
        writeSensorArrays(xml, segment);
        xml.writeEndElement();
    }
    if (segments.size() > 1)
        xml.writeEndElement();
}

void FileFormatKML::writeSensorArrays(QXmlStreamWriter &xml,
                                      const QVector<const TrackPoint *> &segment)
{
    xml.writeStartElement(QStringLiteral("ExtendedData"));
    xml.writeStartElement(QStringLiteral("SchemaData"));
    const char *names[] = {"heartrate", "cadence", "temperature", "power"};
    for (int k = 0; k < 4; ++k) {
        xml.writeStartElement(QStringLiteral("gx:SimpleArrayData"));
        xml.writeAttribute(QStringLiteral("name"), QLatin1String(names[k]));
        int v = 0;
        for (const TrackPoint *p : segment)
            xml.writeTextElement(QStringLiteral("gx:value"),
                                 p->sensor(k, &v) ? QString::number(v) : QString());
        xml.writeEndElement();
    }
    xml.writeEndElement();
    xml.writeEndElement();
}

void FileFormatKML::writeWaypoint(QXmlStreamWriter &xml, const Waypoint &w)
{
    xml.writeStartElement(QStringLiteral("Placemark"));
    xml.writeTextElement(QStringLiteral("name"), xmlText(w.name));
    if (!w.description.isEmpty())
        xml.writeTextElement(QStringLiteral("description"), xmlText(w.description));
    if (w.hasTime) {
        TimeText utc(false);
        xml.writeStartElement(QStringLiteral("TimeStamp"));
        xml.writeTextElement(QStringLiteral("when"),
                             QString::fromLatin1(utc.isoTime(w.time, w.millis)));
        xml.writeEndElement();
    }
    xml.writeStartElement(QStringLiteral("Point"));
    QByteArray tuple = shortestBytes(w.longitude) + ',' + shortestBytes(w.latitude);
    if (w.hasAltitude)
        tuple += ',' + shortestBytes(w.altitude);
    xml.writeTextElement(QStringLiteral("coordinates"), QString::fromLatin1(tuple));
    xml.writeEndElement();
    xml.writeEndElement();
}

bool FileFormatKMZ::write(const QVector<Track> &, const QString &fileName, const QList<int> &,
                          const WriteOptions &)
{
    return fail(
        QCoreApplication::translate("FileFormat", "Cannot write %1: KMZ files are only read.")
            .arg(fileName));
}

QString FileFormatKML::keeps() const
{
    return QCoreApplication::translate("FileFormat",
                                       "KML keeps altitudes, segments, names, descriptions, "
                                       "waypoints and marks (as timed point placemarks, on "
                                       "request); no times or speeds on lines. A track with heart "
                                       "rate, cadence, temperature or power is a gx:Track that "
                                       "keeps them, and its times.");
}

QString FileFormatKMZ::keeps() const
{
    return QCoreApplication::translate("FileFormat",
                                       "KMZ (read only) gives what the KML inside it holds.");
}
