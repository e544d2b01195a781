#ifndef FILEFORMATTCX_H
#define FILEFORMATTCX_H

#include "formats/fileformat.h"

// Garmin's Training Center files (.tcx), read only: each Activity or Course is a track and
// each of its Track elements a segment; a Trackpoint gives its time, position and altitude
// (heart rate, cadence and the rest are not kept), a course's Name and the Notes as its name
// and description.
class FileFormatTCX : public ReadOnlyFileFormat
{
public:
    FileFormatTCX() : ReadOnlyFileFormat("TCX") {}
    bool read(QVector<Track> &tracks, const QString &fileName) override;
    QString keeps() const override;
};

#endif // FILEFORMATTCX_H
