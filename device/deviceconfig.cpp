#include "device/deviceconfig.h"

#include <QtEndian>

namespace {

quint32 u32(const uchar *p, int offset)
{
    return qFromBigEndian<quint32>(p + offset);
}

void put32(uchar *p, int offset, quint32 value)
{
    qToBigEndian(value, p + offset);
}

} // namespace

DeviceConfig DeviceConfig::fromReply(const uchar *p)
{
    DeviceConfig c;
    c.logFormat = p[1];
    c.speedThresholdEnabled = p[2];
    c.speedThreshold = qint32(u32(p, 3));
    c.radiusEnabled = p[7];
    c.radius = qint32(u32(p, 8));
    c.timeInterval = qint32(u32(p, 12));
    c.value16 = u32(p, 16);
    c.value20 = u32(p, 20);
    c.intervalMode = p[26];
    c.byte27 = p[27];
    c.byte28 = p[28];
    c.distanceInterval = qint32(u32(p, 29));
    c.value33 = u32(p, 33);
    c.value37 = u32(p, 37);
    c.waasEnabled = p[42];
    c.memoryUsage = qint8(p[43]);
    return c;
}

QByteArray DeviceConfig::toRequest(quint8 byte24, quint8 byte25) const
{
    QByteArray payload(RequestSize, '\0');
    uchar *p = reinterpret_cast<uchar *>(payload.data());
    p[0] = 0xB8;
    p[1] = logFormat;
    p[2] = speedThresholdEnabled;
    put32(p, 3, quint32(speedThreshold));
    p[7] = radiusEnabled;
    put32(p, 8, quint32(radius));
    put32(p, 12, quint32(timeInterval));
    put32(p, 16, value16);
    put32(p, 20, value20);
    p[24] = byte24;
    p[25] = byte25;
    p[26] = intervalMode;
    p[27] = byte27;
    p[28] = byte28;
    put32(p, 29, quint32(distanceInterval));
    put32(p, 33, value33);
    put32(p, 37, value37);
    p[41] = 0x04; // the logger expects this constant in every write
    p[42] = waasEnabled;
    return payload;
}

bool operator==(const DeviceConfig &a, const DeviceConfig &b)
{
    return a.logFormat == b.logFormat && a.speedThresholdEnabled == b.speedThresholdEnabled &&
           a.speedThreshold == b.speedThreshold && a.radiusEnabled == b.radiusEnabled &&
           a.radius == b.radius && a.timeInterval == b.timeInterval && a.value16 == b.value16 &&
           a.value20 == b.value20 && a.intervalMode == b.intervalMode && a.byte27 == b.byte27 &&
           a.byte28 == b.byte28 && a.distanceInterval == b.distanceInterval &&
           a.value33 == b.value33 && a.value37 == b.value37 && a.waasEnabled == b.waasEnabled &&
           a.memoryUsage == b.memoryUsage;
}
