#ifndef RECEIVERING_H
#define RECEIVERING_H

#include <QtGlobal>

#include <memory>

// A fixed-size byte FIFO between the serial port and the reply handlers.
class ReceiveRing
{
public:
    static constexpr quint32 DefaultCapacity = 65536;

    explicit ReceiveRing(quint32 capacity = DefaultCapacity);

    quint32 available() const { return held; }
    quint32 freeSpace() const { return cap - held; }
    quint32 capacity() const { return cap; }
    quint32 readPosition() const { return readPos; }

    // Copies the oldest n bytes; false, copying nothing, when fewer are held.
    bool peek(uchar *destination, quint32 n) const;
    // As peek, and removes them.
    bool read(uchar *destination, quint32 n);
    // Removes the oldest n bytes; nothing when fewer are held.
    void skip(quint32 n);
    // Appends all n bytes, or nothing (returning false) when they do not fit.
    bool write(const uchar *source, quint32 n);
    void clear();

private:
    std::unique_ptr<uchar[]> storage;
    quint32 cap;
    quint32 held = 0;
    quint32 readPos = 0;
    quint32 writePos = 0;
};

#endif // RECEIVERING_H
