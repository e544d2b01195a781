#ifndef FILEFORMATGPX_H
#define FILEFORMATGPX_H

#include "formats/fileformat.h"

#include <QXmlStreamWriter>

// GPX 1.1 export: one trk per track with one trkseg per segment. Each trkpt also carries
// the speed in m/s as a `speed` child, which GPX 1.1 itself does not define;
// readers that know it (as GPX 1.0 did) pick it up, the others skip it. Marks may go as
// waypoints too, before the tracks.
class FileFormatGPX : public FileFormat
{
public:
    using FileFormat::write;
    bool read(QVector<Track> &tracks, const QString &fileName) override;
    bool write(const QVector<Track> &tracks, const QString &fileName, const QList<int> &selection,
               const WriteOptions &options) override;
    QString keeps() const override;

private:
    void writeTrack(const Track &track, bool markedOnly);
    void writePoint(const TrackPoint &point, int format, const char *element = "trkpt");
    void writeMarks(const Track &track);

    QXmlStreamWriter xmlWriter;
};

#endif // FILEFORMATGPX_H
