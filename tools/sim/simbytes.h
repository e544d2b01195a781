#ifndef SIMBYTES_H
#define SIMBYTES_H

#include "model/trackrecords.h"

#include <QByteArray>
#include <QtEndian>

// Byte helpers the simulated logger's parts share.
namespace SimBytes {

constexpr int BlockRecordOffset = 32;

inline int pointsPerBlock(int format)
{
    // The header holds the first point of each block.
    return format == 1 ? 1 + TrackDataBlock::MaxShortRecords : 1 + TrackDataBlock::MaxRecords;
}

inline void put32(QByteArray &bytes, int offset, quint32 value)
{
    qToBigEndian(value, bytes.data() + offset);
}

} // namespace SimBytes

#endif // SIMBYTES_H
