#include "view/googlemapoperator.h"

#include <QColor>

#include <cmath>

void GoogleMapOperator::setTrack(int n, const Track &track, const QColor &colour)
{
    QJsonArray coordinates, breaks;
    for (int i = 0; i < track.points.size(); ++i) {
        const TrackPoint &p = track.points[i];
        coordinates.append(p.position.x);
        coordinates.append(p.position.y);
        if (i > 0 && p.startsSegment())
            breaks.append(i);
    }
    send({QStringLiteral("setTrack"), n, coordinates, breaks, colour.name()},
         int(track.points.size()));
}

void GoogleMapOperator::setTrackValues(int n, const std::vector<double> &values)
{
    if (values.empty()) {
        send({QStringLiteral("setTrackValues"), n, QJsonValue::Null});
        return;
    }
    QJsonArray list;
    for (double v : values)
        list.append(std::isfinite(v) ? QJsonValue(v) : QJsonValue(QJsonValue::Null));
    send({QStringLiteral("setTrackValues"), n, list}, int(values.size()));
}

void GoogleMapOperator::setMarks(int n, const QVector<TrackPoint> &marks, const QStringList &texts)
{
    QJsonArray list;
    for (int i = 0; i < marks.size() && i < texts.size(); ++i) {
        list.append(marks[i].position.x);
        list.append(marks[i].position.y);
        list.append(texts[i]);
    }
    send({QStringLiteral("setMarks"), n, list}, int(marks.size()));
}

void GoogleMapOperator::showTrack(int n)
{
    send({QStringLiteral("showTrack"), n});
}

void GoogleMapOperator::hideTrack(int n)
{
    send({QStringLiteral("hideTrack"), n});
}

void GoogleMapOperator::clearTracks()
{
    send({QStringLiteral("clearTracks")});
}

void GoogleMapOperator::setColouring(const QString &by, double lo, double hi, const QString &title,
                                     const QString &loText, const QString &hiText,
                                     const QString &missingText)
{
    send({QStringLiteral("setColouring"), by, lo, hi, title, loText, hiText, missingText});
}

void GoogleMapOperator::setCenter(double lat, double lng)
{
    send({QStringLiteral("setCenter"), lat, lng});
}

void GoogleMapOperator::viewPoint(double lat, double lng, const QString &text)
{
    send({QStringLiteral("viewPoint"), lat, lng, text});
}

void GoogleMapOperator::markPoint(double lat, double lng, const QString &text)
{
    send({QStringLiteral("markPoint"), lat, lng, text});
}

void GoogleMapOperator::deleteAllObject()
{
    send({QStringLiteral("deleteAllObject")});
}

void GoogleMapOperator::fitTracks()
{
    send({QStringLiteral("fitTracks")});
}

void GoogleMapOperator::fitLines(const QJsonArray &lines)
{
    send({QStringLiteral("fitLines"), lines});
}

void GoogleMapOperator::setTileSource(const QString &url, const QString &attribution, int minZoom,
                                      int maxZoom, const QString &subdomains)
{
    send({QStringLiteral("setTileSource"), url, attribution, minZoom, maxZoom, subdomains});
}

void GoogleMapOperator::fitArea(double south, double west, double north, double east)
{
    send({QStringLiteral("fitArea"), south, west, north, east});
}

void GoogleMapOperator::setView(double lat, double lng, int zoom)
{
    send({QStringLiteral("setView"), lat, lng, zoom});
}

void GoogleMapOperator::showPhotos(const QJsonArray &photos)
{
    send({QStringLiteral("showPhotos"), photos});
}

void GoogleMapOperator::clearPhotos()
{
    send({QStringLiteral("clearPhotos")});
}

void GoogleMapOperator::focusPhoto(int id)
{
    send({QStringLiteral("focusPhoto"), id});
}
