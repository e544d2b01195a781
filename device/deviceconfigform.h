#ifndef DEVICECONFIGFORM_H
#define DEVICECONFIGFORM_H

#include "device/deviceconfig.h"

#include <QString>

// The logger's settings as the user sees and edits them: whole km/h and whole
// seconds as text, the interval mode as a choice. The settings dialog and the
// command-line tool both go through it, so they apply the same rules.
struct DeviceConfigForm
{
    enum Field
    {
        NoField,
        TimeIntervalField,
        DistanceIntervalField
    };

    int logFormat = 0; // 1 or 2; 0 = neither chosen (the record keeps its value)
    bool waasEnabled = false;
    bool speedThresholdEnabled = false;
    bool radiusEnabled = false;
    int intervalMode = -1;    // 0 = by time, 1 = by distance, -1 = neither chosen
    QString speedThreshold;   // km/h
    QString radius;           // m
    QString timeInterval;     // s
    QString distanceInterval; // m

    static DeviceConfigForm fromConfig(const DeviceConfig &config);

    // Writes the form into `config`, as Apply does: texts that are not a
    // number leave their field as it was. A time interval outside 1..1800 s,
    // or a distance interval outside 1..5000 m in distance mode, stops with
    // the message to show and the field at fault; the fields before it have
    // been written by then.
    bool applyTo(DeviceConfig &config, QString *message, Field *field) const;
};

#endif // DEVICECONFIGFORM_H
