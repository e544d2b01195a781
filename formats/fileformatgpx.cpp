#include "formats/fileformatgpx.h"

#include "formats/fixedtext.h"
#include "formats/timetext.h"
#include "formats/xmlexport.h"

#include <QCoreApplication>

namespace {
const char *const Namespace = "http://www.topografix.com/GPX/1/1";

QString fixed(double value, int decimals)
{
    return fixedText(value, decimals);
}
} // namespace

bool FileFormatGPX::write(const QVector<Track> &tracks, const QString &fileName,
                          const QList<int> &selection, bool markedOnly)
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
    xmlWriter.writeAttribute(QStringLiteral("xsi:schemaLocation"),
                             QLatin1String(Namespace) + QLatin1Char(' ') +
                                 QLatin1String(Namespace) + QStringLiteral("/gpx.xsd"));
    for (int index : selection)
        writeTrack(tracks.at(index), markedOnly);
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
    // Every GPX track is named with the number 1; the start time tells them apart.
    TimeText utc(false);
    xmlWriter.writeTextElement(QStringLiteral("name"),
                               QStringLiteral("LX-300 DataLog-%1 ").arg(1) +
                                   QString::fromLatin1(utc.dateTime(track.startTime)));
    xmlWriter.writeStartElement(QStringLiteral("trkseg"));
    for (const TrackPoint &point : track.points) {
        if (markedOnly && point.marked == 0)
            continue;
        writePoint(point, track.format);
    }
    xmlWriter.writeEndElement();
    xmlWriter.writeEndElement();
}

void FileFormatGPX::writePoint(const TrackPoint &point, int format)
{
    TimeText utc(false);
    xmlWriter.writeStartElement(QStringLiteral("trkpt"));
    xmlWriter.writeAttribute(QStringLiteral("lat"), fixed(point.position.x, 6));
    xmlWriter.writeAttribute(QStringLiteral("lon"), fixed(point.position.y, 6));
    if (format == 2)
        xmlWriter.writeTextElement(QStringLiteral("ele"), fixed(point.position.z, 2));
    xmlWriter.writeTextElement(QStringLiteral("time"),
                               QString::fromLatin1(utc.dateTime(point.time, 'T') + 'Z'));
    // 0.01 km/h to m/s.
    xmlWriter.writeTextElement(QStringLiteral("speed"),
                               fixed(double(point.speed) * 1000 / 100 / 3600, 2));
    xmlWriter.writeEndElement();
}
