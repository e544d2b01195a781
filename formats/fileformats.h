#ifndef FILEFORMATS_H
#define FILEFORMATS_H

#include "formats/fileformat.h"

#include <QString>

#include <map>
#include <memory>

class DisplayUnits;

// The track file formats, each known by its extension with the dot: ".tkr", ".gpx", ".kml",
// ".geojson", ".csv", and the read-only ".kmz", ".tcx", ".fit", ".igc" and NMEA logs. The CSV
// writer follows `units`, read at each export.
class FileFormats
{
public:
    // The extensions read, as help and messages list them (".tkr, .gpx, ..., .csv").
    static QString readable();

    explicit FileFormats(const DisplayUnits *units);
    ~FileFormats();
    FileFormats(const FileFormats &) = delete;
    FileFormats &operator=(const FileFormats &) = delete;

    // The format for an extension as written (".gpx"); null when there is none.
    FileFormat *byExtension(const QString &extension) const;
    // The format for a file name: the text from its last "." on, compared as written
    // (saving relies on it: "trip.CSV" is no CSV name) or in any case (reading trip.GPX).
    FileFormat *forName(const QString &fileName, Qt::CaseSensitivity cs = Qt::CaseSensitive) const;

    bool read(QVector<Track> &tracks, const QString &fileName) const;
    bool write(const QVector<Track> &tracks, const QString &fileName, const QList<int> &selection,
               bool markedOnly) const;
    bool write(const QVector<Track> &tracks, const QString &fileName, const QList<int> &selection,
               const WriteOptions &options) const;

private:
    std::map<QString, std::unique_ptr<FileFormat>> formats;
};

#endif // FILEFORMATS_H
