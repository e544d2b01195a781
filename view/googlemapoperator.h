#ifndef GOOGLEMAPOPERATOR_H
#define GOOGLEMAPOPERATOR_H

#include <QJsonArray>
#include <QObject>
#include <QString>

// The map view's only way to draw on the map page: the view emits these
// signals and the page runs its function of the same name for each.
class GoogleMapOperator : public QObject
{
    Q_OBJECT

public:
    using QObject::QObject;

signals:
    void addPolyline();
    void addLatLng(double lat, double lng, int n);
    void setCenter(double lat, double lng);
    void showPolyline(int n);
    void clearPolyline(int n);
    void deletePolylines();
    void addMarker(double lat, double lng, QString text);
    void deleteMarked();
    void showMarked();
    void viewPoint(double lat, double lng, QString text);
    // The point marker moved there, the map left where it is.
    void markPoint(double lat, double lng, QString text);
    void deleteAllObject();
    // Fits the map to the lines shown.
    void fitTracks();
    // Fits the map to these lines, shown or not: sent before they are shown, so the map
    // draws them once, at the view they will be seen in.
    void fitLines(QJsonArray lines);
    // The base map's tiles: a URL template with {z}, {x}, {y} and optional {s}.
    void setTileSource(QString url, QString attribution, int minZoom, int maxZoom,
                       QString subdomains);
    void fitArea(double south, double west, double north, double east);
    void setView(double lat, double lng, int zoom);
    // Photos as small camera markers: [[id, lat, lng, name, thumbnail data URL or ""], ...].
    // Markers of ids not listed are hidden; a thumbnail given once stays in the popup.
    void showPhotos(QJsonArray photos);
    void clearPhotos();
    // Highlights and centres one photo's marker (the others plain again); -1 for none.
    void focusPhoto(int id);
};

#endif // GOOGLEMAPOPERATOR_H
