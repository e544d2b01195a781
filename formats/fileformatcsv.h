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

    using FileFormat::write;
    bool read(QVector<Track> &tracks, const QString &fileName) override;
    bool write(const QVector<Track> &tracks, const QString &fileName, const QList<int> &selection,
               const WriteOptions &options) override;
    QString keeps() const override;
    bool keepsSensors() const override { return true; }
    bool keepsDescriptions() const override { return false; }

private:
    // The header line in the chosen units and time, with a Mark column on request, a Name
    // column where a track is named, and sensor columns where a point has such values.
    QByteArray header(bool marks, bool names, bool sensors) const;
    static void appendSensors(QByteArray &out, const TrackPoint &point);
    // The cells after the speed that only some files have, and the line's end.
    static void appendOptional(QByteArray &out, const TrackPoint &point, bool sensors, bool marks,
                               const QByteArray *name);
    // One point's row without its line end: date, time, position, altitude (for log format 2)
    // and speed.
    void appendRow(QByteArray &out, const TrackPoint &point, bool altitude, TimeText &time) const;

    const DisplayUnits *units; // read at each export; not owned
};

#endif // FILEFORMATCSV_H
