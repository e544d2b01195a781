#include "formats/fileformats.h"

#include "formats/fileformatcsv.h"
#include "formats/fileformatgpx.h"
#include "formats/fileformatkml.h"
#include "formats/fileformattkr.h"

FileFormatMap createFileFormats(const DisplayUnits *units)
{
    FileFormatMap formats;
    formats.insert(QStringLiteral(".tkr"), new FileFormatTKR);
    formats.insert(QStringLiteral(".csv"), new FileFormatCSV(units));
    formats.insert(QStringLiteral(".gpx"), new FileFormatGPX);
    formats.insert(QStringLiteral(".kml"), new FileFormatKML);
    return formats;
}

FileFormat *findFileFormat(const FileFormatMap &formats, const QString &fileName)
{
    const int dot = fileName.lastIndexOf(QLatin1Char('.'));
    if (dot < 0)
        return nullptr;
    return formats.value(fileName.mid(dot), nullptr);
}

bool readTracks(const FileFormatMap &formats, QVector<Track> &tracks, const QString &fileName)
{
    FileFormat *format = findFileFormat(formats, fileName);
    return format && format->read(tracks, fileName);
}

bool writeTracks(const FileFormatMap &formats, const QVector<Track> &tracks,
                 const QString &fileName, const QList<int> &selection, bool markedOnly)
{
    FileFormat *format = findFileFormat(formats, fileName);
    return format && format->write(tracks, fileName, selection, markedOnly);
}
