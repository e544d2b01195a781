#include "view/pointformat.h"

#include "formats/fixedtext.h"
#include "formats/timetext.h"

#include <QCoreApplication>

#include <cmath>

namespace PointFormat {

namespace {
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

// Both conversions use the single-precision factors, as they always have.
QString speedText(quint32 speed, SpeedUnit unit)
{
    if (unit == SpeedUnit::Kmh)
        return QStringLiteral("%1 km/hr").arg(fixedText(speed / 100.0, 2));
    return QStringLiteral("%1 mi/hr")
        .arg(fixedText(speed / 100.0 / double(Units::KmPerMileSingle), 2));
}

QString altitudeText(double z, HeightUnit unit)
{
    if (unit == HeightUnit::Metres)
        return QStringLiteral("%1 m").arg(fixedText(z, 2));
    return QStringLiteral("%1 feet").arg(
        fixedText(double(float(z) * Units::FeetPerMetreSingle), 2));
}

QDateTime pointDateTime(quint32 time, TimeShown shown)
{
    const QDateTime local = QDateTime::fromSecsSinceEpoch(qint64(time), Qt::LocalTime);
    return shown == TimeShown::Utc ? local.toUTC() : local;
}

QString trackLabel(quint32 startTime, int index, TimeShown shown)
{
    // A track without times has no start to show: 1970 would be made up.
    if (startTime == 0)
        return QStringLiteral("%1.").arg(index + 1) +
               QCoreApplication::translate("TrackTree", "no time");
    return QStringLiteral("%1.").arg(index + 1) +
           pointDateTime(startTime, shown).toString(LabelPattern);
}

QString pointLabel(int position, quint32 time, TimeShown shown)
{
    return QStringLiteral("%1.").arg(position + 1) +
           pointDateTime(time, shown).toString(LabelPattern);
}

QString markLabel(int trackIndex, quint32 time, TimeShown shown, int markNumber)
{
    return QStringLiteral("%1.").arg(trackIndex + 1) +
           pointDateTime(time, shown).toString(LabelPattern) +
           QStringLiteral(" #%1").arg(markNumber);
}

QStringList markLabels(int trackIndex, const QVector<quint32> &times, TimeShown shown, int first,
                       int step)
{
    // The same texts as markLabel, for thousands of marks without a zone lookup each.
    TimeText clock(shown != TimeShown::Utc);
    const QString prefix = QStringLiteral("%1.").arg(trackIndex + 1);
    QStringList labels;
    labels.reserve(times.size());
    QByteArray text;
    for (int j = 0; j < times.size(); ++j) {
        text.clear();
        clock.appendDate(text, times[j]);
        text += " - ";
        clock.appendTime(text, times[j]);
        labels << prefix + QLatin1String(text) + QStringLiteral(" #%1").arg(first + j * step);
    }
    return labels;
}

} // namespace PointFormat
