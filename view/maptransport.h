#ifndef MAPTRANSPORT_H
#define MAPTRANSPORT_H

#include <QJsonArray>
#include <QObject>

class GoogleMapOperator;

// Carries the operator's calls to the map page in batches. The web channel sends one
// message per signal, so the calls are collected in the order made and sent together once
// control returns to the event loop; a batch that holds many points goes at once, so the
// page starts drawing while the rest is made.
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
    // Batches sent so far, and whether none waits (the page counts those it ran).
    int batchesSent() const { return sent; }
    bool idle() const { return ready && pending.isEmpty(); }

signals:
    void mapViewChanged(double lat, double lng, int zoom);
    void mapLineClicked(double lat, double lng);
    // Each entry is [name, arguments...], a call of the page's function of that name.
    void calls(QJsonArray batch);

private:
    void queue(const QJsonArray &call, int points);
    void schedule();

    QJsonArray pending;
    int pendingPoints = 0;
    int sent = 0;
    bool scheduled = false;
    bool ready = false;
};

#endif // MAPTRANSPORT_H
