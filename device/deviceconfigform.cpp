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

namespace {
// A whole number from a field; false when it holds none (an empty field keeps the value).
bool fieldValue(const QString &text, int *value)
{
    bool ok = false;
    *value = text.trimmed().toInt(&ok);
    return ok;
}

bool outOfRange(const char *text, DeviceConfigForm::Field which, QString *message,
                DeviceConfigForm::Field *field)
{
    if (message)
        *message = QCoreApplication::translate("DeviceSettingDialog", text);
    if (field)
        *field = which;
    return false;
}
} // namespace

bool DeviceConfigForm::applyTo(DeviceConfig &config, QString *message, Field *field) const
{
    if (logFormat == 1 || logFormat == 2)
        config.logFormat = quint8(logFormat);
    config.waasEnabled = waasEnabled ? 1 : 0;
    config.speedThresholdEnabled = speedThresholdEnabled ? 1 : 0;
    config.radiusEnabled = radiusEnabled ? 1 : 0;
    if (intervalMode == 0 || intervalMode == 1)
        config.intervalMode = quint8(intervalMode);

    int value = 0;
    if (fieldValue(speedThreshold, &value) &&
        qAbs(qint64(value) * 100) <= std::numeric_limits<qint32>::max())
        config.speedThreshold = value * 100;
    if (fieldValue(radius, &value))
        config.radius = value;
    if (fieldValue(timeInterval, &value)) {
        if (value < 1 || value > 1800)
            return outOfRange("The value range is 1 ~ 1800", TimeIntervalField, message, field);
        config.timeInterval = value * 1000;
    }
    if (fieldValue(distanceInterval, &value)) {
        if (config.intervalMode == 1 && (value < 1 || value > 5000))
            return outOfRange("The value range is 1 ~ 5000", DistanceIntervalField, message, field);
        config.distanceInterval = value;
    }
    if (field)
        *field = NoField;
    return true;
}
