// Reading IGC flight logs: the header's date, pilot and glider, then one point per B record.
#include "formats/fileformatnmea.h"
#include "formats/trackinput.h"
#include "model/conversions.h"

#include <limits>

namespace {
using TrackInput::tr;

// The decimal digits at [at, at + n), or -1.
qint64 digits(QByteArrayView line, qsizetype at, qsizetype n)
{
    if (at + n > line.size())
        return -1;
    qint64 v = 0;
    for (qsizetype i = at; i < at + n; ++i) {
        if (line[i] < '0' || line[i] > '9')
            return -1;
        v = v * 10 + (line[i] - '0');
    }
    return v;
}

// "+1234" / "-0012" / "01234": an altitude of five characters.
bool altitude(QByteArrayView line, qsizetype at, double *metres)
{
    if (at + 5 > line.size())
        return false;
    const bool negative = line[at] == '-';
    const qint64 v = digits(line, at + (negative ? 1 : 0), negative ? 4 : 5);
    if (v < 0)
        return false;
    *metres = double(negative ? -v : v);
    return TrackInput::isAltitude(*metres);
}

// DDMMmmm + N/S (width 2) or DDDMMmmm + E/W (width 3) to degrees.
bool coordinate(QByteArrayView line, qsizetype at, int width, double *degrees)
{
    const qint64 d = digits(line, at, width), mm = digits(line, at + width, 5);
    if (d < 0 || mm < 0 || mm >= 60000 || at + width + 5 >= line.size())
        return false;
    const char h = line[at + width + 5];
    const double v = (double(d) + double(mm) / 60000.0) * (h == 'S' || h == 'W' ? -1 : 1);
    const bool ok = width == 2 ? (h == 'N' || h == 'S') && TrackInput::isLatitude(v)
                               : (h == 'E' || h == 'W') && TrackInput::isLongitude(v);
    if (ok)
        *degrees = v;
    return ok;
}

// "HFDTE010203" or, since 2015, "HFDTEDATE:010203,01": days since 1970.
bool headerDate(QByteArrayView line, qint64 *days)
{
    qsizetype at = 5;
    if (const qsizetype colon = line.indexOf(':'); colon >= 0)
        at = colon + 1;
    const qint64 d = digits(line, at, 2), m = digits(line, at + 2, 2), y = digits(line, at + 4, 2);
    const qint64 year = y < 0 ? -1 : y >= 80 ? 1900 + y : 2000 + y;
    if (d < 0 || m < 0 || !validCivilDate(year, m, d))
        return false;
    *days = daysFromCivil(year, m, d);
    return true;
}

// The text after the header record's colon ("HFPLTPILOTINCHARGE: Jane Doe").
QString headerText(QByteArrayView line)
{
    const qsizetype colon = line.indexOf(':');
    return colon < 0 ? QString() : QString::fromUtf8(line.sliced(colon + 1)).trimmed();
}

class IgcReader
{
public:
    void header(QByteArrayView line);
    void fix(QByteArrayView line, qint64 number);
    QString description() const;

    Track track{0, 2, {}};
    qint64 day = -1; // from HFDTE
    QList<qint64> badLines;
    qint64 bad = 0;

private:
    QString pilot, glider, gliderId;
    qint64 lastMs = -1;
};

void IgcReader::header(QByteArrayView line)
{
    // The third letter is who gave the value (F: the recorder, O: the pilot); the rest names it.
    const QByteArrayView what = line.size() >= 5 ? line.sliced(2, 3) : QByteArrayView();
    if (what == "DTE")
        headerDate(line, &day);
    else if (what == "PLT")
        pilot = headerText(line);
    else if (what == "GTY")
        glider = headerText(line);
    else if (what == "GID")
        gliderId = headerText(line);
}

void IgcReader::fix(QByteArrayView line, qint64 number)
{
    // B HHMMSS DDMMmmmN DDDMMmmmE V PPPPP GGGGG: 35 characters, extensions after.
    const qint64 h = digits(line, 1, 2), m = digits(line, 3, 2), s = digits(line, 5, 2);
    TrackPoint p;
    double pressure = 0, gnss = 0;
    const bool ok = line.size() >= 35 && h >= 0 && h < 24 && m >= 0 && m < 60 && s >= 0 && s < 61 &&
                    coordinate(line, 7, 2, &p.position.x) &&
                    coordinate(line, 15, 3, &p.position.y) && altitude(line, 25, &pressure) &&
                    altitude(line, 30, &gnss);
    if (!ok) {
        if (++bad <= 6)
            badLines << number;
        return;
    }
    // GNSS altitude 0 is none (a recorder without one, or no 3D fix): the pressure altitude
    // then, where there is one.
    p.position.z = gnss != 0 ? gnss : pressure;
    if (p.position.z == 0 && line[24] != 'A')
        p.flags |= TrackPoint::NoAltitude;
    const qint64 ms = (h * 3600 + m * 60 + s) * 1000;
    if (day >= 0 && lastMs >= 0 && TrackInput::pastMidnight(lastMs, ms))
        ++day;
    lastMs = ms;
    const qint64 seconds = day < 0 ? -1 : day * 86400 + ms / 1000;
    if (seconds < 0 || seconds > std::numeric_limits<quint32>::max())
        TrackInput::setNoTime(p);
    else
        p.time = quint32(seconds);
    if (track.points.size() == track.points.capacity())
        track.points.reserve(track.points.size() * 2 + 1024);
    track.points.append(p);
}

QString IgcReader::description() const
{
    QStringList parts;
    if (!pilot.isEmpty())
        parts << tr("Pilot: %1").arg(pilot);
    const QString craft = QStringList{glider, gliderId}.join(QLatin1Char(' ')).trimmed();
    if (!craft.isEmpty())
        parts << tr("Glider: %1").arg(craft);
    return parts.join(QStringLiteral("; "));
}
} // namespace

bool FileFormatIGC::read(QVector<Track> &tracks, const QString &fileName)
{
    TrackInput::LineFile file(fileName);
    QString why;
    if (!file.open(&why))
        return fail(tr("Cannot open %1: %2").arg(fileName, why));
    IgcReader reader;
    QByteArrayView line;
    bool started = false;
    while (file.next(&line)) {
        if (line.isEmpty())
            continue;
        if (!started) { // an IGC file starts with its recorder's A record
            if (line[0] != 'A')
                return fail(
                    tr("%1 cannot be read: it is no IGC file (no A record first).").arg(fileName));
            started = true;
        } else if (line[0] == 'H') {
            reader.header(line);
        } else if (line[0] == 'B') {
            reader.fix(line, file.number);
        }
    }
    note.clear();
    if (reader.bad > 0)
        addNote(TrackInput::linesNote(
            QT_TRANSLATE_NOOP("FileFormat",
                              "B records that cannot be read, left out: %1 (lines %2)."),
            reader.bad, reader.badLines));
    if (reader.day < 0)
        addNote(tr("No HFDTE record gives the date: the points have no time."));
    Track &track = reader.track;
    TrackInput::fillSpeeds(track, {});
    track.startTime = TrackInput::firstTime(track);
    track.description = reader.description();
    QVector<Track> found;
    if (!track.points.isEmpty())
        found << std::move(track);
    return deliver(tracks, found, 0, fileName);
}

QString FileFormatIGC::keeps() const
{
    return tr("IGC (read only) gives times, positions, GNSS or pressure altitudes, and the pilot "
              "and glider as the description.");
}
