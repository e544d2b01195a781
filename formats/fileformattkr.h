#ifndef FILEFORMATTKR_H
#define FILEFORMATTKR_H

#include "formats/fileformat.h"

// The program's own track file: a little-endian image of the tracks with a
// 108-byte header, a 12-byte index entry per track and one block per track.
class FileFormatTKR : public FileFormat
{
public:
    static constexpr int HeaderSize = 108;
    static constexpr int IndexEntrySize = 12;
    static constexpr int TrackHeaderSize = 8;
    static constexpr int PointSize = 48;

    FileFormatTKR();

    using FileFormat::write;
    bool read(QVector<Track> &tracks, const QString &fileName) override;
    // Keeps whole seconds; a point without a time is dropped on reading, and one without an
    // altitude in a track that has altitudes is not written (it would come back at 0 m).
    bool write(const QVector<Track> &tracks, const QString &fileName, const QList<int> &selection,
               const WriteOptions &options) override;
    QString keeps() const override;
    // The points of `track` a TKR file cannot keep.
    static qint64 unstorablePoints(const Track &track, bool markedOnly);

    // Local time minus UTC in seconds, taken once at construction. Version 1
    // files stored local times; reading shifts them by it.
    qint32 utcOffset() const { return offset; }

private:
    static qint32 computeUtcOffset();

    qint32 offset;
};

#endif // FILEFORMATTKR_H
