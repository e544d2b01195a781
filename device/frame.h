#ifndef FRAME_H
#define FRAME_H

#include <QByteArray>
#include <QtGlobal>

// Serial frames: A0 A2, big-endian payload length N, payload (byte 0 is the
// message id), a 15-bit checksum, B0 B3. A frame is N + 8 bytes.
namespace Frame {

constexpr int Overhead = 8;
constexpr int BufferSize = 2074;     // the longest reply we accept as one frame
constexpr int BlockReplySize = 2066; // a data block arrives as two frames of N = 1025

quint16 frameChecksum(const uchar *payload, int n);

// Builds the whole frame around `payload`.
QByteArray build(const QByteArray &payload);

// Checks one frame that starts at buffer[0]; `size` bounds what may be read.
bool validateFrame(const uchar *buffer, int size);

} // namespace Frame

#endif // FRAME_H
