#ifndef GOOGLEMAPOPERATOR_H
#define GOOGLEMAPOPERATOR_H

#include "model/trackrecords.h"

#include <QJsonArray>
#include <QObject>
#include <QString>

#include <vector>

class QColor;

// The view's only way to draw on the map page: each method is one call of the page's
// function of the same name, passed on in the order made (see MapTransport). Tracks travel
// whole: a track's points in one call, its marks in another.
class GoogleMapOperator : public QObject
{
    Q_OBJECT

public:
    using QObject::QObject;

    // Points per call of a track's line.
    static constexpr qsizetype PieceSize = 50000;

    // Track n's line, hidden until shown: its positions, where its segments start or it
    // pauses (gaps of a coloured line) and its colour. A track n already there is replaced
    // and its marks dropped.
    void setTrack(int n, const Track &track, const QColor &colour);
    // Each point's value for colouring (NaN where it has none); empty: none.
    void setTrackValues(int n, const std::vector<double> &values);
    // Track n's marks with their texts, drawn while the track is shown.
    void setMarks(int n, const QVector<TrackPoint> &marks, const QStringList &texts);
    void showTrack(int n);
    void hideTrack(int n);
    void clearTracks();
    // The points of a selected stretch, drawn highlighted over the lines; none: no stretch.
    void showStretch(const QVector<TrackPoint> &points);
    // The places of their own the opened files have, as named pins; none: no pins.
    void setWaypoints(const QVector<Waypoint> &places);
    // "track", or the value the lines are coloured by from `lo` to `hi` (the values' own
    // units) and the legend's texts: its title, its ends and what grey means.
    void setColouring(const QString &by, double lo, double hi, const QString &title,
                      const QString &loText, const QString &hiText, const QString &missingText);

    void setCenter(double lat, double lng);
    void viewPoint(double lat, double lng, const QString &text);
    // The point marker moved there; the map follows only to keep it in view.
    void markPoint(double lat, double lng, const QString &text);
    void deleteAllObject();
    // Fits the map to the lines shown.
    void fitTracks();
    // Fits the map to these lines, shown or not: sent before they are shown, so the map
    // draws them once, at the view they will be seen in.
    void fitLines(const QJsonArray &lines);
    // The base map's tiles: a URL template with {z}, {x}, {y} and optional {s}.
    void setTileSource(const QString &url, const QString &attribution, int minZoom, int maxZoom,
                       const QString &subdomains);
    void fitArea(double south, double west, double north, double east);
    void setView(double lat, double lng, int zoom);
    // Photos as small camera markers: [[id, lat, lng, name, thumbnail data URL or ""], ...].
    // Markers of ids not listed are hidden; a thumbnail given once stays in the popup.
    void showPhotos(const QJsonArray &photos);
    void clearPhotos();
    // Highlights and centres one photo's marker (the others plain again); -1 for none.
    void focusPhoto(int id);

signals:
    // One call of the page: [name, arguments...]. `points` is how many positions or values it
    // carries, so the transport can send large ones at once.
    void call(const QJsonArray &call, int points);

private:
    void send(const QJsonArray &call, int points = 0) { emit this->call(call, points); }
};

#endif // GOOGLEMAPOPERATOR_H
