#include "device/frame.h"

#include <QtEndian>

namespace Frame {

quint16 frameChecksum(const uchar *payload, int n)
{
    quint32 sum = 0;
    for (int i = 0; i < n; ++i)
        sum += payload[i];
    return quint16(sum & 0x7FFF);
}

QByteArray build(const QByteArray &payload)
{
    const int n = payload.size();
    QByteArray frame(n + Overhead, Qt::Uninitialized);
    uchar *out = reinterpret_cast<uchar *>(frame.data());
    out[0] = 0xA0;
    out[1] = 0xA2;
    qToBigEndian(quint16(n), out + 2);
    memcpy(out + 4, payload.constData(), size_t(n));
    qToBigEndian(frameChecksum(out + 4, n), out + 4 + n);
    out[6 + n] = 0xB0;
    out[7 + n] = 0xB3;
    return frame;
}

bool validateFrame(const uchar *buffer, int size)
{
    if (size < Overhead)
        return false;
    const int n = qFromBigEndian<quint16>(buffer + 2);
    if (n + Overhead > size)
        return false;
    return buffer[0] == 0xA0 && buffer[1] == 0xA2 && buffer[6 + n] == 0xB0 &&
           buffer[7 + n] == 0xB3 &&
           qFromBigEndian<quint16>(buffer + 4 + n) == frameChecksum(buffer + 4, n);
}

} // namespace Frame
