#ifndef FILEFORMATS_H
#define FILEFORMATS_H

#include "formats/fileformat.h"

#include <QMap>
#include <QString>

class DisplayUnits;

// Track file objects by extension with its dot: ".tkr", ".csv", ".gpx", ".kml".
using FileFormatMap = QMap<QString, FileFormat *>;

// The four formats, new objects the caller owns (qDeleteAll when done).
FileFormatMap createFileFormats(const DisplayUnits *units);

// The format for a file name: the text from its last "." to the end, compared
// case-sensitively with the keys; null when there is none.
FileFormat *findFileFormat(const FileFormatMap &formats, const QString &fileName);
bool readTracks(const FileFormatMap &formats, QVector<Track> &tracks, const QString &fileName);
bool writeTracks(const FileFormatMap &formats, const QVector<Track> &tracks,
                 const QString &fileName, const QList<int> &selection, bool markedOnly);

#endif // FILEFORMATS_H
