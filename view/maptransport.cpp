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
    connect(op, &GoogleMapOperator::call, this, &MapTransport::queue);
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

void MapTransport::pageGone()
{
    ready = false;
}

void MapTransport::queue(const QJsonArray &call, int points)
{
    pending.append(call);
    pendingPoints += points;
    if (pendingPoints >= FlushPoints)
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
    scheduled = false;
    if (pending.isEmpty() || !ready)
        return;
    QJsonArray batch;
    batch.swap(pending);
    pendingPoints = 0;
    ++sent;
    emit calls(batch);
}
