#ifndef FILEFORMATGPX_H
#define FILEFORMATGPX_H

#include "formats/fileformat.h"

#include <QXmlStreamWriter>

// GPX 1.1 export: one trk per track with one trkseg per segment. Each trkpt also carries
// the speed in m/s as a `speed` child, which GPX 1.1 itself does not define;
// readers that know it (as GPX 1.0 did) pick it up, the others skip it. Other devices' heart
// rate, cadence, temperature and power go in Garmin's extensions. Marks may go as waypoints
// too, before the tracks.
class FileFormatGPX : public FileFormat
{
public:
    using FileFormat::write;
    bool read(QVector<Track> &tracks, const QString &fileName) override;
    bool write(const QVector<Track> &tracks, const QString &fileName, const QList<int> &selection,
               const WriteOptions &options) override;
    QString keeps() const override;
    bool keepsSensors() const override { return true; }
    bool keepsWaypoints() const override { return true; }

private:
    void writeTrack(const Track &track, bool markedOnly);
    void writePoint(const TrackPoint &point, int format, const char *element = "trkpt");
    void writeMarks(const Track &track);
    void writeSensors(const TrackPoint &point);
    void writeWaypoint(const Waypoint &w);

    static constexpr const char *TpxNamespace =
        "http://www.garmin.com/xmlschemas/TrackPointExtension/v1";
    static constexpr const char *PowerNamespace =
        "http://www.garmin.com/xmlschemas/PowerExtension/v1";
    QXmlStreamWriter xmlWriter;
    bool sensors = false; // the selection has sensor values: the extensions are declared
};

#endif // FILEFORMATGPX_H
