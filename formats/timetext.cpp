#include "formats/timetext.h"

#include <QDateTime>
#include <QTimeZone>

#include <limits>

namespace {

void civilFromDays(qint64 z, int &y, int &m, int &d)
{
    z += 719468;
    const qint64 era = (z >= 0 ? z : z - 146096) / 146097;
    const qint64 doe = z - era * 146097;
    const qint64 yoe = (doe - doe / 1460 + doe / 36524 - doe / 146096) / 365;
    const qint64 doy = doe - (365 * yoe + yoe / 4 - yoe / 100);
    const qint64 mp = (5 * doy + 2) / 153;
    d = int(doy - (153 * mp + 2) / 5 + 1);
    m = int(mp < 10 ? mp + 3 : mp - 9);
    y = int(yoe + era * 400 + (m <= 2));
}

void append2(QByteArray &out, int v)
{
    out.append(char('0' + v / 10));
    out.append(char('0' + v % 10));
}

void append4(QByteArray &out, int v)
{
    if (v < 0 || v > 9999) {
        out.append(QByteArray::number(v));
        return;
    }
    append2(out, v / 100);
    append2(out, v % 100);
}

} // namespace

qint64 TimeText::offsetFor(qint64 epoch)
{
    if (!local)
        return 0;
    if (epoch >= validFrom && epoch < validUntil)
        return cachedOffset;
    const QDateTime at = QDateTime::fromSecsSinceEpoch(epoch, Qt::LocalTime);
    cachedOffset = at.offsetFromUtc();
    const QTimeZone zone = QTimeZone::systemTimeZone();
    const QDateTime utc = at.toUTC();
    const QDateTime previous = zone.previousTransition(utc.addSecs(1)).atUtc;
    const QDateTime next = zone.nextTransition(utc).atUtc;
    validFrom =
        previous.isValid() ? previous.toSecsSinceEpoch() : std::numeric_limits<qint64>::min();
    validUntil = next.isValid() ? next.toSecsSinceEpoch() : std::numeric_limits<qint64>::max();
    return cachedOffset;
}

TimeText::Fields TimeText::fields(quint32 epoch)
{
    const qint64 t = qint64(epoch) + offsetFor(epoch);
    qint64 days = t / 86400;
    qint64 secs = t % 86400;
    if (secs < 0) {
        secs += 86400;
        --days;
    }
    Fields f;
    civilFromDays(days, f.year, f.month, f.day);
    f.hour = int(secs / 3600);
    f.minute = int(secs / 60 % 60);
    f.second = int(secs % 60);
    return f;
}

void TimeText::appendDate(QByteArray &out, quint32 epoch)
{
    const Fields f = fields(epoch);
    append4(out, f.year);
    out.append('-');
    append2(out, f.month);
    out.append('-');
    append2(out, f.day);
}

void TimeText::appendTime(QByteArray &out, quint32 epoch)
{
    const Fields f = fields(epoch);
    append2(out, f.hour);
    out.append(':');
    append2(out, f.minute);
    out.append(':');
    append2(out, f.second);
}

QByteArray TimeText::dateTime(quint32 epoch, char separator)
{
    QByteArray out;
    out.reserve(20);
    appendDate(out, epoch);
    out.append(separator);
    appendTime(out, epoch);
    return out;
}

QByteArray TimeText::isoTime(quint32 epoch, quint16 millis)
{
    QByteArray text = dateTime(epoch, 'T');
    if (millis != 0) // a fraction the file had: kept
        text += '.' + QByteArray::number(millis).rightJustified(3, '0');
    return text + 'Z';
}
