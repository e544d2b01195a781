#ifndef POINTFORMAT_H
#define POINTFORMAT_H

#include <QDateTime>
#include <QString>
#include <QtGlobal>

#include "model/units.h"

// Texts the track view shows for points and tracks.
namespace PointFormat {

enum Kind
{
    Latitude = 1,
    Longitude = 2
};

// Degrees, minutes and seconds with the hemisphere, e.g. 47°36'7.4103" N. The
// value is single precision, as the view has always passed it.
QString formatDegrees(float value, int kind);

QString speedText(quint32 speed, SpeedUnit unit); // "12.34 km/hr" or "7.67 mi/hr"
QString altitudeText(double z, HeightUnit unit);  // "123.46 m" or "405.04 feet"

// A point's time in local time or in UTC.
QDateTime pointDateTime(quint32 time, TimeShown shown);

// "1.2009-04-11 - 13:45:00": track number and start in the time shown; "1.no time" for a
// track without times.
QString trackLabel(quint32 startTime, int index, TimeShown shown);
// "3.2009-04-11 - 13:46:15": list position + 1 and the point's time.
QString pointLabel(int position, quint32 time, TimeShown shown);
// "2.2009-04-12 - 08:00:05 #0": track number, time, mark number.
QString markLabel(int trackIndex, quint32 time, TimeShown shown, int markNumber);
// markLabel for marks numbered first, first + step, ... in the order of `times`, made quickly.
QStringList markLabels(int trackIndex, const QVector<quint32> &times, TimeShown shown,
                       int first = 0, int step = 1);

} // namespace PointFormat

#endif // POINTFORMAT_H
