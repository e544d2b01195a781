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

    bool read(QVector<Track> &tracks, const QString &fileName) override;
    bool write(const QVector<Track> &tracks, const QString &fileName, const QList<int> &selection,
               bool markedOnly) override;

    // Local time minus UTC in seconds, taken once at construction. Version 1
    // files stored local times; reading shifts them by it.
    qint32 utcOffset() const { return offset; }

private:
    static qint32 computeUtcOffset();

    qint32 offset;
};

#endif // FILEFORMATTKR_H
