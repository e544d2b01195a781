#include "model/trackblock.h"

#include "model/conversions.h"

#include <QtEndian>

#include <algorithm>
#include <cmath>
#include <iterator>

namespace {

// Appends a record's point; one with an impossible position is left out and counted.
template <typename Record> void appendPoint(Track &track, const Record &record)
{
    const TrackPoint p = trackPointFromRecord(record);
    if (std::isfinite(p.position.x) && std::fabs(p.position.x) <= 90 &&
        std::isfinite(p.position.y) && std::fabs(p.position.y) <= 180)
        track.points.append(p);
    else
        ++track.impossiblePoints;
}

template <typename Record> void appendRecords(Track &track, const QVector<Record> &records)
{
    track.points.reserve(track.points.size() + records.size());
    for (const Record &record : records) {
        if (record.speed > MaxPlausibleSpeed)
            continue;
        appendPoint(track, record);
    }
}

quint32 fieldAt(const uchar *bytes, int offset)
{
    return qFromBigEndian<quint32>(bytes + offset);
}

template <int FieldCount> bool isEndRecord(const uchar *record)
{
    for (int i = 0; i < FieldCount; ++i) {
        if (fieldAt(record, 4 * i) != 0xFFFFFFFFu)
            return false;
    }
    return true;
}

} // namespace

TrackDataBlock decodeTrackDataBlock(const uchar *bytes)
{
    TrackDataBlock block;
    for (int i = 0; i < TrackDataBlock::HeaderFields; ++i)
        block.header[i] = fieldAt(bytes, 4 * i);

    const int headerSize = 4 * TrackDataBlock::HeaderFields;
    if (block.header[7] == 1) {
        block.shortRecords.reserve(TrackDataBlock::MaxShortRecords);
        for (int i = 0; i < TrackDataBlock::MaxShortRecords; ++i) {
            const uchar *r = bytes + headerSize + 20 * i;
            if (isEndRecord<5>(r))
                break;
            DeviceTrackPointShort record;
            record.latitude = qint32(fieldAt(r, 0));
            record.longitude = qint32(fieldAt(r, 4));
            record.time = fieldAt(r, 8);
            record.date = fieldAt(r, 12);
            record.speed = fieldAt(r, 16);
            block.shortRecords.append(record);
        }
    } else if (block.header[7] == 2) {
        block.records.reserve(TrackDataBlock::MaxRecords);
        for (int i = 0; i < TrackDataBlock::MaxRecords; ++i) {
            const uchar *r = bytes + headerSize + 32 * i;
            if (isEndRecord<8>(r))
                break;
            DeviceTrackPoint record;
            record.latitude = qint32(fieldAt(r, 0));
            record.longitude = qint32(fieldAt(r, 4));
            record.time = fieldAt(r, 8);
            record.date = fieldAt(r, 12);
            record.speed = fieldAt(r, 16);
            record.altitude = qint32(fieldAt(r, 20));
            record.field6 = fieldAt(r, 24);
            record.field7 = fieldAt(r, 28);
            block.records.append(record);
        }
    }
    return block;
}

void appendBlockRecords(Track &track, const QVector<DeviceTrackPointShort> &records)
{
    appendRecords(track, records);
}

void appendBlockRecords(Track &track, const QVector<DeviceTrackPoint> &records)
{
    appendRecords(track, records);
}

bool appendTrackBlock(QVector<Track> &tracks, int &currentTrackIndex, const TrackDataBlock &block)
{
    quint32 header[TrackDataBlock::HeaderFields];
    std::copy(std::begin(block.header), std::end(block.header), header);

    const bool startsTrack = header[2] & TrackDataBlock::StartFlag;
    header[2] &= ~TrackDataBlock::StartFlag;
    if (startsTrack)
        ++currentTrackIndex;
    if (currentTrackIndex < 0 || currentTrackIndex >= tracks.size())
        return false;

    Track &track = tracks[currentTrackIndex];
    ++track.blocksReceived;
    const quint32 format = header[7];
    if (startsTrack)
        track.format = qint32(format);

    // The header holds the block's first point; the speed filter does not apply to it.
    if (format == 1) {
        DeviceTrackPointShort first;
        first.latitude = qint32(header[0]);
        first.longitude = qint32(header[1]);
        first.time = header[2];
        first.date = header[3];
        first.speed = header[4];
        appendPoint(track, first);
        appendBlockRecords(track, block.shortRecords);
    } else if (format == 2) {
        DeviceTrackPoint first;
        first.latitude = qint32(header[0]);
        first.longitude = qint32(header[1]);
        first.time = header[2];
        first.date = header[3];
        first.speed = header[4];
        first.altitude = qint32(header[5]);
        first.field7 = header[7];
        appendPoint(track, first);
        appendBlockRecords(track, block.records);
    }
    return true;
}
