#ifndef FILEFORMATCSV_H
#define FILEFORMATCSV_H

#include "formats/exportsettings.h"
#include "formats/fileformat.h"

// CSV export in the units and time zone the user has chosen, one row a point.
class FileFormatCSV : public FileFormat
{
public:
    explicit FileFormatCSV(const ExportSettings *settings);

    bool read(QVector<Track> &tracks, const QString &fileName) override;
    bool write(const QVector<Track> &tracks, const QString &fileName, const QList<int> &selection,
               bool markedOnly) override;

private:
    const ExportSettings *mainWindow; // read at each export; not owned
};

#endif // FILEFORMATCSV_H
