#ifndef FILEFORMATGEOJSON_H
#define FILEFORMATGEOJSON_H

#include "formats/fileformat.h"

// GeoJSON (.geojson, and .json files that hold a FeatureCollection or a Feature). Read: each
// LineString or MultiLineString feature is a track (a MultiLineString's parts its segments)
// with [lon, lat, ele] coordinates, times from its "coordTimes" (or "times") property and
// its "name" and "desc" properties. Written: a FeatureCollection with one MultiLineString a
// track and its "coordTimes", one list of times a part, as other tools write them.
class FileFormatGeoJSON : public FileFormat
{
public:
    using FileFormat::write;
    bool read(QVector<Track> &tracks, const QString &fileName) override;
    bool write(const QVector<Track> &tracks, const QString &fileName, const QList<int> &selection,
               const WriteOptions &options) override;
    QString keeps() const override;
    bool keepsSensors() const override { return true; }
    bool keepsWaypoints() const override { return true; }
};

#endif // FILEFORMATGEOJSON_H
