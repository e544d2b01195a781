#ifndef FILEFORMATKML_H
#define FILEFORMATKML_H

#include "formats/fileformat.h"

#include <QXmlStreamWriter>

// KML 2.2 export: one placemark with a red line string per track (a MultiGeometry of line
// strings when the track has segments). The line string lists `coordinates` before
// `tessellate` and `altitudeMode`, the order the program has always written; viewers accept
// it. Marks may go as point placemarks too. Reads KML, and KMZ (by its zip signature).
class FileFormatKML : public FileFormat
{
public:
    using FileFormat::write;
    bool read(QVector<Track> &tracks, const QString &fileName) override;
    bool write(const QVector<Track> &tracks, const QString &fileName, const QList<int> &selection,
               const WriteOptions &options) override;
    QString keeps() const override;
    bool keepsWaypoints() const override { return true; }
    bool keepsSensors() const override { return true; }

protected:
    // Reads a KML document from `device`, named `fileName` in messages.
    bool readDocument(QVector<Track> &tracks, QIODevice *device, const QString &fileName);

private:
    void writeLine(QXmlStreamWriter &xml, const Track &track, bool markedOnly);
    void writeMarks(QXmlStreamWriter &xml, const Track &track);
    void writeWaypoint(QXmlStreamWriter &xml, const Waypoint &w);
    void writeGxTrack(QXmlStreamWriter &xml, const Track &track, bool markedOnly);
    static void writeSensorArrays(QXmlStreamWriter &xml,
                                  const QVector<const TrackPoint *> &segment);
};

// A KMZ file (the zipped KML that Google Earth and My Maps write): its first KML is read.
class FileFormatKMZ : public FileFormatKML
{
public:
    using FileFormat::write;
    bool write(const QVector<Track> &tracks, const QString &fileName, const QList<int> &selection,
               const WriteOptions &options) override;
    bool canWrite() const override { return false; }
    QString keeps() const override;
};

#endif // FILEFORMATKML_H
