#ifndef TRACKBLOCK_H
#define TRACKBLOCK_H

#include "model/trackrecords.h"

// Speeds above this (10000 km/h in 0.01 km/h) are logger glitches and dropped.
constexpr quint32 MaxPlausibleSpeed = 1000000u;

// The block-to-points step of a download. `currentTrackIndex` starts at -1 and
// advances at each block that carries the start flag. The block's header point
// and its records are appended to tracks[currentTrackIndex], whose `blocksReceived` counts
// it. Returns false when the block has no track to go to (no start flag seen yet, or a
// start flag past the last track); such a block is dropped.
bool appendTrackBlock(QVector<Track> &tracks, int &currentTrackIndex, const TrackDataBlock &block);

// Decodes a 2048-byte data block as the logger sends it (big-endian): the
// eight header fields, then the records of the format that header field 7
// names, up to the first all-0xFF record. Other formats give no records.
TrackDataBlock decodeTrackDataBlock(const uchar *bytes);

// Converts records and appends them to `track`, dropping implausible speeds.
void appendBlockRecords(Track &track, const QVector<DeviceTrackPointShort> &records);
void appendBlockRecords(Track &track, const QVector<DeviceTrackPoint> &records);

#endif // TRACKBLOCK_H
