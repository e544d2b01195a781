#ifndef MAPTRANSPORT_H
#define MAPTRANSPORT_H

#include <QHash>
#include <QJsonArray>
#include <QObject>
#include <QString>
#include <QVector>

class GoogleMapOperator;

// Carries the operator's signals to the map page in batches. The web channel
// sends one message per signal, far too slow for the hundreds of thousands of
// points of a long track, so the calls are collected in emission order and
// sent together once control returns to the event loop; runs of points for
// the same line travel as one flat array.
class MapTransport : public QObject
{
    Q_OBJECT

public:
    explicit MapTransport(GoogleMapOperator *mapOperator, QObject *parent = nullptr);

    // Sends what is queued now, once the page listens.
    void flush();
    // The page calls this when it has connected to the calls; until then they are kept,
    // so a track file opened at start still reaches the map.
    Q_INVOKABLE void pageReady();
    // A new page is loading: hold the calls until it is ready.
    void pageGone();
    // The page reports where the user moved the map.
    Q_INVOKABLE void viewChanged(double lat, double lng, int zoom);
    // The page reports a click on a track's line.
    Q_INVOKABLE void lineClicked(double lat, double lng);

signals:
    void mapViewChanged(double lat, double lng, int zoom);
    void mapLineClicked(double lat, double lng);
    // Each entry is [name, arguments...], ["addLatLngRun", n, lat, lng, lat, lng, ...],
    // ["addMarkerRun", n, lat, lng, text, lat, lng, text, ...] (the marks that followed
    // showPolyline(n), or n = -1) or ["addMarkersOf", n] (the same marks as line n's last run,
    // which the page keeps).
    void calls(QJsonArray batch);

private:
    void closeRun();
    void queueMarker(double lat, double lng, const QString &text);
    void queueDeleteMarked();
    void queue(const QJsonArray &call);
    void queuePoint(double lat, double lng, int n);
    void schedule();

    QJsonArray pending;
    QVector<double> run; // points of the open addLatLng run
    int runLine = -1;
    QJsonArray marks;                 // the open addMarker run
    int marksFrom = -1;               // where the last deleteMarked waiting in `pending` is
    int marksOwner = -1;              // the line whose marks follow (its showPolyline came last)
    QHash<int, QJsonArray> marksKept; // each line's last mark run, as the page keeps it
    bool scheduled = false;
    bool ready = false;
};

#endif // MAPTRANSPORT_H
