#include "view/googlemapoperator.h"

#include "analysis/colourvalues.h"

#include <QColor>

#include <algorithm>
#include <cmath>

namespace {

// Numbers in bulk travel as the bytes of a typed array, in base64: a million points are a
// few megabytes of text and no JSON value each, and NaN arrives as NaN.
template <typename T> QString packed(const std::vector<T> &values)
{
    const QByteArray bytes(reinterpret_cast<const char *>(values.data()),
                           qsizetype(values.size() * sizeof(T)));
    return QString::fromLatin1(bytes.toBase64());
}

// Points [from, to) as latitude, longitude, latitude, ..., packed.
QString packedPositions(const QVector<TrackPoint> &points, qsizetype from, qsizetype to)
{
    std::vector<double> coordinates;
    coordinates.reserve(size_t(to - from) * 2);
    for (qsizetype i = from; i < to; ++i) {
        coordinates.push_back(points[i].position.x);
        coordinates.push_back(points[i].position.y);
    }
    return packed(coordinates);
}

} // namespace

void GoogleMapOperator::setTrack(int n, const Track &track, const QColor &colour)
{
    QJsonArray breaks;
    for (const int i : ColourValues::breaks(track))
        breaks.append(i);
    // In pieces of PieceSize points: each is text and arrays the page can let go of soon,
    // where a million points at once would stand in its memory until a full collection.
    const qsizetype count = track.points.size();
    qsizetype from = 0;
    do {
        const qsizetype to = std::min(count, from + PieceSize);
        const QString positions = packedPositions(track.points, from, to);
        if (from == 0)
            send({QStringLiteral("setTrack"), n, positions, breaks, colour.name()}, int(to - from));
        else
            send({QStringLiteral("extendTrack"), n, positions}, int(to - from));
        from = to;
    } while (from < count);
}

void GoogleMapOperator::setTrackValues(int n, const std::vector<double> &values)
{
    if (values.empty()) {
        send({QStringLiteral("setTrackValues"), n, QJsonValue::Null});
        return;
    }
    const std::vector<float> shades(values.begin(), values.end()); // enough for a colour
    send({QStringLiteral("setTrackValues"), n, packed(shades)}, int(values.size()));
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

void GoogleMapOperator::setWaypoints(const QVector<Waypoint> &places)
{
    QJsonArray list;
    for (const Waypoint &w : places) {
        list.append(w.latitude);
        list.append(w.longitude);
        list.append(w.name);
    }
    send({QStringLiteral("setWaypoints"), list}, int(places.size()));
}

void GoogleMapOperator::showTrack(int n)
{
    send({QStringLiteral("showTrack"), n});
}

void GoogleMapOperator::hideTrack(int n)
{
    send({QStringLiteral("hideTrack"), n});
}

void GoogleMapOperator::showStretch(const QVector<TrackPoint> &points)
{
    send({QStringLiteral("showStretch"), packedPositions(points, 0, points.size())},
         int(points.size()));
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
