// Reading KML 2.2: each LineString or gx:Track of a Placemark, in document
// order, Folders and MultiGeometry included.
#include "formats/fileformatkml.h"
#include "formats/trackinput.h"

#include <QCoreApplication>
#include <QDateTime>

namespace {
using TrackInput::tr;

// "lon,lat[,alt]" or, in a gx:coord, "lon lat [alt]"; false for an impossible point.
bool parseTuple(QStringView tuple, QChar separator, TrackPoint *p, bool *hasAltitude)
{
    const QList<QStringView> v = tuple.split(separator, Qt::SkipEmptyParts);
    if (v.size() < 2 || v.size() > 3 || !TrackInput::longitude(v[0], &p->position.y) ||
        !TrackInput::latitude(v[1], &p->position.x))
        return false;
    *hasAltitude = v.size() == 3;
    return v.size() < 3 || TrackInput::altitude(v[2], &p->position.z);
}
} // namespace

bool FileFormatKML::read(QVector<Track> &tracks, const QString &fileName)
{
    TrackInput::XmlFile in(fileName);
    QString why;
    if (!in.open(&why))
        return fail(tr("Cannot open %1: %2").arg(fileName, why));

    QVector<Track> found;
    QString placemarkName;
    QVector<quint32> whens;
    QVector<TrackPoint> coords;
    int skipped = 0;
    int depthInPlacemark = 0;
    bool anyAltitude = false, inLine = false;
    for (;;) {
        const QXmlStreamReader::TokenType token = in.nextTag();
        if (token == QXmlStreamReader::Invalid)
            break;
        const QStringView name = in.xml.name();
        const QString &text = in.text;
        if (token == QXmlStreamReader::StartElement) {
            if (in.atRoot && name != QLatin1String("kml"))
                return fail(tr("%1 is not a KML file.").arg(fileName));
            if (name == QLatin1String("Placemark")) {
                ++depthInPlacemark;
                placemarkName.clear();
            } else if (name == QLatin1String("LineString")) {
                inLine = true;
            } else if (name == QLatin1String("Track")) {
                whens.clear();
                coords.clear();
                anyAltitude = false;
            }
            continue;
        }
        if (token != QXmlStreamReader::EndElement)
            continue;
        if (name == QLatin1String("Placemark")) {
            --depthInPlacemark;
        } else if (name == QLatin1String("LineString")) {
            inLine = false;
        } else if (depthInPlacemark > 0 && name == QLatin1String("name")) {
            placemarkName = text.trimmed();
        } else if (depthInPlacemark > 0 && inLine && name == QLatin1String("coordinates")) {
            // A line's points; KML lines hold no times.
            Track t{TrackInput::ownStartTime(placemarkName, Qt::LocalTime), 1, {}};
            const QStringView all(text);
            for (qsizetype i = 0; i < all.size();) {
                while (i < all.size() && all[i].isSpace())
                    ++i;
                qsizetype end = i;
                while (end < all.size() && !all[end].isSpace())
                    ++end;
                if (end == i)
                    break;
                const QStringView tuple = all.mid(i, end - i);
                i = end;
                TrackPoint p;
                bool alt = false;
                if (!parseTuple(tuple, QLatin1Char(','), &p, &alt)) {
                    ++skipped;
                    continue;
                }
                if (alt)
                    t.format = 2;
                t.points.append(p);
            }
            found.append(t);
        } else if (depthInPlacemark > 0 && name == QLatin1String("when")) {
            whens.append(TrackInput::isoTime(text));
        } else if (depthInPlacemark > 0 && name == QLatin1String("coord")) {
            TrackPoint p;
            bool alt = false;
            if (parseTuple(text.trimmed(), QLatin1Char(' '), &p, &alt)) {
                anyAltitude = anyAltitude || alt;
                p.time = whens.value(coords.size(), 0);
                coords.append(p);
            } else {
                ++skipped;
                coords.append(TrackPoint()); // keeps the pairing with the times
                coords.last().marked = -1;
            }
        } else if (depthInPlacemark > 0 && name == QLatin1String("Track")) {
            Track t{
                TrackInput::ownStartTime(placemarkName, Qt::LocalTime), anyAltitude ? 2 : 1, {}};
            for (const TrackPoint &p : qAsConst(coords))
                if (p.marked != -1)
                    t.points.append(p);
            TrackInput::fillSpeeds(t, {});
            if (t.startTime == 0)
                t.startTime = TrackInput::firstTime(t);
            found.append(t);
        }
    }
    if (in.failed() || !in.started())
        return fail(tr("%1 cannot be read: %2").arg(fileName, in.failure()));
    note.clear();
    return deliver(tracks, found, skipped);
}
