#include "formats/fileformatgpx.h"

#include "formats/fixedtext.h"
#include "formats/timetext.h"
#include "formats/xmlexport.h"

#include <QCoreApplication>

#include <algorithm>

namespace {
const char *const Namespace = "http://www.topografix.com/GPX/1/1";

QString fixed(double value, int decimals)
{
    return fixedText(value, decimals);
}
} // namespace

bool FileFormatGPX::write(const QVector<Track> &tracks, const QString &fileName,
                          const QList<int> &selection, const WriteOptions &options)
{
    if (!checkSelection(tracks, selection))
        return false;
    XmlExportFile file(fileName);
    if (!file.open(xmlWriter))
        return fail(QCoreApplication::translate("FileFormat", "Cannot write %1: %2")
                        .arg(fileName, file.errorString()));

    xmlWriter.writeStartElement(QStringLiteral("gpx"));
    xmlWriter.writeAttribute(QStringLiteral("creator"),
                             QStringLiteral("Trekmont - http://www.trekmont.com"));
    xmlWriter.writeAttribute(QStringLiteral("version"), QStringLiteral("1.1"));
    xmlWriter.writeAttribute(QStringLiteral("xmlns"), QLatin1String(Namespace));
    xmlWriter.writeAttribute(QStringLiteral("xmlns:xsi"),
                             QStringLiteral("http://www.w3.org/2001/XMLSchema-instance"));
    // Garmin's extensions for other devices' sensor values, declared only where a point has
    // one: the logger's exports stay as they were.
    sensors = anySensors(tracks, selection);
    if (sensors) {
        xmlWriter.writeAttribute(QStringLiteral("xmlns:gpxtpx"), QLatin1String(TpxNamespace));
        xmlWriter.writeAttribute(QStringLiteral("xmlns:gpxpx"), QLatin1String(PowerNamespace));
    }
    xmlWriter.writeAttribute(QStringLiteral("xsi:schemaLocation"),
                             QLatin1String(Namespace) + QLatin1Char(' ') +
                                 QLatin1String(Namespace) + QStringLiteral("/gpx.xsd"));
    if (options.marksAsWaypoints)
        for (int index : selection)
            writeMarks(tracks.at(index));
    if (options.waypoints)
        for (const Waypoint &w : *options.waypoints)
            writeWaypoint(w);
    for (int index : selection)
        writeTrack(tracks.at(index), options.markedOnly);
    xmlWriter.writeEndElement();

    if (!file.finish(xmlWriter))
        return fail(QCoreApplication::translate("FileFormat", "Cannot write %1: %2")
                        .arg(fileName, file.errorString()));
    error.clear();
    return true;
}

void FileFormatGPX::writeTrack(const Track &track, bool markedOnly)
{
    xmlWriter.writeStartElement(QStringLiteral("trk"));
    // A track the user named keeps its name. Otherwise every GPX track is named with the
    // number 1 and the start time tells them apart; a track without times gets no made-up date.
    TimeText utc(false);
    xmlWriter.writeTextElement(QStringLiteral("name"),
                               !track.name.isEmpty() ? xmlText(track.name)
                               : track.startTime == 0
                                   ? QStringLiteral("LX-300 DataLog-1")
                                   : QStringLiteral("LX-300 DataLog-%1 ").arg(1) +
                                         QString::fromLatin1(utc.dateTime(track.startTime)));
    if (!track.description.isEmpty())
        xmlWriter.writeTextElement(QStringLiteral("desc"), xmlText(track.description));
    xmlWriter.writeStartElement(QStringLiteral("trkseg"));
    bool written = false;
    for (const TrackPoint &point : track.points) {
        if (markedOnly && point.marked == 0)
            continue;
        // A segment break starts a new trkseg (not before the first point written).
        if (written && point.startsSegment()) {
            xmlWriter.writeEndElement();
            xmlWriter.writeStartElement(QStringLiteral("trkseg"));
        }
        writePoint(point, track.format);
        written = true;
    }
    xmlWriter.writeEndElement();
    xmlWriter.writeEndElement();
}

void FileFormatGPX::writeMarks(const Track &track)
{
    int n = 0;
    for (const TrackPoint &point : track.points) {
        if (point.marked == 0)
            continue;
        writePoint(point, track.format, "wpt");
        xmlWriter.writeTextElement(QStringLiteral("name"), QStringLiteral("Mark %1").arg(++n));
        xmlWriter.writeEndElement();
    }
}

void FileFormatGPX::writePoint(const TrackPoint &point, int format, const char *element)
{
    TimeText utc(false);
    xmlWriter.writeStartElement(QLatin1String(element));
    xmlWriter.writeAttribute(QStringLiteral("lat"), fixed(point.position.x, 6));
    xmlWriter.writeAttribute(QStringLiteral("lon"), fixed(point.position.y, 6));
    if (formatHasAltitudes(format) && point.hasAltitude())
        xmlWriter.writeTextElement(QStringLiteral("ele"), fixed(point.position.z, 2));
    if (point.hasTime()) {
        xmlWriter.writeTextElement(QStringLiteral("time"),
                                   QString::fromLatin1(utc.isoTime(point.time, point.millis)));
    }
    if (qstrcmp(element, "wpt") == 0) // a waypoint's name follows; the caller closes it
        return;
    // 0.01 km/h to m/s. A speed worked out from the positions is not written: read back it
    // would pass for one the device measured.
    if (point.hasSpeed() && !(point.flags & TrackPoint::SpeedComputed))
        xmlWriter.writeTextElement(QStringLiteral("speed"),
                                   fixed(double(point.speed) * 1000 / 100 / 3600, 2));
    if (sensors && point.hasSensors())
        writeSensors(point);
    xmlWriter.writeEndElement();
}

void FileFormatGPX::writeWaypoint(const Waypoint &w)
{
    // Every digit kept (the shortest text that reads back the same): a place of its own.
    xmlWriter.writeStartElement(QStringLiteral("wpt"));
    xmlWriter.writeAttribute(QStringLiteral("lat"), QString::fromLatin1(shortestBytes(w.latitude)));
    xmlWriter.writeAttribute(QStringLiteral("lon"),
                             QString::fromLatin1(shortestBytes(w.longitude)));
    if (w.hasAltitude)
        xmlWriter.writeTextElement(QStringLiteral("ele"),
                                   QString::fromLatin1(shortestBytes(w.altitude)));
    if (w.hasTime) {
        TimeText utc(false);
        xmlWriter.writeTextElement(QStringLiteral("time"),
                                   QString::fromLatin1(utc.isoTime(w.time, w.millis)));
    }
    if (!w.name.isEmpty())
        xmlWriter.writeTextElement(QStringLiteral("name"), xmlText(w.name));
    if (!w.description.isEmpty())
        xmlWriter.writeTextElement(QStringLiteral("desc"), xmlText(w.description));
    xmlWriter.writeEndElement();
}

void FileFormatGPX::writeSensors(const TrackPoint &point)
{
    // In the order TrackPointExtension v1 gives them: atemp, hr, cad; the power in Garmin's
    // PowerExtension.
    xmlWriter.writeStartElement(QStringLiteral("extensions"));
    if (point.temperature != TrackPoint::NoTemperature ||
        point.heartRate != TrackPoint::NoHeartRate || point.cadence != TrackPoint::NoCadence) {
        xmlWriter.writeStartElement(QStringLiteral("gpxtpx:TrackPointExtension"));
        if (point.temperature != TrackPoint::NoTemperature)
            xmlWriter.writeTextElement(QStringLiteral("gpxtpx:atemp"),
                                       QString::number(point.temperature));
        if (point.heartRate != TrackPoint::NoHeartRate)
            xmlWriter.writeTextElement(QStringLiteral("gpxtpx:hr"),
                                       QString::number(point.heartRate));
        if (point.cadence != TrackPoint::NoCadence)
            xmlWriter.writeTextElement(QStringLiteral("gpxtpx:cad"),
                                       QString::number(point.cadence));
        xmlWriter.writeEndElement();
    }
    if (point.power != TrackPoint::NoPower) {
        xmlWriter.writeStartElement(QStringLiteral("gpxpx:PowerExtension"));
        xmlWriter.writeTextElement(QStringLiteral("gpxpx:PowerInWatts"),
                                   QString::number(point.power));
        xmlWriter.writeEndElement();
    }
    xmlWriter.writeEndElement();
}

QString FileFormatGPX::keeps() const
{
    return QCoreApplication::translate("FileFormat",
                                       "GPX keeps times (with fractions), altitudes, speeds, "
                                       "segments, names, descriptions, heart rate, cadence, "
                                       "temperature and power (Garmin's extensions) and marks "
                                       "(as waypoints, on request).");
}
