#include "view/pointformat.h"

#include "formats/fixedtext.h"

#include <cmath>

namespace PointFormat {

namespace {
// Both conversions keep their constants in single precision, as they always have.
constexpr float KmPerMile = 1.609344f;
constexpr float FeetPerMetre = 3.28084f;
const QString LabelPattern = QStringLiteral("yyyy-MM-dd - hh:mm:ss");
} // namespace

QString formatDegrees(float value, int kind)
{
    // A damaged value shows as nothing rather than as an integer it cannot be.
    if ((kind != Latitude && kind != Longitude) || !std::isfinite(value))
        return QString();
    const double v = value;
    const double d = std::trunc(v);
    const double mf = (v - d) * 60;
    const double m = std::trunc(mf);
    const double s = (mf - m) * 60;
    QString pattern;
    if (kind == Latitude)
        pattern = v >= 0 ? QStringLiteral("%1%2%3'%4\" N") : QStringLiteral("%1%2%3'%4\" S");
    else
        pattern = v >= 0 ? QStringLiteral("%1%2%3'%4\" E") : QStringLiteral("%1%2%3'%4\" W");
    return pattern.arg(qint64(std::fabs(d)))
        .arg(QChar(0x00B0))
        .arg(qint64(std::fabs(m)))
        .arg(fixedText(std::fabs(s), 4));
}

QString speedText(quint32 speed, int speedUnit)
{
    if (speedUnit == 0)
        return QStringLiteral("%1 km/hr").arg(fixedText(speed / 100.0, 2));
    return QStringLiteral("%1 mi/hr").arg(fixedText(speed / 100.0 / double(KmPerMile), 2));
}

QString altitudeText(double z, int heightUnit)
{
    if (heightUnit == 0)
        return QStringLiteral("%1 m").arg(fixedText(z, 2));
    return QStringLiteral("%1 feet").arg(fixedText(double(float(z) * FeetPerMetre), 2));
}

QDateTime pointDateTime(quint32 time, int timeSwitch)
{
    const QDateTime local = QDateTime::fromSecsSinceEpoch(qint64(time), Qt::LocalTime);
    return timeSwitch == 0 ? local.toUTC() : local;
}

QString trackLabel(quint32 startTime, int index)
{
    return QStringLiteral("%1.").arg(index + 1) +
           QDateTime::fromSecsSinceEpoch(qint64(startTime), Qt::LocalTime).toString(LabelPattern);
}

QString pointLabel(int position, quint32 time, int timeSwitch)
{
    return QStringLiteral("%1.").arg(position + 1) +
           pointDateTime(time, timeSwitch).toString(LabelPattern);
}

QString markLabel(int trackIndex, quint32 time, int timeSwitch, int markNumber)
{
    return QStringLiteral("%1.").arg(trackIndex + 1) +
           pointDateTime(time, timeSwitch).toString(LabelPattern) +
           QStringLiteral(" #%1").arg(markNumber);
}

} // namespace PointFormat
