#ifndef CONVERSIONS_H
#define CONVERSIONS_H

#include "model/trackrecords.h"

#include <QtGlobal>

// The date-time type's invalid value; an impossible packed date or time maps to it.
constexpr quint32 InvalidEpoch = 0xFFFFFFFFu;

// Days from 1970-01-01 to a civil date (proleptic Gregorian), and whether a date exists.
qint64 daysFromCivil(qint64 y, qint64 m, qint64 d);
bool validCivilDate(qint64 y, qint64 m, qint64 d);

// Packed date (ddmmyy, year 2000 + yy) and packed UTC time (hhmmss) to seconds
// since 1970. Impossible values give InvalidEpoch.
quint32 packedDateTimeToEpoch(quint32 date, quint32 time);

// Packed latitude (degrees*1e6 + minutes*1e4 + 1/10000 minutes) to degrees.
// The logger flags a mark point by adding 100 degrees; that is stripped and
// reported through `marked`.
double packedLatitudeToDegrees(qint32 value, qint32 *marked);
double packedLongitudeToDegrees(qint32 value);

TrackPoint trackPointFromRecord(const DeviceTrackPoint &record);
TrackPoint trackPointFromRecord(const DeviceTrackPointShort &record);

#endif // CONVERSIONS_H
