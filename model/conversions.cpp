#include "model/conversions.h"

namespace {

bool isLeapYear(quint32 year)
{
    return (year % 4 == 0 && year % 100 != 0) || year % 400 == 0;
}

quint32 daysInMonth(quint32 year, quint32 month)
{
    static const quint32 days[12] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
    return month == 2 && isLeapYear(year) ? 29 : days[month - 1];
}

} // namespace

qint64 daysFromCivil(qint64 y, qint64 m, qint64 d)
{
    y -= m <= 2;
    const qint64 era = (y >= 0 ? y : y - 399) / 400;
    const qint64 yoe = y - era * 400;
    const qint64 doy = (153 * (m + (m > 2 ? -3 : 9)) + 2) / 5 + d - 1;
    const qint64 doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
    return era * 146097 + doe - 719468;
}

bool validCivilDate(qint64 y, qint64 m, qint64 d)
{
    return y >= 1 && m >= 1 && m <= 12 && d >= 1 && d <= daysInMonth(quint32(y), quint32(m));
}

namespace {

// Minutes and their fraction of a packed coordinate, as a fraction of a degree.
// C++ division truncates toward zero and the remainder keeps the sign of the
// dividend, so southern and western values come out negative throughout.
double packedMinutesToDegrees(qint32 value)
{
    const qint32 minutes = (value / 10000) % 100;
    const qint32 fraction = value % 10000;
    return (fraction / 10000.0 + minutes) / 60.0;
}

} // namespace

quint32 packedDateTimeToEpoch(quint32 date, quint32 time)
{
    const quint32 hour = time / 10000;
    const quint32 minute = (time / 100) % 100;
    const quint32 second = time % 100;
    const quint32 day = date / 10000;
    const quint32 month = (date / 100) % 100;
    const quint32 year = 2000 + date % 100;

    if (hour >= 24 || minute >= 60 || second >= 60)
        return InvalidEpoch;
    if (month < 1 || month > 12 || day < 1 || day > daysInMonth(year, month))
        return InvalidEpoch;

    const qint64 seconds =
        daysFromCivil(year, month, day) * 86400 + hour * 3600 + minute * 60 + second;
    return quint32(seconds);
}

double packedLatitudeToDegrees(qint32 value, qint32 *marked)
{
    const qint32 wholeDegrees = value / 1000000; // the minutes follow in the low digits
    double degrees = wholeDegrees;
    qint32 flag = 0;
    // Only a positive latitude can carry the +100 degrees mark flag.
    if (degrees >= 100) {
        degrees -= 100;
        flag = 1;
    }
    if (marked)
        *marked = flag;
    return degrees + packedMinutesToDegrees(value);
}

double packedLongitudeToDegrees(qint32 value)
{
    const qint32 wholeDegrees = value / 1000000;
    return wholeDegrees + packedMinutesToDegrees(value);
}

namespace {
// An impossible date is no time, never the invalid value taken as one (2106-02-07).
void setTime(TrackPoint &point, quint32 epoch)
{
    if (epoch == InvalidEpoch)
        point.flags |= TrackPoint::NoTime;
    else
        point.time = epoch;
}
} // namespace

TrackPoint trackPointFromRecord(const DeviceTrackPoint &record)
{
    TrackPoint point;
    point.position.x = packedLatitudeToDegrees(record.latitude, &point.marked);
    point.position.y = packedLongitudeToDegrees(record.longitude);
    point.position.z = record.altitude / 10000.0;
    setTime(point, packedDateTimeToEpoch(record.date, record.time));
    point.speed = record.speed;
    point.field7 = record.field7;
    return point;
}

TrackPoint trackPointFromRecord(const DeviceTrackPointShort &record)
{
    TrackPoint point;
    point.position.x = packedLatitudeToDegrees(record.latitude, &point.marked);
    point.position.y = packedLongitudeToDegrees(record.longitude);
    setTime(point, packedDateTimeToEpoch(record.date, record.time));
    point.speed = record.speed;
    point.flags = TrackPoint::NoAltitude; // log format 1 records none
    return point;
}
