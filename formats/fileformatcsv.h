#ifndef FILEFORMATCSV_H
#define FILEFORMATCSV_H

#include "formats/fileformat.h"
#include "model/units.h"

// CSV export in the units and time zone the user has chosen, one row a point.
class FileFormatCSV : public FileFormat
{
public:
    explicit FileFormatCSV(const DisplayUnits *units);

    bool read(QVector<Track> &tracks, const QString &fileName) override;
    bool write(const QVector<Track> &tracks, const QString &fileName, const QList<int> &selection,
               bool markedOnly) override;

private:
    const DisplayUnits *units; // read at each export; not owned
};

#endif // FILEFORMATCSV_H
