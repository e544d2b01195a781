#ifndef FILEFORMATKML_H
#define FILEFORMATKML_H

#include "formats/fileformat.h"

// KML 2.2 export: one placemark with a red line string per track. The line
// string lists `coordinates` before `tessellate` and `altitudeMode`, the
// order the program has always written; viewers accept it.
class FileFormatKML : public FileFormat
{
public:
    bool read(QVector<Track> &tracks, const QString &fileName) override;
    bool write(const QVector<Track> &tracks, const QString &fileName, const QList<int> &selection,
               bool markedOnly) override;
};

#endif // FILEFORMATKML_H
