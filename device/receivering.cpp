#include "device/receivering.h"

#include <cstring>

ReceiveRing::ReceiveRing(quint32 capacity) : storage(new uchar[capacity]), cap(capacity) {}

bool ReceiveRing::peek(uchar *destination, quint32 n) const
{
    if (n > held)
        return false;
    const quint32 first = qMin(n, cap - readPos);
    std::memcpy(destination, storage.get() + readPos, first);
    std::memcpy(destination + first, storage.get(), n - first);
    return true;
}

bool ReceiveRing::read(uchar *destination, quint32 n)
{
    if (!peek(destination, n))
        return false;
    skip(n);
    return true;
}

void ReceiveRing::skip(quint32 n)
{
    if (n > held)
        return;
    readPos = readPos + n < cap ? readPos + n : n - (cap - readPos);
    held -= n;
}

bool ReceiveRing::write(const uchar *source, quint32 n)
{
    if (n > cap - held)
        return false;
    const quint32 first = qMin(n, cap - writePos);
    std::memcpy(storage.get() + writePos, source, first);
    std::memcpy(storage.get(), source + first, n - first);
    writePos = writePos + n < cap ? writePos + n : n - (cap - writePos);
    held += n;
    return true;
}

void ReceiveRing::clear()
{
    held = 0;
    readPos = 0;
    writePos = 0;
}
