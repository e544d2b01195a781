// Reading CSV as people write it: the program's own files (their header names the units and
// the time zone, which are converted back) and plain files with named columns, separated by
// commas, semicolons or tabs, with RFC 4180 quoting and, after a semicolon or tab, decimal
// commas. Header detection, row parsing and track assembly are steps of their own.
#include "formats/fileformatcsv.h"
#include "formats/timetext.h"
#include "formats/trackinput.h"
#include "model/conversions.h"

#include <QCoreApplication>
#include <QDateTime>
#include <QFile>

#include <cmath>

namespace {
constexpr qint64 MaxLine = 64 * 1024;
// Points further apart start a new track in the program's own CSV (which runs its tracks
// together) and a new segment in any other.
constexpr qint64 GapSeconds = 3600;
// The program's own files were written with the single-precision factors.
constexpr double KmPerMileOwn = double(Units::KmPerMileSingle);
constexpr double FeetPerMetreOwn = double(Units::FeetPerMetreSingle);

using TrackInput::tr;

// One record's fields (RFC 4180: a quoted field may hold the separator and doubled quotes).
QStringList splitFields(QStringView line, QChar separator)
{
    QStringList fields;
    QString field;
    bool quoted = false;
    for (qsizetype i = 0; i < line.size(); ++i) {
        const QChar c = line[i];
        if (quoted) {
            if (c != QLatin1Char('"'))
                field += c;
            else if (i + 1 < line.size() && line[i + 1] == QLatin1Char('"'))
                field += line[++i];
            else
                quoted = false;
        } else if (c == QLatin1Char('"')) {
            quoted = true;
        } else if (c == separator) {
            fields << field.trimmed();
            field.clear();
        } else {
            field += c;
        }
    }
    fields << field.trimmed();
    return fields;
}

// Whether a line ends inside a quoted field (the record goes on on the next line).
bool endsQuoted(QStringView line)
{
    return line.count(QLatin1Char('"')) % 2 == 1;
}

enum class SpeedIn
{
    Kmh,
    MetresPerSecond,
    Mph,
    Knots
};

struct Columns
{
    bool own = false;
    bool localTime = false, feet = false, decimalComma = false;
    SpeedIn speedIn = SpeedIn::Kmh;
    QChar separator = QLatin1Char(',');
    int date = -1, time = -1, lat = -1, lon = -1, alt = -1, speed = -1, mark = -1, name = -1;
    int heartRate = -1, cadence = -1, temperature = -1, power = -1;
};

// The separator the header uses most, outside quotes.
QChar detectSeparator(const QString &header)
{
    int counts[3] = {0, 0, 0};
    bool quoted = false;
    for (QChar c : header) {
        if (c == QLatin1Char('"'))
            quoted = !quoted;
        else if (!quoted)
            counts[0] += c == QLatin1Char(','), counts[1] += c == QLatin1Char(';'),
                counts[2] += c == QLatin1Char('\t');
    }
    if (counts[2] > counts[0] && counts[2] >= counts[1])
        return QLatin1Char('\t');
    return counts[1] > counts[0] ? QLatin1Char(';') : QLatin1Char(',');
}

SpeedIn speedUnitOf(const QString &name)
{
    if (name.contains(QLatin1String("m/s")) || name.contains(QLatin1String("mps")))
        return SpeedIn::MetresPerSecond;
    if (name.contains(QLatin1String("mph")) || name.contains(QLatin1String("mi/h")))
        return SpeedIn::Mph;
    if (name.contains(QLatin1String("knot")) || name.contains(QLatin1String("(kn")) ||
        name.contains(QLatin1String("(kt")))
        return SpeedIn::Knots;
    return SpeedIn::Kmh;
}

// Which column is which: the name before any unit in brackets, in any case.
void nameColumn(Columns *c, int i, const QString &field)
{
    const QString full = field.toLower();
    const QString name =
        full.section(QLatin1Char('('), 0, 0).section(QLatin1Char('['), 0, 0).trimmed();
    const auto is = [&](std::initializer_list<const char *> names) {
        for (const char *n : names)
            if (name == QLatin1String(n))
                return true;
        return false;
    };
    if (is({"lat", "latitude"}))
        c->lat = i;
    else if (is({"lon", "lng", "long", "longitude"}))
        c->lon = i;
    else if (is({"time", "datetime", "timestamp", "date_time", "date time"}))
        c->time = i, c->localTime = c->localTime || full.contains(QLatin1String("(local)"));
    else if (is({"date"}))
        c->date = i;
    else if (is({"ele", "elevation", "alt", "altitude"}))
        c->alt = i,
        c->feet = full.contains(QLatin1String("feet")) || full.contains(QLatin1String("(ft"));
    else if (is({"speed"}))
        c->speed = i, c->speedIn = speedUnitOf(full);
    else if (is({"mark"}))
        c->mark = i;
    else if (is({"name", "track", "track name"}))
        c->name = i;
    else if (is({"heart rate", "heartrate", "hr"}))
        c->heartRate = i;
    else if (is({"cadence", "cad"}))
        c->cadence = i;
    else if (is({"temperature", "temp", "atemp"}))
        c->temperature = i;
    else if (is({"power", "watts"}))
        c->power = i;
}

bool readHeader(const QString &line, Columns *c)
{
    c->own = line.startsWith(QLatin1String("Date, Time ("));
    c->separator = detectSeparator(line);
    c->decimalComma = c->separator != QLatin1Char(',');
    const QStringList names = splitFields(line, c->separator);
    for (int i = 0; i < names.size(); ++i)
        nameColumn(c, i, names[i]);
    // The program's own speeds are "km/hr" or "mi/hr".
    if (c->own && line.contains(QLatin1String("Speed (mi/hr)")))
        c->speedIn = SpeedIn::Mph;
    return c->lat >= 0 && c->lon >= 0;
}

// A number, with a decimal comma where the file uses one.
bool number(const Columns &c, const QString &text, double *value)
{
    return TrackInput::decimal(text, value, QLatin1Char(c.decimalComma ? ',' : '.'));
}

// Digits at `at`, exactly `count` of them.
bool digits(QStringView s, qsizetype at, int count, int *value)
{
    if (at + count > s.size())
        return false;
    int v = 0;
    for (int i = 0; i < count; ++i) {
        const QChar ch = s[at + i];
        if (!ch.isDigit())
            return false;
        v = v * 10 + ch.digitValue();
    }
    *value = v;
    return true;
}

struct Civil
{
    int y = 0, mo = 0, d = 0, h = 0, mi = 0, s = 0, ms = 0;
    int zone = 0; // seconds east of UTC, when the text gives a zone
    bool zoned = false;
};

// yyyy-MM-dd, yyyy/MM/dd or dd.MM.yyyy.
bool parseDate(QStringView t, Civil *c)
{
    if (t.size() >= 10 && (t[4] == QLatin1Char('-') || t[4] == QLatin1Char('/')))
        return digits(t, 0, 4, &c->y) && digits(t, 5, 2, &c->mo) && digits(t, 8, 2, &c->d);
    if (t.size() >= 10 && t[2] == QLatin1Char('.') && t[5] == QLatin1Char('.'))
        return digits(t, 0, 2, &c->d) && digits(t, 3, 2, &c->mo) && digits(t, 6, 4, &c->y);
    return false;
}

// A zone after a time, from `i`: Z, or +hh[:mm] / -hh[:mm]; where it ends, or -1 when the text
// there is no zone.
qsizetype parseZone(QStringView t, qsizetype i, Civil *c)
{
    if (i >= t.size())
        return i;
    if (t[i] == QLatin1Char('Z') || t[i] == QLatin1Char('z')) {
        c->zoned = true;
        return i + 1;
    }
    if (t[i] != QLatin1Char('+') && t[i] != QLatin1Char('-'))
        return -1;
    int zh = 0, zm = 0;
    if (!digits(t, i + 1, 2, &zh))
        return -1;
    qsizetype j = i + 3;
    if (j < t.size() && t[j] == QLatin1Char(':'))
        ++j;
    if (j < t.size() && !digits(t, j, 2, &zm))
        return -1;
    c->zone = (t[i] == QLatin1Char('-') ? -1 : 1) * (zh * 3600 + zm * 60);
    c->zoned = true;
    return j < t.size() ? j + 2 : j;
}

// hh:mm[:ss[.fff]], then an optional zone; what is left must be nothing.
bool parseTimeOfDay(QStringView t, Civil *c)
{
    if (!digits(t, 0, 2, &c->h) || t.size() < 5 || t[2] != QLatin1Char(':') ||
        !digits(t, 3, 2, &c->mi))
        return false;
    qsizetype i = 5;
    if (i < t.size() && t[i] == QLatin1Char(':')) {
        if (!digits(t, i + 1, 2, &c->s))
            return false;
        i += 3;
    }
    if (i < t.size() && (t[i] == QLatin1Char('.') || t[i] == QLatin1Char(','))) {
        int ms = 0, scale = 100;
        for (++i; i < t.size() && t[i].isDigit(); ++i, scale /= 10)
            ms += t[i].digitValue() * scale;
        c->ms = ms;
    }
    i = parseZone(t, i, c);
    return i == t.size() && c->h < 24 && c->mi < 60 && c->s < 61;
}

// Turns civil times into seconds since 1970: UTC, or the computer's local time, where an
// hour a clock change repeats is read forward from the point before.
class Clock
{
public:
    explicit Clock(bool local) : local(local), zones(true) {}

    // False for an impossible date or time.
    bool toEpoch(const Civil &c, qint64 previous, qint64 *seconds)
    {
        if (!validCivilDate(c.y, c.mo, c.d))
            return false;
        const qint64 wall = daysFromCivil(c.y, c.mo, c.d) * 86400 + c.h * 3600 + c.mi * 60 + c.s;
        if (c.zoned || !local) {
            *seconds = wall - c.zone;
            return true;
        }
        // The offsets in force a day before and a day after: the same but around a change.
        const qint64 before = wall - zones.offsetFor(wall - 86400);
        const qint64 after = wall - zones.offsetFor(wall + 86400);
        const bool beforeFits = before + zones.offsetFor(before) == wall;
        const bool afterFits = after + zones.offsetFor(after) == wall;
        qint64 a = qMin(before, after), b = qMax(before, after);
        if (beforeFits != afterFits) // one of them only: the other lies in no wall time
            a = b = beforeFits ? before : after;
        *seconds = previous > 0 && a < previous && b >= previous ? b : a;
        return true;
    }

private:
    bool local;
    TimeText zones;
};

// The time of a row, in seconds and milliseconds; false (with `bad`) for a text that cannot
// be read, false without it for none.
struct RowTime
{
    quint32 time = 0;
    quint16 millis = 0;
};

bool epochNumber(const QString &text, RowTime *t)
{
    double v = 0;
    if (!TrackInput::decimal(text, &v))
        return false;
    // Milliseconds are told apart from seconds by size: 1e11 s is the year 5138.
    const double seconds = std::fabs(v) >= 1e11 ? v / 1000.0 : v;
    if (!(seconds > 0) || seconds > double(0xFFFFFFFFu))
        return false;
    t->time = quint32(std::floor(seconds));
    t->millis = quint16(std::min(999.0, std::round((seconds - std::floor(seconds)) * 1000)));
    return true;
}

bool parseRowTime(const Columns &c, const QStringList &f, Clock &clock, qint64 previous, RowTime *t,
                  bool *bad)
{
    const QString timeText = c.time >= 0 ? f.value(c.time) : QString();
    const QString dateText = c.date >= 0 ? f.value(c.date) : QString();
    *bad = false;
    if (timeText.isEmpty() && dateText.isEmpty())
        return false;
    Civil civil;
    bool ok = false;
    if (!dateText.isEmpty() && !timeText.isEmpty()) {
        ok = parseDate(dateText, &civil) && parseTimeOfDay(timeText, &civil);
    } else {
        const QString &one = timeText.isEmpty() ? dateText : timeText;
        if (epochNumber(one, t))
            return true;
        // An ISO date and time in one field, "T" or a space between.
        ok = one.size() > 11 && parseDate(one, &civil) &&
             (one[10] == QLatin1Char('T') || one[10] == QLatin1Char(' ')) &&
             parseTimeOfDay(QStringView(one).mid(11), &civil);
    }
    qint64 seconds = 0;
    if (ok && clock.toEpoch(civil, previous, &seconds) && seconds > 0 &&
        seconds <= qint64(0xFFFFFFFFu)) {
        t->time = quint32(seconds);
        t->millis = quint16(civil.ms);
        return true;
    }
    *bad = true;
    return false;
}

// What one row gave: a point, or nothing when its position cannot be read. Values that
// cannot be read are left out of the point and counted.
struct Row
{
    TrackPoint point;
    QString name; // the track's, where the file has a name column
    bool hasSpeed = false;
    bool positionOk = false;
    int badValues = 0;
};

double speedInKmh(const Columns &c, double v)
{
    switch (c.speedIn) {
    case SpeedIn::MetresPerSecond:
        return v * 3.6;
    case SpeedIn::Mph:
        return v * (c.own ? KmPerMileOwn : Units::KmPerMile);
    case SpeedIn::Knots:
        return v * 1.852;
    case SpeedIn::Kmh:
        break;
    }
    return v;
}

// Other devices' sensor values; an empty cell is none. Gives the cells that cannot be read.
int readSensors(const Columns &c, const QStringList &f, TrackPoint &p)
{
    int bad = 0;
    double v = 0;
    for (const auto &[column, sensor] : {std::pair{c.heartRate, TrackInput::Sensor::HeartRate},
                                         std::pair{c.cadence, TrackInput::Sensor::Cadence},
                                         std::pair{c.temperature, TrackInput::Sensor::Temperature},
                                         std::pair{c.power, TrackInput::Sensor::Power}}) {
        const QString text = column >= 0 ? f.value(column).trimmed() : QString();
        bad += !text.isEmpty() &&
               !(number(c, text, &v) && TrackInput::setSensor(p, sensor, v, nullptr));
    }
    return bad;
}

Row parseRow(const Columns &c, const QStringList &f, Clock &clock, qint64 previous)
{
    Row row;
    TrackPoint &p = row.point;
    double v = 0;
    row.positionOk =
        number(c, f.value(c.lat), &p.position.x) && TrackInput::isLatitude(p.position.x) &&
        number(c, f.value(c.lon), &p.position.y) && TrackInput::isLongitude(p.position.y);
    if (!row.positionOk)
        return row;
    if (c.name >= 0)
        row.name = f.value(c.name).trimmed();
    RowTime t;
    bool bad = false;
    if (parseRowTime(c, f, clock, previous, &t, &bad)) {
        p.time = t.time;
        p.millis = t.millis;
    } else {
        TrackInput::setNoTime(p);
        row.badValues += bad;
    }
    const QString altText = c.alt >= 0 ? f.value(c.alt) : QString();
    p.flags |= TrackPoint::NoAltitude;
    if (!altText.isEmpty() && number(c, altText, &v) && TrackInput::isAltitude(v)) {
        p.position.z = c.feet ? v / (c.own ? FeetPerMetreOwn : Units::FeetPerMetre) : v;
        p.flags &= ~TrackPoint::NoAltitude;
    } else {
        row.badValues += !altText.isEmpty();
    }
    const QString speedText = c.speed >= 0 ? f.value(c.speed) : QString();
    if (!speedText.isEmpty()) {
        const double kmh = number(c, speedText, &v) ? speedInKmh(c, v) : -1;
        row.hasSpeed = kmh >= 0 && kmh < 4e7;
        row.badValues += !row.hasSpeed;
        if (row.hasSpeed)
            p.speed = quint32(std::lround(kmh * 100));
    }
    row.badValues += readSensors(c, f, p);
    if (c.mark >= 0) {
        const QString m = f.value(c.mark);
        p.marked = !m.isEmpty() && m != QLatin1String("0") ? 1 : 0;
    }
    return row;
}

// The rows' points gathered into tracks.
struct TrackAssembly
{
    bool own = false;
    QVector<Track> found;
    QVector<QVector<bool>> speedGiven;
    qint64 lastTime = 0; // of the last point with a time in the track being filled

    void add(const Row &row)
    {
        TrackPoint p = row.point;
        // The program's CSV runs its tracks together: a new one starts where the time runs
        // back or jumps more than an hour, or where the name column changes. Elsewhere such a
        // jump starts a segment.
        const bool jump = p.hasTime() && lastTime > 0 &&
                          (qint64(p.time) < lastTime || qint64(p.time) - lastTime > GapSeconds);
        const bool renamed = !found.isEmpty() && row.name != found.last().name;
        if (found.isEmpty() || (own && jump) || renamed) {
            found.append(Track{0, 1, {}});
            found.last().name = row.name;
            speedGiven.append(QVector<bool>());
            lastTime = 0;
        } else if (jump) {
            p.flags |= TrackPoint::SegmentStart;
        }
        if (p.hasAltitude())
            found.last().format = 2;
        if (p.hasTime())
            lastTime = p.time;
        found.last().points.append(p);
        speedGiven.last().append(row.hasSpeed);
    }

    void finish()
    {
        for (int i = 0; i < found.size(); ++i) {
            TrackInput::fillSpeeds(found[i], speedGiven[i]);
            found[i].startTime = TrackInput::firstTime(found[i]);
        }
    }
};

// The file's records one by one, each at most 64 KB; a quoted field may span lines.
class RecordReader
{
public:
    explicit RecordReader(QFile &file) : file(file), line(MaxLine + 2, Qt::Uninitialized) {}
    // False at the end; with `tooLong` set for a record over the bound.
    bool next(QString *text, bool *tooLong)
    {
        text->clear();
        *tooLong = false;
        for (;;) {
            const qint64 n = file.readLine(line.data(), line.size());
            if (n < 0)
                return !text->isEmpty();
            ++number;
            const bool cut = n > MaxLine && line[n - 1] != '\n' && !file.atEnd();
            *text += QString::fromUtf8(line.constData(), n);
            if (cut || text->size() > MaxLine) {
                *tooLong = true;
                return false;
            }
            if (!endsQuoted(*text))
                break;
        }
        *text = text->trimmed();
        return true;
    }
    qint64 number = 0; // of the record's last line

private:
    QFile &file;
    QByteArray line;
};

} // namespace

bool FileFormatCSV::read(QVector<Track> &tracks, const QString &fileName)
{
    QFile file(fileName);
    if (!file.open(QIODevice::ReadOnly))
        return fail(tr("Cannot open %1: %2").arg(fileName, file.errorString()));
    RecordReader records(file);
    Columns c;
    TrackAssembly assembly;
    std::unique_ptr<Clock> clock;
    QList<qint64> positionLines, valueLines;
    qint64 badValues = 0;
    bool headerSeen = false, tooLong = false;
    QString text;
    while (records.next(&text, &tooLong)) {
        if (text.isEmpty())
            continue;
        if (!headerSeen) {
            headerSeen = true;
            if (!readHeader(text.startsWith(QChar(0xFEFF)) ? text.mid(1) : text, &c))
                return fail(tr("%1 cannot be read: line 1 names no latitude and longitude columns.")
                                .arg(fileName));
            assembly.own = c.own;
            clock = std::make_unique<Clock>(c.localTime);
            continue;
        }
        const Row row = parseRow(c, splitFields(text, c.separator), *clock, assembly.lastTime);
        if (!row.positionOk) {
            positionLines << records.number;
            continue;
        }
        if (row.badValues > 0)
            valueLines << records.number;
        badValues += row.badValues;
        assembly.add(row);
    }
    if (tooLong)
        return fail(tr("%1 cannot be read: line %2 is longer than 64 KB.")
                        .arg(fileName)
                        .arg(records.number));
    if (file.error() != QFileDevice::NoError)
        return fail(tr("Cannot read %1: %2").arg(fileName, file.errorString()));
    if (!headerSeen)
        return fail(tr("%1 cannot be read: it is empty.").arg(fileName));
    assembly.finish();
    note.clear();
    if (!valueLines.isEmpty())
        addNote(TrackInput::linesNote(
            QT_TRANSLATE_NOOP("FileFormat", "Values that cannot be read, left out: %1 (lines %2)."),
            badValues, valueLines));
    if (!positionLines.isEmpty())
        addNote(TrackInput::linesNote(
            QT_TRANSLATE_NOOP("FileFormat", "Rows without a possible position, left out: %1 "
                                            "(lines %2)."),
            positionLines.size(), positionLines));
    // Without any point, the rows left out are the reason.
    return deliver(tracks, assembly.found, assembly.found.isEmpty() ? int(positionLines.size()) : 0,
                   fileName);
}
