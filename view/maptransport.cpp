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
        marksOwner = n;
    });
    connect(op, &GoogleMapOperator::clearPolyline, this, [this](int n) {
        queue({QStringLiteral("clearPolyline"), n});
    });
    connect(op, &GoogleMapOperator::deletePolylines, this, [this] {
        queue({QStringLiteral("deletePolylines")});
        marksKept.clear();
    });
    connect(op, &GoogleMapOperator::addMarker, this, &MapTransport::queueMarker);
    connect(op, &GoogleMapOperator::deleteMarked, this, &MapTransport::queueDeleteMarked);
    connect(op, &GoogleMapOperator::showMarked, this,
            [this] { queue({QStringLiteral("showMarked")}); });
    connect(op, &GoogleMapOperator::viewPoint, this, [this](double lat, double lng, QString text) {
        queue({QStringLiteral("viewPoint"), lat, lng, text});
    });
    connect(op, &GoogleMapOperator::markPoint, this, [this](double lat, double lng, QString text) {
        queue({QStringLiteral("markPoint"), lat, lng, text});
    });
    connect(op, &GoogleMapOperator::deleteAllObject, this, [this] {
        queue({QStringLiteral("deleteAllObject")});
        marksKept.clear();
    });
    connect(op, &GoogleMapOperator::fitTracks, this,
            [this] { queue({QStringLiteral("fitTracks")}); });
    connect(op, &GoogleMapOperator::fitLines, this, [this](const QJsonArray &lines) {
        queue({QStringLiteral("fitLines"), lines});
    });
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
    connect(op, &GoogleMapOperator::focusPhoto, this, [this](int id) {
        queue({QStringLiteral("focusPhoto"), id});
    });
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
    if (runLine >= 0) {
        QJsonArray points{QStringLiteral("addLatLngRun"), runLine};
        for (double v : qAsConst(run))
            points.append(v);
        pending.append(points);
        run.clear();
        runLine = -1;
    }
    if (!marks.isEmpty()) {
        // A line's marks are shown again each time it is ticked; the page keeps the last run
        // of each line, so the same run again travels as its line's number alone.
        if (marksOwner >= 0 && marksKept.value(marksOwner) == marks) {
            pending.append(QJsonArray{QStringLiteral("addMarkersOf"), marksOwner});
        } else {
            if (marksOwner >= 0)
                marksKept.insert(marksOwner, marks);
            marks.prepend(marksOwner);
            marks.prepend(QStringLiteral("addMarkerRun"));
            pending.append(marks);
        }
        marks = QJsonArray();
    }
}

void MapTransport::pageGone()
{
    // The new page knows no line's marks: what waits for it carries them in full.
    closeRun();
    ready = false;
    for (int i = 0; i < pending.size(); ++i) {
        QJsonArray call = pending[i].toArray();
        if (call.first().toString() != QLatin1String("addMarkersOf"))
            continue;
        QJsonArray run = marksKept.value(call.at(1).toInt());
        run.prepend(-1);
        run.prepend(QStringLiteral("addMarkerRun"));
        pending[i] = run;
    }
    marksKept.clear();
}

void MapTransport::queueMarker(double lat, double lng, const QString &text)
{
    if (runLine >= 0)
        closeRun();
    marks.append(lat);
    marks.append(lng);
    marks.append(text);
    schedule();
}

void MapTransport::queueDeleteMarked()
{
    // Everything the marks got since the last deleteMarked still waiting here is undone by
    // this one: it is dropped, so ticking many tracks at once sends their marks once.
    closeRun();
    if (marksFrom >= 0) {
        static const QStringList markCalls{
            QStringLiteral("deleteMarked"), QStringLiteral("addMarkerRun"),
            QStringLiteral("addMarkersOf"), QStringLiteral("showMarked")};
        QJsonArray kept;
        for (int i = 0; i < pending.size(); ++i) {
            const QJsonArray call = pending[i].toArray();
            const QString name = call.first().toString();
            if (i < marksFrom || !markCalls.contains(name))
                kept.append(call);
            else if (name == QLatin1String("addMarkerRun"))
                marksKept.remove(call.at(1).toInt()); // the page never gets that run
        }
        pending.swap(kept);
    }
    marksFrom = int(pending.size());
    queue({QStringLiteral("deleteMarked")});
}

void MapTransport::queue(const QJsonArray &call)
{
    closeRun();
    marksOwner = -1;
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
    marksFrom = -1;
    emit calls(batch);
}
