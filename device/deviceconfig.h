#ifndef DEVICECONFIG_H
#define DEVICECONFIG_H

#include <QByteArray>
#include <QtGlobal>

// The logger's configuration record. Fields not shown to the user are kept so
// that a write passes them back unchanged.
struct DeviceConfig
{
    quint8 logFormat = 0;             // 1: position, time, date, speed; 2: plus altitude
    quint8 speedThresholdEnabled = 0; // stop logging below speedThreshold
    qint32 speedThreshold = 0;        // 0.01 km/h
    quint8 radiusEnabled = 0;         // stop logging inside radius
    qint32 radius = 0;                // metres
    qint32 timeInterval = 0;          // milliseconds
    quint32 value16 = 0;
    quint32 value20 = 0;
    quint8 intervalMode = 0; // 0 = by time, otherwise by distance
    quint8 byte27 = 0;
    quint8 byte28 = 0;
    qint32 distanceInterval = 0; // metres
    quint32 value33 = 0;
    quint32 value37 = 0;
    quint8 waasEnabled = 0;
    qint8 memoryUsage = 0; // percent in use; read only

    static constexpr int ReplyMinSize = 44; // payload bytes of a read reply
    static constexpr int RequestSize = 43;  // payload bytes of a write request

    // Decodes a read reply payload (byte 0 = 0xB7) of at least ReplyMinSize bytes.
    static DeviceConfig fromReply(const uchar *payload);
    // The write request payload (byte 0 = 0xB8). Bytes 24-25 are not part of
    // the record; the caller passes what the last read reply held there.
    QByteArray toRequest(quint8 byte24, quint8 byte25) const;
};

bool operator==(const DeviceConfig &a, const DeviceConfig &b);
inline bool operator!=(const DeviceConfig &a, const DeviceConfig &b)
{
    return !(a == b);
}

#endif // DEVICECONFIG_H
