#ifndef MAPSOURCE_H
#define MAPSOURCE_H

#include <QList>
#include <QRectF>
#include <QString>

class QSettings;

// A base map: a network tile server or an offline MBTiles file.
struct MapSource
{
    QString name;
    QString urlTemplate; // {z}, {x}, {y}, optional {s}; for a file, the file's path
    QString attribution; // shown on the map; HTML allowed for the built-in ones
    int maxZoom = 19;
    int minZoom = 0;
    QString subdomains; // the letters {s} takes, e.g. "abc"
    bool offline = false;
    QRectF bounds; // offline: west, south as x, y; width and height in degrees

    bool operator==(const MapSource &o) const
    {
        return name == o.name && urlTemplate == o.urlTemplate && offline == o.offline;
    }
};

namespace MapSources {

QList<MapSource> builtIn();
// Why a user's source cannot be used, or an empty string when it can.
QString check(const MapSource &source);

// The user's sources, the offline maps opened before, the choice and the last
// view live in the settings store's "map/" group.
QList<MapSource> userSources(QSettings &settings);
void setUserSources(QSettings &settings, const QList<MapSource> &sources);
QStringList offlineFiles(QSettings &settings);
void addOfflineFile(QSettings &settings, const QString &path);
void removeOfflineFile(QSettings &settings, const QString &path);

} // namespace MapSources

#endif // MAPSOURCE_H
