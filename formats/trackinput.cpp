#include "formats/trackinput.h"

#include "analysis/tripstats.h"
#include "model/conversions.h"

#include <QCoreApplication>
#include <QDateTime>
#include <QRegularExpression>

#include <algorithm>
#include <charconv>
#include <cmath>
#include <cstring>

namespace TrackInput {

namespace {
constexpr qint64 MaxTag = 1 << 20;
constexpr qint64 MaxText = qint64(256) << 20;
constexpr qint64 Chunk = 1 << 16;
constexpr int MaxAttributes = 512;

bool number(QStringView text, double lo, double hi, double *value)
{
    double v = 0;
    if (!decimal(text, &v) || v < lo || v > hi)
        return false;
    *value = v;
    return true;
}
} // namespace

bool decimal(QStringView text, double *value, QChar point)
{
    text = text.trimmed();
    if (text.startsWith(QLatin1Char('+')))
        text = text.mid(1);
    char ascii[64];
    if (text.isEmpty() || text.size() >= qsizetype(sizeof ascii))
        return false; // no decimal number a track holds is this long
    for (qsizetype i = 0; i < text.size(); ++i) {
        const char16_t c = text[i].unicode();
        if (c == point.unicode())
            ascii[i] = '.';
        else if ((c >= '0' && c <= '9') || c == '-' || c == 'e' || c == 'E' || c == '.')
            ascii[i] = char(c); // no "inf", "nan" or hex
        else
            return false;
    }
    double v = 0;
    const char *end = ascii + text.size();
    const std::from_chars_result r = std::from_chars(ascii, end, v);
    if (r.ec != std::errc() || r.ptr != end || !std::isfinite(v))
        return false;
    *value = v;
    return true;
}

bool isLatitude(double v)
{
    return std::isfinite(v) && v >= -90 && v <= 90;
}

bool isLongitude(double v)
{
    return std::isfinite(v) && v >= -180 && v <= 180;
}

bool isAltitude(double v)
{
    return std::isfinite(v) && v >= -100000 && v <= 1000000;
}

bool latitude(QStringView text, double *value)
{
    return number(text, -90, 90, value);
}

bool longitude(QStringView text, double *value)
{
    return number(text, -180, 180, value);
}

bool altitude(QStringView text, double *value)
{
    return number(text, -100000, 1000000, value);
}

namespace {
int twoDigits(QStringView s, qsizetype at)
{
    const char16_t a = s[at].unicode(), b = s[at + 1].unicode();
    if (a < '0' || a > '9' || b < '0' || b > '9')
        return -1;
    return (a - '0') * 10 + (b - '0');
}

// The form nearly every file writes, "2009-06-01T10:00:00Z" with or without a fraction, read
// directly; -1 for anything else, which QDateTime then reads (several times slower).
qint64 plainUtcMillis(QStringView t)
{
    if (t.size() < 20 || t.back() != QLatin1Char('Z') || t[4] != QLatin1Char('-') ||
        t[7] != QLatin1Char('-') || t[10] != QLatin1Char('T') || t[13] != QLatin1Char(':') ||
        t[16] != QLatin1Char(':'))
        return -1;
    const int c = twoDigits(t, 0), y = twoDigits(t, 2), mo = twoDigits(t, 5), d = twoDigits(t, 8);
    const int h = twoDigits(t, 11), mi = twoDigits(t, 14), sec = twoDigits(t, 17);
    if (c < 0 || y < 0 || h < 0 || h > 23 || mi < 0 || mi > 59 || sec < 0 || sec > 59 ||
        !validCivilDate(c * 100 + y, mo, d))
        return -1;
    int ms = 0;
    if (t.size() > 20) { // a fraction: ".d" to ".ddd..." (rounded down to the millisecond)
        if (t[19] != QLatin1Char('.') || t.size() == 21)
            return -1;
        for (qsizetype i = 20, scale = 100; i < t.size() - 1; ++i, scale /= 10) {
            const char16_t ch = t[i].unicode();
            if (ch < '0' || ch > '9')
                return -1;
            ms += int(scale) * (ch - '0');
        }
    }
    const qint64 days = daysFromCivil(c * 100 + y, mo, d);
    return ((days * 24 + h) * 60 + mi) * 60000 + sec * 1000 + ms;
}
} // namespace

namespace {
qint64 isoMillis(QStringView text)
{
    const qint64 plain = plainUtcMillis(text);
    if (plain >= 0)
        return plain;
    // No zone given: GPX and KML times are UTC. Read as such directly (as local time first,
    // one the computer's clock change skips would be no time at all).
    QDateTime when = QDateTime::fromString(text.toString() + QLatin1Char('Z'), Qt::ISODateWithMs);
    if (!when.isValid())
        when = QDateTime::fromString(text.toString(), Qt::ISODateWithMs);
    if (!when.isValid() || when.timeSpec() == Qt::LocalTime)
        return -1;
    return when.toMSecsSinceEpoch();
}
} // namespace

quint32 isoTime(QStringView text, quint16 *millis, bool *ok)
{
    const qint64 ms = isoMillis(text.trimmed());
    const bool fits = ms >= 0 && ms / 1000 <= qint64(0xFFFFFFFFu);
    if (ok)
        *ok = fits;
    if (!fits)
        return 0;
    if (millis)
        *millis = quint16(ms % 1000);
    return quint32(ms / 1000);
}

void setNoTime(TrackPoint &p)
{
    p.time = 0;
    p.millis = 0;
    p.flags |= TrackPoint::NoTime;
}

void fillSpeeds(Track &track, const QVector<bool> &hasSpeed)
{
    for (int i = 0; i < track.points.size(); ++i) {
        if (hasSpeed.value(i))
            continue;
        track.points[i].speed = 0;
        track.points[i].flags |= TrackPoint::NoSpeed;
    }
    TripAnalysis::workOutSpeeds(track);
}

quint32 firstTime(const Track &track)
{
    for (const TrackPoint &p : track.points)
        if (p.hasTime())
            return p.time;
    return 0;
}

quint32 ownStartTime(const QString &name, Qt::TimeSpec zone)
{
    if (!name.startsWith(QLatin1String("LX-300 DataLog-")))
        return 0;
    const QDateTime t = QDateTime::fromString(name.section(QLatin1Char(' '), 2, 3),
                                              QStringLiteral("yyyy-MM-dd hh:mm:ss"));
    if (!t.isValid())
        return 0;
    const qint64 secs = QDateTime(t.date(), t.time(), zone).toSecsSinceEpoch();
    return secs > 0 && secs <= qint64(0xFFFFFFFFu) ? quint32(secs) : 0;
}

bool isOwnName(const QString &name)
{
    static const QRegularExpression own(
        QStringLiteral("^LX-300 DataLog-\\d+( \\d{4}-\\d\\d-\\d\\d \\d\\d:\\d\\d:\\d\\d)?$"));
    return own.match(name).hasMatch();
}

QString tr(const char *text)
{
    return QCoreApplication::translate("FileFormat", text);
}

Sensor sensorNamed(QStringView n)
{
    const auto is = [n](const char *name) {
        return n.compare(QLatin1String(name), Qt::CaseInsensitive) == 0;
    };
    if (is("hr") || is("heartrate") || is("heart_rate"))
        return Sensor::HeartRate;
    if (is("cad") || is("cadence") || is("RunCadence"))
        return Sensor::Cadence;
    if (is("atemp") || is("temp") || is("temperature"))
        return Sensor::Temperature;
    if (is("power") || is("PowerInWatts") || is("Watts"))
        return Sensor::Power;
    return Sensor::None;
}

bool setSensor(TrackPoint &p, Sensor s, double v, int *rounded)
{
    if (!std::isfinite(v))
        return false;
    switch (s) {
    case Sensor::HeartRate:
        if (v < 1 || v > 254)
            return false;
        p.heartRate = quint8(std::lround(v));
        return true;
    case Sensor::Cadence:
        if (v < 0 || v > 254)
            return false;
        p.cadence = quint8(std::lround(v));
        return true;
    case Sensor::Temperature:
        if (v < -127 || v > 127)
            return false;
        p.temperature = qint8(std::lround(v));
        if (rounded && double(p.temperature) != v)
            ++*rounded;
        return true;
    case Sensor::Power:
        if (v < 0 || v > 65534)
            return false;
        p.power = quint16(std::lround(v));
        return true;
    case Sensor::None:
        break;
    }
    return false;
}

bool setSensor(TrackPoint &p, Sensor s, QStringView text, int *rounded)
{
    double v = 0;
    return decimal(text, &v) && setSensor(p, s, v, rounded);
}

QString linesNote(const char *what, qint64 count, const QList<qint64> &lines)
{
    QStringList shown;
    for (qint64 l : lines.mid(0, 5))
        shown << QString::number(l);
    return tr(what).arg(count).arg(shown.join(QStringLiteral(", ")) +
                                   (lines.size() > 5 ? QStringLiteral(", …") : QString()));
}

bool LineFile::open(QString *error)
{
    if (!file.open(QIODevice::ReadOnly)) {
        *error = file.errorString();
        return false;
    }
    const qint64 size = file.size();
    if (size == 0)
        return true;
    if (uchar *mapped = file.map(0, size)) {
        at = reinterpret_cast<const char *>(mapped);
        end = at + size;
    } else {
        copy = file.readAll(); // a pipe or a file system that cannot map
        if (file.error() != QFileDevice::NoError) {
            *error = file.errorString();
            return false;
        }
        at = copy.constData();
        end = at + copy.size();
    }
    // An old Mac file ends its lines with \r alone: seen in its first 64 KB.
    const size_t head = size_t(std::min<qint64>(end - at, 1 << 16));
    if (!std::memchr(at, '\n', head) && std::memchr(at, '\r', head))
        separator = '\r';
    return true;
}

qint64 LineFile::lineCount() const
{
    qint64 lines = 0;
    for (const char *p = at; p && p < end; ++lines) {
        const void *stop = std::memchr(p, separator, size_t(end - p));
        p = stop ? static_cast<const char *>(stop) + 1 : end;
    }
    return lines;
}

bool LineFile::next(QByteArrayView *line)
{
    if (at == nullptr || at >= end)
        return false;
    const char *stop = static_cast<const char *>(std::memchr(at, separator, size_t(end - at)));
    const char *lineEnd = stop ? stop : end;
    *line = QByteArrayView(at, lineEnd - at);
    if (!line->isEmpty() && line->back() == '\r') // \r\n
        line->chop(1);
    at = std::min(end, lineEnd + 1);
    ++number;
    return true;
}

bool XmlFile::open(QString *error)
{
    if (!device->isOpen() && !device->open(QIODevice::ReadOnly)) {
        *error = device->errorString();
        return false;
    }
    xml.setNamespaceProcessing(true);
    return true;
}

bool XmlFile::feed()
{
    const QByteArray chunk = device->read(Chunk);
    if (chunk.isEmpty())
        return false;
    for (char c : chunk) {
        if (c == '<' || c == '>') {
            inTag = c == '<';
            run = 0;
            attributes = 0;
        } else if (++run > (inTag ? MaxTag : MaxText)) {
            problem = inTag ? QStringLiteral("a tag is longer than 1 MB")
                            : QStringLiteral("a text is longer than 256 MB");
            return false;
        } else if (c == '=' && inTag && ++attributes > MaxAttributes) {
            // The stream reader checks each attribute against all before it: thousands on
            // one tag would take minutes.
            problem = QStringLiteral("a tag has more than %1 attributes").arg(MaxAttributes);
            return false;
        }
    }
    xml.addData(chunk);
    return true;
}

QXmlStreamReader::TokenType XmlFile::next()
{
    for (;;) {
        if (!problem.isEmpty())
            return QXmlStreamReader::Invalid;
        const QXmlStreamReader::TokenType token = xml.readNext();
        if (token != QXmlStreamReader::Invalid ||
            xml.error() != QXmlStreamReader::PrematureEndOfDocumentError)
            return token;
        if (!feed()) {
            if (problem.isEmpty() && device == &file && file.error() != QFileDevice::NoError)
                problem = file.errorString();
            // At the end of the file an unfinished document stays an error.
            return QXmlStreamReader::Invalid;
        }
    }
}

QXmlStreamReader::TokenType XmlFile::nextTag()
{
    text.truncate(0); // keeps its room: a value per tag, millions of tags
    atRoot = false;
    for (;;) {
        const QXmlStreamReader::TokenType token = next();
        if (token == QXmlStreamReader::Characters) {
            // Whitespace between tags is nobody's value (every value is read trimmed).
            if (!xml.isWhitespace())
                text += xml.text();
        } else if (token == QXmlStreamReader::StartElement) {
            atRoot = !tagSeen;
            tagSeen = true;
            return token;
        } else if (token == QXmlStreamReader::EndElement || token == QXmlStreamReader::Invalid) {
            return token;
        } else if (token == QXmlStreamReader::EndDocument) {
            return QXmlStreamReader::Invalid; // the end: nothing more is read
        }
    }
}

QString XmlFile::failure() const
{
    const QString what = problem.isEmpty() ? xml.errorString() : problem;
    return QStringLiteral("line %1: %2").arg(xml.lineNumber()).arg(what);
}

} // namespace TrackInput
