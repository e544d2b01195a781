// Reading NMEA 0183 logs: the sentences of one fix (the same time of day) make one point.
#include "formats/fileformatnmea.h"
#include "formats/trackinput.h"
#include "model/conversions.h"

#include <QFileInfo>

#include <algorithm>
#include <charconv>
#include <cmath>
#include <cstring>
#include <limits>
#include <vector>

namespace {
using TrackInput::tr;

constexpr qint64 NoDay = std::numeric_limits<qint64>::min();
constexpr int MaxFields = 24;
constexpr qsizetype MaxSentence = 1024; // the standard's are at most 82 characters

int hexValue(char c)
{
    if (c >= '0' && c <= '9')
        return c - '0';
    if (c >= 'A' && c <= 'F')
        return c - 'A' + 10;
    if (c >= 'a' && c <= 'f')
        return c - 'a' + 10;
    return -1;
}

// One sentence: its type ("RMC", whatever the talker) and the fields after the address.
struct Sentence
{
    QByteArrayView type;
    QByteArrayView field[MaxFields];
    int count = 0;
    QByteArrayView operator[](int i) const { return i < count ? field[i] : QByteArrayView(); }
};

enum class Parsed
{
    None,        // no sentence on the line
    BadChecksum, // a sentence whose checksum does not match
    Sentence
};

// The XOR of the bytes, eight at a time.
uchar checksum(const char *data, qsizetype size)
{
    quint64 words = 0;
    qsizetype k = 0;
    for (; k + 8 <= size; k += 8) {
        quint64 w;
        std::memcpy(&w, data + k, 8);
        words ^= w;
    }
    words ^= words >> 32;
    words ^= words >> 16;
    words ^= words >> 8;
    uchar sum = uchar(words);
    for (; k < size; ++k)
        sum ^= uchar(data[k]);
    return sum;
}

// "GPRMC": a talker of two letters and the type; "PGRMZ" and the like are a maker's own.
bool isAddress(QByteArrayView a)
{
    if (a.size() != 5 || a[0] == 'P')
        return false;
    return std::all_of(a.begin(), a.end(),
                       [](char c) { return (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9'); });
}

Parsed parse(QByteArrayView line, Sentence *s)
{
    const qsizetype dollar = line.indexOf('$'); // a logger may put its own time before it
    if (dollar < 0 || line.size() - dollar > MaxSentence)
        return Parsed::None;
    // The checksum of what lies between '$' and '*', and where the fields start.
    const char *const body = line.data() + dollar + 1;
    const qsizetype size = line.size() - dollar - 1;
    const void *star = std::memchr(body, '*', size_t(size));
    const qsizetype end = star ? static_cast<const char *>(star) - body : size;
    const uchar sum = checksum(body, end);
    qsizetype starts[MaxFields + 1];
    int commas = 0;
    for (qsizetype c = 0; c < end && commas <= MaxFields; ++c)
        if (body[c] == ',')
            starts[commas++] = c + 1;
    if (end < size) { // a checksum follows: it must match
        if (size < end + 3)
            return Parsed::BadChecksum;
        const int hi = hexValue(body[end + 1]), lo = hexValue(body[end + 2]);
        if (hi < 0 || lo < 0 || sum != uchar(hi * 16 + lo))
            return Parsed::BadChecksum;
    }
    const qsizetype addressEnd = commas > 0 ? starts[0] - 1 : end;
    if (!isAddress(QByteArrayView(body, addressEnd)))
        return Parsed::None;
    s->type = QByteArrayView(body + 2, 3);
    s->count = qMin(commas, MaxFields);
    for (int k = 0; k < s->count; ++k) {
        const qsizetype stop = k + 1 < commas ? starts[k + 1] - 1 : end;
        s->field[k] = QByteArrayView(body + starts[k], stop - starts[k]);
    }
    return Parsed::Sentence;
}

bool number(QByteArrayView f, double *value)
{
    // Sentences hold plain decimals ("4715.12345"): digits over a power of ten, which is the
    // correctly rounded value while both are exact (as from_chars gives it, several times
    // faster); anything else (an exponent, more than 15 digits) goes to from_chars.
    qsizetype i = !f.isEmpty() && (f[0] == '-' || f[0] == '+') ? 1 : 0;
    quint64 digits = 0;
    int decimals = -1, count = 0;
    for (; i < f.size(); ++i) {
        const char c = f[i];
        if (c >= '0' && c <= '9' && count < 15) {
            digits = digits * 10 + quint64(c - '0');
            ++count;
            decimals += decimals >= 0;
        } else if (c == '.' && decimals < 0) {
            decimals = 0;
        } else {
            break;
        }
    }
    if (i == f.size() && count > 0) {
        static constexpr double tens[] = {1,   1e1, 1e2,  1e3,  1e4,  1e5,  1e6,  1e7,
                                          1e8, 1e9, 1e10, 1e11, 1e12, 1e13, 1e14, 1e15};
        const double v = double(digits) / tens[qMax(0, decimals)];
        *value = f[0] == '-' ? -v : v;
        return true;
    }
    if (f.isEmpty())
        return false;
    const char *end = f.data() + f.size();
    double v = 0;
    const auto r = std::from_chars(f.data() + (f[0] == '+' ? 1 : 0), end, v);
    if (r.ec != std::errc() || r.ptr != end || !std::isfinite(v))
        return false;
    *value = v;
    return true;
}

int twoDigits(QByteArrayView f, int at)
{
    const char a = f[at], b = f[at + 1];
    return a >= '0' && a <= '9' && b >= '0' && b <= '9' ? (a - '0') * 10 + (b - '0') : -1;
}

// "hhmmss" or "hhmmss.sss" to milliseconds of the day.
bool timeOfDay(QByteArrayView f, qint64 *ms)
{
    if (f.size() < 6)
        return false;
    const int h = twoDigits(f, 0), m = twoDigits(f, 2), s = twoDigits(f, 4);
    if (h < 0 || h > 23 || m < 0 || m > 59 || s < 0 || s > 60)
        return false;
    double fraction = 0;
    if (f.size() > 6 && !(f[6] == '.' && (f.size() == 7 || number(f.sliced(6), &fraction))))
        return false;
    *ms = (h * 3600 + m * 60 + s) * qint64(1000) + qMin(qint64(999), qint64(fraction * 1000));
    return true;
}

// "ddmmyy" to days since 1970 (years 80-99 are 1980-1999).
bool dayOf(QByteArrayView f, qint64 *days)
{
    if (f.size() != 6)
        return false;
    const int d = twoDigits(f, 0), m = twoDigits(f, 2), y = twoDigits(f, 4);
    const int year = y < 0 ? -1 : y >= 80 ? 1900 + y : 2000 + y;
    if (d < 0 || m < 0 || !validCivilDate(year, m, d))
        return false;
    *days = daysFromCivil(year, m, d);
    return true;
}

// "ddmm.mmmm" with N or S (or dddmm.mmmm with E or W) to degrees.
bool coordinate(QByteArrayView value, QByteArrayView hemisphere, double *degrees)
{
    double v = 0;
    if (!number(value, &v) || v < 0 || hemisphere.size() != 1)
        return false;
    const double whole = std::floor(v / 100), minutes = v - whole * 100;
    if (minutes >= 60)
        return false;
    const char h = hemisphere[0];
    const double d = (whole + minutes / 60) * (h == 'S' || h == 'W' ? -1 : 1);
    if (h == 'N' || h == 'S')
        return TrackInput::isLatitude(d) && ((*degrees = d), true);
    return (h == 'E' || h == 'W') && TrackInput::isLongitude(d) && ((*degrees = d), true);
}

// The points of a log as its fixes come, each with the day (where a sentence gave one) and
// the time of day, the dates worked out at the end.
class NmeaReader
{
public:
    // Room for `fixes` points, so that a long log is not copied as it grows; the pages not
    // written to take no memory.
    void reserve(qint64 fixes);
    void add(const Sentence &s);
    void finish();

    Track track{0, 1, {}};
    qint64 noFix = 0; // fixes the receiver marked invalid, or without a position
    bool dated = true;

private:
    struct Fix
    {
        qint64 ms = -1;
        qint64 day = NoDay;
        double lat = 0, lon = 0, altitude = 0, kmh = 0;
        bool placed = false, hasAltitude = false, hasSpeed = false, invalid = false;
    };
    // The fix at this time of day, the one under way or a new one.
    Fix &at(qint64 ms);
    void place(QByteArrayView lat, QByteArrayView ns, QByteArrayView lon, QByteArrayView ew);
    void speed(QByteArrayView f, double factor);
    void flush();
    void rmc(const Sentence &s);
    void gga(const Sentence &s);
    void gll(const Sentence &s);
    void vtg(const Sentence &s);

    Fix current;
    std::vector<qint64> days, times; // per point
    std::vector<bool> speeds;
};

NmeaReader::Fix &NmeaReader::at(qint64 ms)
{
    if (current.ms != ms) {
        flush();
        current = Fix();
        current.ms = ms;
    }
    return current;
}

void NmeaReader::place(QByteArrayView lat, QByteArrayView ns, QByteArrayView lon, QByteArrayView ew)
{
    double a = 0, o = 0;
    if (current.placed || !coordinate(lat, ns, &a) || !coordinate(lon, ew, &o))
        return;
    current.lat = a;
    current.lon = o;
    current.placed = true;
}

void NmeaReader::speed(QByteArrayView f, double factor)
{
    double v = 0;
    if (!current.hasSpeed && number(f, &v) && v >= 0 && v * factor < 20000) {
        current.kmh = v * factor;
        current.hasSpeed = true;
    }
}

void NmeaReader::rmc(const Sentence &s)
{
    qint64 ms = 0;
    if (!timeOfDay(s[0], &ms))
        return;
    Fix &f = at(ms);
    qint64 day = 0;
    if (dayOf(s[8], &day))
        f.day = day;
    // Status V, or the mode N of NMEA 2.3, is no fix.
    if (s[1] != "A" || s[11] == "N") {
        f.invalid = true;
        return;
    }
    place(s[2], s[3], s[4], s[5]);
    speed(s[6], 1.852);
}

void NmeaReader::gga(const Sentence &s)
{
    qint64 ms = 0;
    if (!timeOfDay(s[0], &ms))
        return;
    Fix &f = at(ms);
    if (s[5].isEmpty() || s[5] == "0") {
        f.invalid = true;
        return;
    }
    place(s[1], s[2], s[3], s[4]);
    double altitude = 0;
    if (!f.hasAltitude && number(s[8], &altitude) && TrackInput::isAltitude(altitude)) {
        f.altitude = altitude;
        f.hasAltitude = true;
    }
}

void NmeaReader::gll(const Sentence &s)
{
    qint64 ms = 0;
    if (!timeOfDay(s[4], &ms))
        return;
    Fix &f = at(ms);
    if ((!s[5].isEmpty() && s[5] != "A") || s[6] == "N") {
        f.invalid = true;
        return;
    }
    place(s[0], s[1], s[2], s[3]);
}

void NmeaReader::vtg(const Sentence &s)
{
    // No time of its own: it belongs to the fix under way. "T"-lettered since NMEA 2.0.
    if (current.ms < 0 || current.invalid)
        return;
    if (s[1] == "T")
        s[6].isEmpty() ? speed(s[4], 1.852) : speed(s[6], 1);
    else
        s[3].isEmpty() ? speed(s[2], 1.852) : speed(s[3], 1);
}

void NmeaReader::reserve(qint64 fixes)
{
    track.points.reserve(qsizetype(fixes));
    days.reserve(size_t(fixes));
    times.reserve(size_t(fixes));
    speeds.reserve(size_t(fixes));
}

void NmeaReader::add(const Sentence &s)
{
    if (s.type == "RMC")
        rmc(s);
    else if (s.type == "GGA")
        gga(s);
    else if (s.type == "GLL")
        gll(s);
    else if (s.type == "VTG")
        vtg(s);
}

void NmeaReader::flush()
{
    if (current.ms < 0)
        return;
    if (current.invalid || !current.placed) {
        ++noFix;
        current.ms = -1;
        return;
    }
    TrackPoint p;
    p.position = Vec3(current.lat, current.lon, current.hasAltitude ? current.altitude : 0);
    p.flags = current.hasAltitude ? 0 : TrackPoint::NoAltitude;
    p.speed = current.hasSpeed ? quint32(std::lround(current.kmh * 100)) : 0;
    if (current.hasAltitude)
        track.format = 2;
    track.points.append(p);
    days.push_back(current.day);
    times.push_back(current.ms);
    speeds.push_back(current.hasSpeed);
    current.ms = -1;
}

void NmeaReader::finish()
{
    flush();
    const qsizetype n = track.points.size();
    qsizetype first = 0;
    while (first < n && days[size_t(first)] == NoDay)
        ++first;
    dated = first < n || n == 0;
    // Forward from the first date given, a day on at each midnight no sentence dated; back
    // from it for the fixes before.
    for (qsizetype i = first + 1; i < n; ++i)
        if (days[size_t(i)] == NoDay)
            days[size_t(i)] =
                days[size_t(i - 1)] +
                (TrackInput::pastMidnight(times[size_t(i - 1)], times[size_t(i)]) ? 1 : 0);
    for (qsizetype i = first - 1; i >= 0 && first < n; --i)
        days[size_t(i)] =
            days[size_t(i + 1)] -
            (TrackInput::pastMidnight(times[size_t(i)], times[size_t(i + 1)]) ? 1 : 0);
    for (qsizetype i = 0; i < n; ++i) {
        TrackPoint &p = track.points[i];
        const qint64 seconds = dated ? days[size_t(i)] * 86400 + times[size_t(i)] / 1000 : -1;
        if (seconds < 0 || seconds > std::numeric_limits<quint32>::max()) {
            TrackInput::setNoTime(p);
            continue;
        }
        p.time = quint32(seconds);
        p.millis = quint16(times[size_t(i)] % 1000);
    }
    TrackInput::fillSpeeds(track, QVector<bool>(speeds.begin(), speeds.end()));
    track.startTime = TrackInput::firstTime(track);
}
} // namespace

bool FileFormatNMEA::read(QVector<Track> &tracks, const QString &fileName)
{
    TrackInput::LineFile file(fileName);
    QString why;
    if (!file.open(&why))
        return fail(tr("Cannot open %1: %2").arg(fileName, why));
    NmeaReader reader;
    // A fix takes a sentence of 32 bytes at the least: no more room than the file's size says.
    reader.reserve(std::min(file.lineCount(), QFileInfo(fileName).size() / 32 + 1));
    qint64 sentences = 0, bad = 0;
    QList<qint64> badLines;
    QByteArrayView line;
    Sentence s;
    while (file.next(&line)) {
        const Parsed parsed = parse(line, &s);
        if (parsed == Parsed::BadChecksum) {
            if (++bad <= 6)
                badLines << file.number;
        } else if (parsed == Parsed::Sentence) {
            ++sentences;
            reader.add(s);
        }
    }
    if (sentences == 0 && bad == 0)
        return fail(tr("%1 cannot be read: it holds no NMEA sentences.").arg(fileName));
    reader.finish();
    note.clear();
    if (bad > 0)
        addNote(TrackInput::linesNote(
            QT_TRANSLATE_NOOP("FileFormat",
                              "Sentences with a wrong checksum, left out: %1 (lines %2)."),
            bad, badLines));
    if (reader.noFix > 0)
        addNote(tr("Fixes the receiver marked invalid or gave no position, left out: %1.")
                    .arg(reader.noFix));
    if (!reader.dated)
        addNote(tr("No RMC sentence gives a date: the points have no time."));
    QVector<Track> found;
    if (!reader.track.points.isEmpty())
        found << std::move(reader.track);
    return deliver(tracks, found, 0, fileName);
}

QString FileFormatNMEA::keeps() const
{
    return tr("NMEA (read only) gives times, positions, altitudes and speeds of the fixes.");
}
