#ifndef FILEFORMATGPX_H
#define FILEFORMATGPX_H

#include "formats/fileformat.h"

#include <QXmlStreamWriter>

// GPX 1.1 export: one trk with one trkseg per track. Each trkpt also carries
// the speed in m/s as a `speed` child, which GPX 1.1 itself does not define;
// readers that know it (as GPX 1.0 did) pick it up, the others skip it.
class FileFormatGPX : public FileFormat
{
public:
    bool read(QVector<Track> &tracks, const QString &fileName) override;
    bool write(const QVector<Track> &tracks, const QString &fileName, const QList<int> &selection,
               bool markedOnly) override;

private:
    void writeTrack(const Track &track, bool markedOnly);
    void writePoint(const TrackPoint &point, int format);

    QXmlStreamWriter xmlWriter;
};

#endif // FILEFORMATGPX_H
