#include "device/deviceconfigform.h"

#include <QCoreApplication>

#include <limits>

DeviceConfigForm DeviceConfigForm::fromConfig(const DeviceConfig &config)
{
    DeviceConfigForm form;
    form.logFormat = config.logFormat == 1 || config.logFormat == 2 ? config.logFormat : 0;
    form.waasEnabled = config.waasEnabled != 0;
    form.speedThresholdEnabled = config.speedThresholdEnabled != 0;
    form.radiusEnabled = config.radiusEnabled != 0;
    form.intervalMode = config.intervalMode != 0 ? 1 : 0;
    // Shown in whole km/h and whole seconds, truncated toward zero.
    form.speedThreshold = QString::number(config.speedThreshold / 100);
    form.radius = QString::number(config.radius);
    form.timeInterval = QString::number(config.timeInterval / 1000);
    form.distanceInterval = QString::number(config.distanceInterval);
    return form;
}

bool DeviceConfigForm::applyTo(DeviceConfig &config, QString *message, Field *field) const
{
    if (logFormat == 1 || logFormat == 2)
        config.logFormat = quint8(logFormat);
    config.waasEnabled = waasEnabled ? 1 : 0;
    config.speedThresholdEnabled = speedThresholdEnabled ? 1 : 0;
    config.radiusEnabled = radiusEnabled ? 1 : 0;
    if (intervalMode == 0 || intervalMode == 1)
        config.intervalMode = quint8(intervalMode);

    bool ok;
    const int speed = speedThreshold.trimmed().toInt(&ok);
    if (ok && qAbs(qint64(speed) * 100) <= std::numeric_limits<qint32>::max())
        config.speedThreshold = speed * 100;
    const int r = radius.trimmed().toInt(&ok);
    if (ok)
        config.radius = r;

    const int seconds = timeInterval.trimmed().toInt(&ok);
    if (ok) {
        if (seconds < 1 || seconds > 1800) {
            if (message)
                *message = QCoreApplication::translate("DeviceSettingDialog",
                                                       "The value range is 1 ~ 1800");
            if (field)
                *field = TimeIntervalField;
            return false;
        }
        config.timeInterval = seconds * 1000;
    }
    const int metres = distanceInterval.trimmed().toInt(&ok);
    if (ok) {
        if (config.intervalMode == 1 && (metres < 1 || metres > 5000)) {
            if (message)
                *message = QCoreApplication::translate("DeviceSettingDialog",
                                                       "The value range is 1 ~ 5000");
            if (field)
                *field = DistanceIntervalField;
            return false;
        }
        config.distanceInterval = metres;
    }
    if (field)
        *field = NoField;
    return true;
}
