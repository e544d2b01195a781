#include "formats/trackinput.h"

#include "analysis/tripstats.h"

#include <QCoreApplication>
#include <QDateTime>

#include <cmath>

namespace TrackInput {

namespace {
constexpr qint64 MaxTag = 1 << 20;
constexpr qint64 MaxText = qint64(256) << 20;
constexpr qint64 Chunk = 1 << 16;

bool number(QStringView text, double lo, double hi, double *value)
{
    bool ok = false;
    const double v = text.trimmed().toDouble(&ok);
    if (!ok || !std::isfinite(v) || v < lo || v > hi)
        return false;
    *value = v;
    return true;
}
} // namespace

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

quint32 isoTime(QStringView text)
{
    QString t = text.trimmed().toString();
    QDateTime when = QDateTime::fromString(t, Qt::ISODateWithMs);
    if (!when.isValid())
        return 0;
    if (when.timeSpec() == Qt::LocalTime) // no zone given: GPX and KML times are UTC
        when.setTimeSpec(Qt::UTC);
    const qint64 secs = when.toSecsSinceEpoch();
    return secs > 0 && secs <= qint64(0xFFFFFFFFu) ? quint32(secs) : 0;
}

void fillSpeeds(Track &track, const QVector<bool> &hasSpeed)
{
    QVector<TrackPoint> &p = track.points;
    for (int i = 1; i < p.size(); ++i) {
        if (hasSpeed.value(i) || p[i].time == 0 || p[i - 1].time == 0 || p[i].time <= p[i - 1].time)
            continue;
        const double kmh = TripAnalysis::geodesicLength(p[i - 1].position, p[i].position) /
                           double(p[i].time - p[i - 1].time) * 3.6;
        if (std::isfinite(kmh) && kmh < 4e7)
            p[i].speed = quint32(std::lround(kmh * 100));
    }
}

quint32 firstTime(const Track &track)
{
    for (const TrackPoint &p : track.points)
        if (p.time != 0)
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

QString tr(const char *text)
{
    return QCoreApplication::translate("FileFormat", text);
}

bool XmlFile::open(QString *error)
{
    if (!file.open(QIODevice::ReadOnly)) {
        *error = file.errorString();
        return false;
    }
    xml.setNamespaceProcessing(true);
    return true;
}

bool XmlFile::feed()
{
    const QByteArray chunk = file.read(Chunk);
    if (chunk.isEmpty())
        return false;
    for (char c : chunk) {
        if (c == '<' || c == '>') {
            inTag = c == '<';
            run = 0;
        } else if (++run > (inTag ? MaxTag : MaxText)) {
            problem = inTag ? QStringLiteral("a tag is longer than 1 MB")
                            : QStringLiteral("a text is longer than 256 MB");
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
            if (problem.isEmpty() && file.error() != QFileDevice::NoError)
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
