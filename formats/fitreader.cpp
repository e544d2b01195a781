// Reading FIT files: a header, then definition and data messages, then a CRC; several such
// files may follow one another. Only the messages that make a track are decoded; the rest,
// and developer fields, are stepped over by their defined sizes.
#include "formats/fileformatfit.h"
#include "formats/trackinput.h"

#include <QFile>
#include <QtEndian>

#include <array>
#include <cmath>
#include <cstring>
#include <vector>

namespace {
using TrackInput::tr;

constexpr qint64 FitEpoch = 631065600; // 1989-12-31T00:00:00Z in Unix time

// The FIT CRC-16, four bits at a time.
quint16 crc16(const uchar *data, qint64 size, quint16 crc = 0)
{
    static constexpr quint16 table[16] = {0x0000, 0xCC01, 0xD801, 0x1400, 0xF001, 0x3C00,
                                          0x2800, 0xE401, 0xA001, 0x6C00, 0x7800, 0xB401,
                                          0x5000, 0x9C01, 0x8801, 0x4400};
    for (qint64 i = 0; i < size; ++i) {
        const uchar b = data[i];
        quint16 t = table[crc & 0xF];
        crc = ((crc >> 4) & 0x0FFF) ^ t ^ table[b & 0xF];
        t = table[crc & 0xF];
        crc = ((crc >> 4) & 0x0FFF) ^ t ^ table[(b >> 4) & 0xF];
    }
    return crc;
}

enum Global : quint16
{
    Sport = 12,
    Session = 18,
    Lap = 19,
    Record = 20,
    Workout = 26,
    Course = 31
};

// Where a field of interest lies in a message of one definition: offset, size, base type.
struct Slot
{
    int offset = -1;
    int size = 0;
    uchar type = 0;
};

enum Field : int
{
    Timestamp,
    Latitude,
    Longitude,
    Altitude,
    EnhancedAltitude,
    Speed,
    EnhancedSpeed,
    HeartRate,
    Cadence,
    Power,
    Temperature,
    Name,
    Fields
};

struct Definition
{
    bool defined = false;
    bool bigEndian = false;
    quint16 global = 0;
    int size = 0; // of a data message, developer fields included
    std::array<Slot, Fields> where;
};

// The field numbers of the fields this reader uses, per message.
int fieldFor(quint16 global, int number)
{
    if (number == 253)
        return Timestamp;
    switch (global) {
    case Record:
        switch (number) {
        case 0:
            return Latitude;
        case 1:
            return Longitude;
        case 2:
            return Altitude;
        case 78:
            return EnhancedAltitude;
        case 6:
            return Speed;
        case 73:
            return EnhancedSpeed;
        case 3:
            return HeartRate;
        case 4:
            return Cadence;
        case 7:
            return Power;
        case 13:
            return Temperature;
        default:
            return -1;
        }
    case Sport:
        return number == 3 ? Name : -1;
    case Session:
        return number == 110 ? Name : -1;
    case Workout:
        return number == 8 ? Name : -1;
    case Course:
        return number == 5 ? Name : -1;
    default:
        return -1;
    }
}

class FitReader
{
public:
    FitReader(const uchar *data, qint64 size) : data(data), size(size) {}
    // Reads one file of a chain from `at`; false with `problem` set when it is damaged.
    bool readFile(qint64 *at);

    Track track{0, 1, {}};
    QString problem;
    QString name;
    qint64 unplaced = 0; // records without a position

private:
    bool message(qint64 *at, qint64 end);
    bool define(qint64 *at, qint64 end, int local, bool developer);
    void decode(const Definition &d, const uchar *m);
    void record(const Definition &d, const uchar *m, bool timed, qint64 time);
    // The field's first value as an integer, or false where it is absent or invalid.
    bool integer(const Definition &d, const uchar *m, Field f, qint64 *v) const;
    bool damaged(qint64 at, const char *what);

    const uchar *data;
    qint64 size;
    std::array<Definition, 16> definitions;
    qint64 lastTime = -1;       // for the compressed timestamps
    bool segmentStarts = false; // a lap or session ended: the next point starts a segment
};

bool FitReader::damaged(qint64 at, const char *what)
{
    problem = tr("it is damaged at byte %1 (%2)").arg(at).arg(tr(what));
    return false;
}

bool FitReader::readFile(qint64 *at)
{
    const qint64 start = *at;
    const qint64 headerSize = data[start];
    if ((headerSize != 12 && headerSize != 14) || start + headerSize > size ||
        std::memcmp(data + start + 8, ".FIT", 4) != 0) {
        problem = start == 0 ? tr("it is no FIT file") : tr("it has bytes after its last file");
        return false;
    }
    const qint64 dataSize = qFromLittleEndian<quint32>(data + start + 4);
    const qint64 end = start + headerSize + dataSize;
    if (end + 2 > size) {
        problem = tr("it is cut short: its header gives %1 bytes of messages, %2 follow")
                      .arg(dataSize)
                      .arg(qMax(qint64(0), size - start - headerSize - 2));
        return false;
    }
    if (headerSize == 14) {
        const quint16 headerCrc = qFromLittleEndian<quint16>(data + start + 12);
        if (headerCrc != 0 && headerCrc != crc16(data + start, 12)) {
            problem = tr("the check sum of its header at byte %1 does not match").arg(start + 12);
            return false;
        }
    }
    if (qFromLittleEndian<quint16>(data + end) != crc16(data + start, end - start)) {
        problem = tr("its check sum at byte %1 does not match its contents").arg(end);
        return false;
    }
    definitions = {};
    for (qint64 p = start + headerSize; p < end;)
        if (!message(&p, end))
            return false;
    *at = end + 2;
    return true;
}

bool FitReader::message(qint64 *at, qint64 end)
{
    const qint64 here = *at;
    const uchar header = data[here];
    *at += 1;
    int local = header & 0x0F;
    qint64 time = -1;
    if (header & 0x80) {
        // Compressed timestamp: five bits of seconds on from the last full time.
        local = (header >> 5) & 0x03;
        if (lastTime < 0)
            return damaged(here, "a compressed time before any full one");
        time = lastTime + ((int(header & 0x1F) - int(lastTime & 0x1F)) & 0x1F);
        lastTime = time;
    } else if (header & 0x40) {
        return define(at, end, local, header & 0x20);
    }
    const Definition &d = definitions[size_t(local)];
    if (!d.defined)
        return damaged(here, "a message of an undefined type");
    if (*at + d.size > end)
        return damaged(here, "a message past the end");
    const uchar *m = data + *at;
    *at += d.size;
    if (time < 0) {
        qint64 t = 0;
        if (integer(d, m, Timestamp, &t)) {
            lastTime = t;
            time = t;
        }
    }
    if (d.global == Record)
        record(d, m, time >= 0, time);
    else
        decode(d, m);
    return true;
}

bool FitReader::define(qint64 *at, qint64 end, int local, bool developer)
{
    const qint64 here = *at - 1;
    if (*at + 5 > end)
        return damaged(here, "a definition past the end");
    Definition d;
    d.defined = true;
    d.bigEndian = data[*at + 1] == 1;
    d.global = d.bigEndian ? qFromBigEndian<quint16>(data + *at + 2)
                           : qFromLittleEndian<quint16>(data + *at + 2);
    const int fields = data[*at + 4];
    *at += 5;
    if (*at + fields * 3 + (developer ? 1 : 0) > end)
        return damaged(here, "a definition past the end");
    for (int i = 0; i < fields; ++i, *at += 3) {
        const int f = fieldFor(d.global, data[*at]);
        if (f >= 0 && d.where[size_t(f)].offset < 0)
            d.where[size_t(f)] = Slot{d.size, data[*at + 1], data[*at + 2]};
        d.size += data[*at + 1];
    }
    if (developer) {
        const int more = data[*at];
        *at += 1;
        if (*at + more * 3 > end)
            return damaged(here, "a definition past the end");
        for (int i = 0; i < more; ++i, *at += 3)
            d.size += data[*at + 1]; // developer fields: stepped over
    }
    definitions[size_t(local)] = d;
    return true;
}

// What a base type takes: its size, whether it is signed, and its own "no value".
struct BaseType
{
    int size = 0; // 0: not an integer type this reader reads
    bool isSigned = false;
    quint32 none = 0;
};

BaseType baseType(uchar type)
{
    switch (type) {
    case 0x00: // enum
    case 0x02: // uint8
    case 0x0D: // byte
        return {1, false, 0xFF};
    case 0x0A: // uint8z
        return {1, false, 0};
    case 0x01: // sint8
        return {1, true, 0x7F};
    case 0x83: // sint16
        return {2, true, 0x7FFF};
    case 0x84: // uint16
        return {2, false, 0xFFFF};
    case 0x8B: // uint16z
        return {2, false, 0};
    case 0x85: // sint32
        return {4, true, 0x7FFFFFFF};
    case 0x86: // uint32
        return {4, false, 0xFFFFFFFF};
    case 0x8C: // uint32z
        return {4, false, 0};
    default:
        return {};
    }
}

bool FitReader::integer(const Definition &d, const uchar *m, Field f, qint64 *v) const
{
    const Slot &s = d.where[size_t(f)];
    const BaseType t = baseType(s.type);
    if (s.offset < 0 || t.size == 0 || s.size < t.size)
        return false;
    // An array's first value.
    const uchar *p = m + s.offset;
    quint32 raw = 0;
    for (int k = 0; k < t.size; ++k)
        raw |= quint32(p[d.bigEndian ? t.size - 1 - k : k]) << (8 * k);
    if (raw == t.none)
        return false;
    const int unused = 32 - 8 * t.size; // sign extension from the type's width
    *v = t.isSigned ? qint64(qint32(raw << unused) >> unused) : qint64(raw);
    return true;
}

void FitReader::decode(const Definition &d, const uchar *m)
{
    if (d.global == Lap || d.global == Session)
        segmentStarts = !track.points.isEmpty();
    const Slot &s = d.where[Name];
    if (s.offset >= 0 && s.type == 0x07 && name.isEmpty()) {
        const char *text = reinterpret_cast<const char *>(m + s.offset);
        name = QString::fromUtf8(text, qstrnlen(text, uint(s.size)));
    }
}

void FitReader::record(const Definition &d, const uchar *m, bool timed, qint64 time)
{
    qint64 lat = 0, lon = 0, v = 0;
    if (!integer(d, m, Latitude, &lat) || !integer(d, m, Longitude, &lon)) {
        ++unplaced;
        return;
    }
    constexpr double Semicircle = 180.0 / 2147483648.0;
    TrackPoint p;
    p.position = Vec3(double(lat) * Semicircle, double(lon) * Semicircle, 0);
    if (!TrackInput::isLatitude(p.position.x) || !TrackInput::isLongitude(p.position.y)) {
        ++unplaced;
        return;
    }
    // Altitudes in fifths of a metre from 500 m below sea level.
    if (integer(d, m, EnhancedAltitude, &v) || integer(d, m, Altitude, &v)) {
        p.position.z = double(v) / 5.0 - 500.0;
        track.format = 2;
    } else {
        p.flags |= TrackPoint::NoAltitude;
    }
    // Speeds in mm/s, to 0.01 km/h.
    if (integer(d, m, EnhancedSpeed, &v) || integer(d, m, Speed, &v))
        p.speed = quint32(std::lround(double(v) * 0.36));
    else
        p.flags |= TrackPoint::NoSpeed;
    const qint64 unix = FitEpoch + time;
    if (timed && unix >= 0 && unix <= qint64(0xFFFFFFFFu))
        p.time = quint32(unix);
    else
        TrackInput::setNoTime(p);
    if (segmentStarts)
        p.flags |= TrackPoint::SegmentStart;
    segmentStarts = false;
    // Heart rate (bpm), cadence (rpm), power (W) and temperature (whole degrees) as recorded.
    for (const auto &[field, sensor] : {std::pair{HeartRate, TrackInput::Sensor::HeartRate},
                                        std::pair{Cadence, TrackInput::Sensor::Cadence},
                                        std::pair{Power, TrackInput::Sensor::Power},
                                        std::pair{Temperature, TrackInput::Sensor::Temperature}})
        if (integer(d, m, field, &v))
            TrackInput::setSensor(p, sensor, double(v), nullptr);
    if (track.points.size() == track.points.capacity())
        track.points.reserve(track.points.size() * 2 + 1024);
    track.points.append(p);
}
} // namespace

bool FileFormatFIT::read(QVector<Track> &tracks, const QString &fileName)
{
    QFile file(fileName);
    if (!file.open(QIODevice::ReadOnly))
        return fail(tr("Cannot open %1: %2").arg(fileName, file.errorString()));
    const qint64 size = file.size();
    QByteArray copy;
    const uchar *data = size > 0 ? file.map(0, size) : nullptr;
    if (!data && size > 0) {
        copy = file.readAll();
        data = reinterpret_cast<const uchar *>(copy.constData());
    }
    FitReader reader(data, size);
    qint64 at = 0;
    if (size < 12 || !reader.readFile(&at))
        return fail(tr("%1 cannot be read: %2.")
                        .arg(fileName, size < 12 ? tr("it is no FIT file") : reader.problem));
    while (at < size)
        if (!reader.readFile(&at))
            return fail(tr("%1 cannot be read: %2.").arg(fileName, reader.problem));
    note.clear();
    if (reader.unplaced > 0)
        addNote(tr("Records without a position, left out: %1.").arg(reader.unplaced));
    Track &track = reader.track;
    QVector<bool> hasSpeed(track.points.size());
    for (qsizetype i = 0; i < track.points.size(); ++i) {
        hasSpeed[i] = track.points[i].hasSpeed();
        track.points[i].flags &= ~TrackPoint::NoSpeed;
    }
    TrackInput::fillSpeeds(track, hasSpeed);
    track.startTime = TrackInput::firstTime(track);
    track.name = reader.name;
    QVector<Track> found;
    if (!track.points.isEmpty())
        found << std::move(track);
    return deliver(tracks, found, 0, fileName);
}

QString FileFormatFIT::keeps() const
{
    return tr("FIT (read only) gives times, positions, altitudes, speeds, heart rate, cadence, "
              "power, temperature, laps as segments and the activity's name.");
}
