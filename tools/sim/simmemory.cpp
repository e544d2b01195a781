// The simulated logger's memory: the track list, the data blocks and the configuration it
// answers with, and what a download of it must give.
#include "tools/sim/loggersimulator.h"

#include "device/frame.h"
#include "model/conversions.h"
#include "model/trackblock.h"
#include "tools/sim/simbytes.h"

using namespace SimBytes;

int LoggerSimulator::blockCount(const SimulatedTrack &track) const
{
    const int per = pointsPerBlock(track.format);
    return qMax(1, (int(track.points.size()) + per - 1) / per);
}

QVector<TrackFileHeader> LoggerSimulator::headers() const
{
    std::lock_guard<std::mutex> lock(mutex);
    QVector<TrackFileHeader> list;
    int index = FirstBlockIndex;
    for (const SimulatedTrack &track : memory) {
        TrackFileHeader header;
        header.time = track.points.isEmpty() ? 0 : track.points.first().time;
        header.date = track.points.isEmpty() ? 0 : track.points.first().date;
        for (int b = 0; b < blockCount(track); ++b)
            header.blockIndexes.append(index++);
        list.append(header);
    }
    return list;
}

QVector<Track> LoggerSimulator::expectedTracks(const QVector<int> &which) const
{
    const QVector<TrackFileHeader> list = headers();
    QVector<Track> result;
    std::lock_guard<std::mutex> lock(mutex);
    for (int i : which) {
        const SimulatedTrack &sim = memory.at(i);
        Track track;
        track.startTime = packedDateTimeToEpoch(list.at(i).date, list.at(i).time);
        track.format = sim.format;
        const int per = pointsPerBlock(sim.format);
        for (int p = 0; p < sim.points.size(); ++p) {
            TrackPoint point;
            if (sim.format == 1) {
                DeviceTrackPointShort s;
                s.latitude = sim.points[p].latitude;
                s.longitude = sim.points[p].longitude;
                s.time = sim.points[p].time;
                s.date = sim.points[p].date;
                s.speed = sim.points[p].speed;
                point = trackPointFromRecord(s);
            } else {
                point = trackPointFromRecord(sim.points[p]);
                // The first point of each block travels in the block header, whose
                // field 7 is the log format.
                if (p % per == 0)
                    point.field7 = 2;
            }
            track.points.append(point);
        }
        result.append(track);
    }
    return result;
}

QByteArray LoggerSimulator::blockBytes(int blockIndex) const
{
    QByteArray bytes(TrackDataBlock::BlockSize, '\xFF');
    int first = FirstBlockIndex;
    for (const SimulatedTrack &track : memory) {
        const int count = blockCount(track);
        if (blockIndex >= first + count) {
            first += count;
            continue;
        }
        const int b = blockIndex - first;
        const int per = pointsPerBlock(track.format);
        const int begin = b * per;
        const int end = qMin(int(track.points.size()), begin + per);
        for (int p = begin; p < end; ++p) {
            const DeviceTrackPoint &pt = track.points[p];
            if (p == begin) {
                put32(bytes, 0, quint32(pt.latitude));
                put32(bytes, 4, quint32(pt.longitude));
                put32(bytes, 8, pt.time | (b == 0 ? TrackDataBlock::StartFlag : 0u));
                put32(bytes, 12, pt.date);
                put32(bytes, 16, pt.speed);
                put32(bytes, 20, quint32(pt.altitude));
                put32(bytes, 24, 0);
                put32(bytes, 28, quint32(track.format));
                continue;
            }
            // Both formats begin alike; format 2 adds the altitude and two more fields.
            const int o = BlockRecordOffset + (track.format == 1 ? 20 : 32) * (p - begin - 1);
            put32(bytes, o, quint32(pt.latitude));
            put32(bytes, o + 4, quint32(pt.longitude));
            put32(bytes, o + 8, pt.time);
            put32(bytes, o + 12, pt.date);
            put32(bytes, o + 16, pt.speed);
            if (track.format != 1) {
                put32(bytes, o + 20, quint32(pt.altitude));
                put32(bytes, o + 24, pt.field6);
                put32(bytes, o + 28, pt.field7);
            }
        }
        if (track.points.isEmpty()) // an empty track still has a header
            put32(bytes, 28, quint32(track.format));
        return bytes;
    }
    // An index the logger does not hold: an erased block of format 0xFFFFFFFF.
    return bytes;
}

QByteArray LoggerSimulator::listPage(quint16 start) const
{
    struct Entry
    {
        quint32 time, date, index;
    };
    QVector<Entry> entries;
    int index = FirstBlockIndex;
    for (const SimulatedTrack &track : memory) {
        for (int b = 0; b < blockCount(track); ++b) {
            const bool first = b == 0 && !track.points.isEmpty();
            entries.append({first ? (track.points[0].time | TrackDataBlock::StartFlag) : 0u,
                            first ? track.points[0].date : 0u, quint32(index++)});
        }
    }
    const int begin = qMin(int(start), int(entries.size()));
    const int count = qMin(pageSize, int(entries.size()) - begin);
    const quint16 next = begin + count < entries.size() ? quint16(begin + count) : 0;
    QByteArray payload(5 + 12 * count, '\0');
    payload[0] = char(0xBB);
    qToBigEndian(quint16(count), payload.data() + 1);
    qToBigEndian(next, payload.data() + 3);
    for (int i = 0; i < count; ++i) {
        const Entry &e = entries[begin + i];
        put32(payload, 5 + 12 * i, e.time);
        put32(payload, 9 + 12 * i, e.date);
        put32(payload, 13 + 12 * i, e.index);
    }
    return payload;
}

QByteArray LoggerSimulator::defaultConfigReply()
{
    QByteArray p(44, '\0');
    p[0] = char(0xB7);
    p[1] = 2;                 // log format with altitude
    p[2] = 1;                 // speed threshold on
    put32(p, 3, 1050);        // 10.5 km/h
    p[7] = 0;                 // radius off
    put32(p, 8, 25);          // 25 m
    put32(p, 12, 5000);       // 5 s
    put32(p, 16, 0x11223344); // fields the program does not show
    put32(p, 20, 0x55667788);
    p[24] = char(0x12);
    p[25] = char(0x34);
    p[26] = 0; // by time
    p[27] = char(0x9A);
    p[28] = char(0xBC);
    put32(p, 29, 100); // 100 m
    put32(p, 33, 0xCAFEBABE);
    put32(p, 37, 0x0BADF00D);
    p[41] = char(0x07);
    p[42] = 1;  // WAAS on
    p[43] = 37; // 37 % of memory in use
    return p;
}

QByteArray LoggerSimulator::answer(const QByteArray &payload, bool *isBlock)
{
    std::lock_guard<std::mutex> lock(mutex);
    if (isBlock)
        *isBlock = false;
    if (silent || payload.isEmpty())
        return QByteArray();
    switch (quint8(payload.at(0))) {
    case 0xBF:
        if (++hellos < helloAnswerFrom)
            return QByteArray();
        return Frame::build(QByteArray("\xBF\x01", 2));
    case 0xBB:
        if (payload.size() < 3)
            return QByteArray();
        return Frame::build(listPage(qFromBigEndian<quint16>(payload.constData() + 1)));
    case 0xB5: {
        if (payload.size() < 3)
            return QByteArray();
        const QByteArray block = blockBytes(qFromBigEndian<quint16>(payload.constData() + 1));
        if (isBlock)
            *isBlock = true;
        // Two frames, each with the id and one half of the block.
        return Frame::build(QByteArray(1, char(0xB5)) + block.left(1024)) +
               Frame::build(QByteArray(1, char(0xB5)) + block.mid(1024));
    }
    case 0xB7:
        return Frame::build(config);
    case 0xB8: {
        if (payload.size() != DeviceConfig::RequestSize)
            return QByteArray();
        if (writeResult == 1) {
            // Keep the record; the read-only bytes stay the logger's own.
            QByteArray stored = payload;
            stored[0] = char(0xB7);
            stored.append(config.size() > 43 ? config.at(43) : '\0');
            stored[41] = config.size() > 41 ? config.at(41) : '\0';
            config = stored;
        }
        QByteArray ack(5, '\0');
        ack[0] = char(0xB8);
        put32(ack, 1, writeResult);
        return Frame::build(ack);
    }
    case 0xBA: {
        if (deleteResult == 1)
            memory.clear();
        QByteArray ack(5, '\0');
        ack[0] = char(0xBA);
        put32(ack, 1, deleteResult);
        return Frame::build(ack);
    }
    default:
        return QByteArray();
    }
}
