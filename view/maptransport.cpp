#include "view/maptransport.h"

#include "view/googlemapoperator.h"

#include <QTimer>

#include <cmath>

namespace {
// A batch this large goes out at once, so the page starts drawing early.
constexpr int FlushPoints = 50000;
} // namespace

MapTransport::MapTransport(GoogleMapOperator *op, QObject *parent) : QObject(parent)
{
    connect(op, &GoogleMapOperator::addPolyline, this,
            [this] { queue({QStringLiteral("addPolyline")}); });
    connect(op, &GoogleMapOperator::addLatLng, this, &MapTransport::queuePoint);
    connect(op, &GoogleMapOperator::setCenter, this, [this](double lat, double lng) {
        queue({QStringLiteral("setCenter"), lat, lng});
    });
    connect(op, &GoogleMapOperator::showPolyline, this, [this](int n) {
        queue({QStringLiteral("showPolyline"), n});
    });
    connect(op, &GoogleMapOperator::clearPolyline, this, [this](int n) {
        queue({QStringLiteral("clearPolyline"), n});
    });
    connect(op, &GoogleMapOperator::deletePolylines, this,
            [this] { queue({QStringLiteral("deletePolylines")}); });
    connect(op, &GoogleMapOperator::addMarker, this, [this](double lat, double lng, QString text) {
        queue({QStringLiteral("addMarker"), lat, lng, text});
    });
    connect(op, &GoogleMapOperator::deleteMarked, this,
            [this] { queue({QStringLiteral("deleteMarked")}); });
    connect(op, &GoogleMapOperator::showMarked, this,
            [this] { queue({QStringLiteral("showMarked")}); });
    connect(op, &GoogleMapOperator::viewPoint, this, [this](double lat, double lng, QString text) {
        queue({QStringLiteral("viewPoint"), lat, lng, text});
    });
    connect(op, &GoogleMapOperator::markPoint, this, [this](double lat, double lng, QString text) {
        queue({QStringLiteral("markPoint"), lat, lng, text});
    });
    connect(op, &GoogleMapOperator::deleteAllObject, this,
            [this] { queue({QStringLiteral("deleteAllObject")}); });
    connect(op, &GoogleMapOperator::fitTracks, this,
            [this] { queue({QStringLiteral("fitTracks")}); });
    connect(op, &GoogleMapOperator::setTileSource, this,
            [this](QString url, QString attribution, int minZoom, int maxZoom, QString sub) {
                queue({QStringLiteral("setTileSource"), url, attribution, minZoom, maxZoom, sub});
            });
    connect(op, &GoogleMapOperator::fitArea, this, [this](double s, double w, double n, double e) {
        queue({QStringLiteral("fitArea"), s, w, n, e});
    });
    connect(op, &GoogleMapOperator::setView, this, [this](double lat, double lng, int zoom) {
        queue({QStringLiteral("setView"), lat, lng, zoom});
    });
    connect(op, &GoogleMapOperator::showPhotos, this, [this](const QJsonArray &photos) {
        queue({QStringLiteral("showPhotos"), photos});
    });
    connect(op, &GoogleMapOperator::clearPhotos, this,
            [this] { queue({QStringLiteral("clearPhotos")}); });
}

void MapTransport::viewChanged(double lat, double lng, int zoom)
{
    // Values from the page are checked before they reach the settings.
    if (std::isfinite(lat) && std::isfinite(lng) && qAbs(lat) <= 90 && qAbs(lng) <= 360 &&
        zoom >= 0 && zoom <= 30)
        emit mapViewChanged(lat, lng, zoom);
}

void MapTransport::lineClicked(double lat, double lng)
{
    if (std::isfinite(lat) && std::isfinite(lng) && qAbs(lat) <= 90 && qAbs(lng) <= 360)
        emit mapLineClicked(lat, lng);
}

void MapTransport::closeRun()
{
    if (runLine < 0)
        return;
    QJsonArray points{QStringLiteral("addLatLngRun"), runLine};
    for (double v : qAsConst(run))
        points.append(v);
    pending.append(points);
    run.clear();
    runLine = -1;
}

void MapTransport::queue(const QJsonArray &call)
{
    closeRun();
    pending.append(call);
    schedule();
}

void MapTransport::queuePoint(double lat, double lng, int n)
{
    if (runLine != n)
        closeRun();
    runLine = n;
    run.append(lat);
    run.append(lng);
    if (run.size() >= 2 * FlushPoints)
        flush();
    else
        schedule();
}

void MapTransport::schedule()
{
    if (scheduled)
        return;
    scheduled = true;
    QTimer::singleShot(0, this, &MapTransport::flush);
}

void MapTransport::pageReady()
{
    ready = true;
    flush();
}

void MapTransport::flush()
{
    closeRun();
    scheduled = false;
    if (pending.isEmpty() || !ready)
        return;
    QJsonArray batch;
    batch.swap(pending);
    emit calls(batch);
}
