#include "formats/fileformatkml.h"

#include "formats/fixedtext.h"
#include "formats/timetext.h"
#include "formats/xmlexport.h"

#include <QCoreApplication>
#include <QLoggingCategory>

// The altitude of every exported point, for tracing an export; off by default.
Q_LOGGING_CATEGORY(lcKml, "lx300.formats.kml", QtInfoMsg)

bool FileFormatKML::write(const QVector<Track> &tracks, const QString &fileName,
                          const QList<int> &selection, bool markedOnly)
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
    xml.writeStartElement(QStringLiteral("Folder"));
    TimeText localTime(true);
    int n = 1;
    QByteArray coordinates;
    for (int index : selection) {
        const Track &track = tracks.at(index);
        xml.writeStartElement(QStringLiteral("Placemark"));
        xml.writeTextElement(QStringLiteral("name"),
                             QStringLiteral("LX-300 DataLog-%1 ").arg(n) +
                                 QString::fromLatin1(localTime.dateTime(track.startTime)));
        xml.writeTextElement(QStringLiteral("styleUrl"),
                             QStringLiteral("root://styleMaps#default+nicon=0x467+hicon=0x477"));
        xml.writeStartElement(QStringLiteral("Style"));
        xml.writeStartElement(QStringLiteral("LineStyle"));
        xml.writeTextElement(QStringLiteral("color"), QStringLiteral("7f0000ff"));
        xml.writeTextElement(QStringLiteral("width"), QStringLiteral("4"));
        xml.writeEndElement();
        xml.writeEndElement();

        xml.writeStartElement(QStringLiteral("LineString"));
        xml.writeStartElement(QStringLiteral("coordinates"));
        // Streamed in pieces, so a long track never sits in memory as text.
        xml.writeCharacters(QString());
        coordinates.clear();
        for (const TrackPoint &point : track.points) {
            if (markedOnly && point.marked == 0)
                continue;
            coordinates += fixedBytes(point.position.y, 6);
            coordinates += ',';
            coordinates += fixedBytes(point.position.x, 6);
            coordinates += ',';
            coordinates += fixedBytes(point.position.z, 2);
            coordinates += '\n';
            qCDebug(lcKml) << point.position.z;
            if (coordinates.size() > 65536) {
                xml.writeCharacters(QString::fromLatin1(coordinates));
                coordinates.clear();
            }
        }
        xml.writeCharacters(QString::fromLatin1(coordinates));
        xml.writeEndElement();
        xml.writeTextElement(QStringLiteral("tessellate"), QStringLiteral("1"));
        xml.writeTextElement(QStringLiteral("altitudeMode"), QStringLiteral("clampToGround"));
        xml.writeEndElement();
        xml.writeEndElement();
        ++n; // numbered in selection order, also when a track gave no point
    }
    xml.writeEndElement();
    xml.writeEndElement();

    if (!file.finish(xml))
        return fail(QCoreApplication::translate("FileFormat", "Cannot write %1: %2")
                        .arg(fileName, file.errorString()));
    error.clear();
    return true;
}
