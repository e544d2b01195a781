// Reading KML 2.2: each LineString and gx:Track of a Placemark, in document order, Folders
// and MultiGeometry included. One small function per element, on the shared XML loop.
#include "formats/fileformatkml.h"
#include "formats/trackinput.h"

namespace {
using TrackInput::tr;
using Token = QXmlStreamReader::TokenType;

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

class KmlReader
{
public:
    explicit KmlReader(TrackInput::XmlFile &in) : in(in) {}

    // The whole document; false when the XML is broken.
    bool read();

    QVector<Track> found;
    int skipped = 0;
    bool notKml = false;

private:
    bool is(const char *name) const { return in.xml.name() == QLatin1String(name); }
    void readPlacemark();
    void readLineString(const QString &name);
    void readCoordinates(const QString &name);
    void readGxTrack(const QString &name);

    TrackInput::XmlFile &in;
};

bool KmlReader::read()
{
    if (in.nextTag() != Token::StartElement || !is("kml")) {
        notKml = !in.failed() && in.started();
        return false;
    }
    for (Token t = in.nextTag(); t != Token::Invalid; t = in.nextTag())
        if (t == Token::StartElement && is("Placemark"))
            readPlacemark();
    return !in.failed();
}

void KmlReader::readPlacemark()
{
    QString name;
    for (Token t = in.nextTag(); t != Token::Invalid; t = in.nextTag()) {
        if (t == Token::StartElement && is("Placemark"))
            readPlacemark();
        else if (t == Token::StartElement && is("LineString"))
            readLineString(name);
        else if (t == Token::StartElement && is("Track"))
            readGxTrack(name);
        else if (t == Token::EndElement && is("name"))
            name = in.text.trimmed();
        else if (t == Token::EndElement && is("Placemark"))
            return;
    }
}

void KmlReader::readLineString(const QString &name)
{
    for (Token t = in.nextTag(); t != Token::Invalid; t = in.nextTag()) {
        if (t == Token::EndElement && is("coordinates"))
            readCoordinates(name);
        else if (t == Token::EndElement && is("LineString"))
            return;
    }
}

void KmlReader::readCoordinates(const QString &name)
{
    // A line's points; KML lines hold no times.
    Track t{TrackInput::ownStartTime(name, Qt::LocalTime), 1, {}};
    const QStringView all(in.text);
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
}

void KmlReader::readGxTrack(const QString &name)
{
    // gx:when and gx:coord come in pairs, in order.
    QVector<quint32> whens;
    QVector<TrackPoint> coords;
    QVector<bool> good;
    bool anyAltitude = false;
    for (Token t = in.nextTag(); t != Token::Invalid && !(t == Token::EndElement && is("Track"));
         t = in.nextTag()) {
        if (t != Token::EndElement)
            continue;
        if (is("when")) {
            whens.append(TrackInput::isoTime(in.text));
        } else if (is("coord")) {
            TrackPoint p;
            bool alt = false;
            good.append(parseTuple(in.text.trimmed(), QLatin1Char(' '), &p, &alt));
            skipped += !good.last();
            anyAltitude = anyAltitude || (good.last() && alt);
            coords.append(p);
        }
    }
    Track track{TrackInput::ownStartTime(name, Qt::LocalTime), anyAltitude ? 2 : 1, {}};
    for (int i = 0; i < coords.size(); ++i)
        if (good[i]) {
            track.points.append(coords[i]);
            track.points.last().time = whens.value(i, 0);
        }
    TrackInput::fillSpeeds(track, {});
    if (track.startTime == 0)
        track.startTime = TrackInput::firstTime(track);
    found.append(track);
}
} // namespace

bool FileFormatKML::read(QVector<Track> &tracks, const QString &fileName)
{
    TrackInput::XmlFile in(fileName);
    QString why;
    if (!in.open(&why))
        return fail(tr("Cannot open %1: %2").arg(fileName, why));
    KmlReader kml(in);
    if (!kml.read()) {
        if (kml.notKml)
            return fail(tr("%1 is not a KML file.").arg(fileName));
        return fail(tr("%1 cannot be read: %2").arg(fileName, in.failure()));
    }
    note.clear();
    return deliver(tracks, kml.found, kml.skipped);
}
