#ifndef FILEFORMATCSV_H
#define FILEFORMATCSV_H

#include "formats/fileformat.h"
#include "model/units.h"

class TimeText;

// CSV export in the units and time zone the user has chosen, one row a point.
class FileFormatCSV : public FileFormat
{
public:
    explicit FileFormatCSV(const DisplayUnits *units);

    bool read(QVector<Track> &tracks, const QString &fileName) override;
    bool write(const QVector<Track> &tracks, const QString &fileName, const QList<int> &selection,
               bool markedOnly) override;

private:
    // One point's row: date, time, position, altitude (for log format 2) and speed.
    void appendRow(QByteArray &out, const TrackPoint &point, bool altitude, TimeText &time) const;

    const DisplayUnits *units; // read at each export; not owned
};

#endif // FILEFORMATCSV_H
