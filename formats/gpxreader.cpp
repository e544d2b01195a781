// Reading GPX 1.0 and 1.1: tracks (segments joined), routes, and waypoints
// that mark a track point of the same time.
#include "formats/fileformatgpx.h"
#include "formats/trackinput.h"

#include <QCoreApplication>
#include <QDateTime>
#include <QHash>

#include <cmath>

namespace {
using TrackInput::tr;
} // namespace

bool FileFormatGPX::read(QVector<Track> &tracks, const QString &fileName)
{
    TrackInput::XmlFile in(fileName);
    QString why;
    if (!in.open(&why))
        return fail(tr("Cannot open %1: %2").arg(fileName, why));

    QVector<Track> found;
    QVector<QVector<bool>> speedGiven;
    QVector<quint32> waypoints;
    bool inTrack = false, inPoint = false, isWaypoint = false, inExtensions = false;
    bool pointOk = false;
    int skipped = 0;
    QString trackName;
    TrackPoint point;
    bool pointSpeed = false;

    for (;;) {
        const QXmlStreamReader::TokenType token = in.nextTag();
        if (token == QXmlStreamReader::Invalid)
            break;
        const QStringView name = in.xml.name();
        const QString &text = in.text;
        if (token == QXmlStreamReader::StartElement) {
            if (in.atRoot && name != QLatin1String("gpx"))
                return fail(tr("%1 is not a GPX file.").arg(fileName));
            if (name == QLatin1String("trk") || name == QLatin1String("rte")) {
                inTrack = true;
                trackName.clear();
                found.append(Track{0, 1, {}});
                speedGiven.append(QVector<bool>());
            } else if (name == QLatin1String("trkpt") || name == QLatin1String("rtept") ||
                       name == QLatin1String("wpt")) {
                isWaypoint = name == QLatin1String("wpt");
                inPoint = true;
                point = TrackPoint();
                pointSpeed = false;
                const QXmlStreamAttributes a = in.xml.attributes();
                pointOk = TrackInput::latitude(a.value(QLatin1String("lat")), &point.position.x) &&
                          TrackInput::longitude(a.value(QLatin1String("lon")), &point.position.y);
            } else if (name == QLatin1String("extensions")) {
                inExtensions = true;
            }
            continue;
        }
        if (token != QXmlStreamReader::EndElement)
            continue;
        if (inPoint && name == QLatin1String("ele") && !inExtensions) {
            double z = 0;
            if (TrackInput::altitude(text, &z)) {
                point.position.z = z;
                if (!isWaypoint && !found.isEmpty())
                    found.last().format = 2;
            } else {
                pointOk = false;
            }
        } else if (inPoint && name == QLatin1String("time") && !inExtensions) {
            point.time = TrackInput::isoTime(text);
        } else if (inPoint && name.compare(QLatin1String("speed"), Qt::CaseInsensitive) == 0 &&
                   (!inExtensions || !pointSpeed)) {
            bool ok = false;
            const double ms = text.trimmed().toDouble(&ok);
            if (ok && std::isfinite(ms) && ms >= 0 && ms < 1e7) {
                point.speed = quint32(std::lround(ms * 360)); // m/s to 0.01 km/h
                pointSpeed = true;
            }
        } else if (name == QLatin1String("extensions")) {
            inExtensions = false;
        } else if (inTrack && !inPoint && name == QLatin1String("name")) {
            trackName = text.trimmed();
        } else if (name == QLatin1String("trkpt") || name == QLatin1String("rtept")) {
            inPoint = false;
            if (!pointOk || found.isEmpty()) {
                ++skipped;
                continue;
            }
            found.last().points.append(point);
            speedGiven.last().append(pointSpeed);
        } else if (name == QLatin1String("wpt")) {
            inPoint = false;
            if (pointOk)
                waypoints.append(point.time);
            else
                ++skipped;
        } else if (name == QLatin1String("trk") || name == QLatin1String("rte")) {
            inTrack = false;
            Track &t = found.last();
            t.startTime = TrackInput::ownStartTime(trackName, Qt::UTC);
            if (t.startTime == 0)
                t.startTime = TrackInput::firstTime(t);
        }
    }
    if (in.failed() || !in.started())
        return fail(tr("%1 cannot be read: %2").arg(fileName, in.failure()));

    // Speeds missing from the file come from distance and time.
    for (int i = 0; i < found.size(); ++i)
        TrackInput::fillSpeeds(found[i], speedGiven[i]);
    // A waypoint on a track point's time marks it; the others are counted.
    QHash<quint32, QPair<int, int>> byTime;
    for (int i = 0; i < found.size(); ++i)
        for (int j = 0; j < found[i].points.size(); ++j)
            if (found[i].points[j].time != 0 && !byTime.contains(found[i].points[j].time))
                byTime.insert(found[i].points[j].time, {i, j});
    int unplaced = 0;
    for (quint32 t : qAsConst(waypoints)) {
        const auto at = byTime.constFind(t);
        if (t == 0 || at == byTime.constEnd())
            ++unplaced;
        else
            found[at->first].points[at->second].marked = 1;
    }
    note.clear();
    if (unplaced > 0)
        note = tr("Waypoints not at a track point's time, not shown: %1.").arg(unplaced);
    return deliver(tracks, found, skipped);
}
