// Reading TCX: Activities/Activity/Lap/Track/Trackpoint (and Courses/Course/Track), one small
// function per element on the shared XML loop.
#include "formats/fileformattcx.h"
#include "formats/trackinput.h"

namespace {
using TrackInput::tr;
using Token = QXmlStreamReader::TokenType;

class TcxReader
{
public:
    explicit TcxReader(TrackInput::XmlFile &in) : in(in) {}

    bool read();

    QVector<Track> found;
    int skipped = 0;  // impossible values
    int unplaced = 0; // trackpoints without a position (heart rate only, say)
    int roundedTemperatures = 0;

private:
    bool is(const char *name) const { return in.is(name); }
    void readActivity();
    void readTrack(Track *track);
    void readTrackpoint(Track *track, bool *segmentStarts);
    void readValue(TrackPoint &p, bool *ok, bool *hasLat, bool *hasLon);

    QVector<bool> speedGiven; // per point of the track being read: the device's own speed

    TrackInput::XmlFile &in;
};

bool TcxReader::read()
{
    if (in.nextTag() != Token::StartElement || !is("TrainingCenterDatabase"))
        return false;
    for (Token t = in.nextTag(); t != Token::Invalid; t = in.nextTag())
        if (t == Token::StartElement && (is("Activity") || is("Course")))
            readActivity();
    return !in.failed();
}

void TcxReader::readActivity()
{
    Track track{0, 1, {}};
    speedGiven.clear();
    // Its own Name (a course's) and Notes, not those of the laps or the device (Creator).
    int depth = 0;
    for (Token t = in.nextTag(); t != Token::Invalid; t = in.nextTag()) {
        if (t == Token::StartElement && is("Track")) {
            readTrack(&track);
        } else if (t == Token::StartElement) {
            ++depth;
        } else if (depth == 0) { // the end of the Activity or Course
            break;
        } else if (depth-- == 1 && (is("Name") || is("Notes"))) {
            (is("Name") ? track.name : track.description) = in.text.trimmed();
        }
    }
    if (track.points.isEmpty())
        return;
    TrackInput::fillSpeeds(track, speedGiven);
    track.startTime = TrackInput::firstTime(track);
    found.append(track);
}

void TcxReader::readTrack(Track *track)
{
    bool segmentStarts = !track->points.isEmpty();
    for (Token t = in.nextTag(); t != Token::Invalid; t = in.nextTag()) {
        if (t == Token::StartElement && is("Trackpoint"))
            readTrackpoint(track, &segmentStarts);
        else if (t == Token::EndElement && is("Track"))
            return;
    }
}

void TcxReader::readTrackpoint(Track *track, bool *segmentStarts)
{
    TrackPoint p;
    p.flags = TrackPoint::NoAltitude | TrackPoint::NoSpeed; // until the file gives them
    TrackInput::setNoTime(p);
    bool hasLat = false, hasLon = false, ok = true;
    for (int depth = 1; depth > 0;) {
        const Token t = in.nextTag();
        if (t == Token::Invalid)
            return;
        if (t == Token::StartElement) {
            ++depth;
            continue;
        }
        if (--depth == 0)
            break;
        if (in.text.trimmed().isEmpty())
            continue; // an empty element is a missing value
        readValue(p, &ok, &hasLat, &hasLon);
    }
    if (!ok) {
        ++skipped;
        return;
    }
    if (!hasLat || !hasLon) {
        ++unplaced;
        return;
    }
    if (*segmentStarts)
        p.flags |= TrackPoint::SegmentStart;
    *segmentStarts = false;
    if (p.hasAltitude())
        track->format = 2;
    track->points.append(p);
    speedGiven.append(p.hasSpeed());
}

void TcxReader::readValue(TrackPoint &p, bool *ok, bool *hasLat, bool *hasLon)
{
    if (is("Time")) {
        bool timed = false;
        p.time = TrackInput::isoTime(in.text, &p.millis, &timed);
        if (timed)
            p.flags &= ~TrackPoint::NoTime;
    } else if (is("LatitudeDegrees")) {
        *hasLat = TrackInput::latitude(in.text, &p.position.x);
        *ok = *ok && *hasLat;
    } else if (is("LongitudeDegrees")) {
        *hasLon = TrackInput::longitude(in.text, &p.position.y);
        *ok = *ok && *hasLon;
    } else if (is("AltitudeMeters")) {
        *ok = *ok && TrackInput::altitude(in.text, &p.position.z);
        p.flags &= ~TrackPoint::NoAltitude;
    } else if (is("Speed")) { // the device's own, in the extensions (m/s)
        double ms = 0;
        if (TrackInput::decimal(in.text, &ms) && ms >= 0 && ms < 1e7) {
            p.speed = quint32(std::lround(ms * 360));
            p.flags &= ~TrackPoint::NoSpeed;
        }
    } else if (is("Value")) { // a HeartRateBpm's
        TrackInput::setSensor(p, TrackInput::Sensor::HeartRate, in.text, &roundedTemperatures);
    } else if (const TrackInput::Sensor s = TrackInput::sensorNamed(in.xml.name());
               s != TrackInput::Sensor::None) {
        TrackInput::setSensor(p, s, in.text, &roundedTemperatures);
    }
}
} // namespace

bool FileFormatTCX::read(QVector<Track> &tracks, const QString &fileName)
{
    TrackInput::XmlFile in(fileName);
    QString why;
    if (!in.open(&why))
        return fail(tr("Cannot open %1: %2").arg(fileName, why));
    TcxReader tcx(in);
    if (!tcx.read())
        return failXml(fileName, !in.failed() && in.started(), "TCX", in.failure());
    note.clear();
    if (tcx.unplaced > 0)
        addNote(tr("Trackpoints without a position, left out: %1.").arg(tcx.unplaced));
    return deliver(tracks, tcx.found, tcx.skipped, fileName);
}

QString FileFormatTCX::keeps() const
{
    return tr("TCX (read only) gives times, positions, altitudes and laps as segments.");
}
