#include "tools/sim/loggersimulator.h"

#include "device/frame.h"
#include "model/conversions.h"
#include "model/trackblock.h"

#include <QDateTime>
#include <QElapsedTimer>
#include <QtEndian>

#include <cerrno>
#include <chrono>
#include <cmath>
#include <fcntl.h>
#include <poll.h>
#include <termios.h>
#include <thread>
#include <unistd.h>

namespace {

constexpr int BlockRecordOffset = 32;

int pointsPerBlock(int format)
{
    // The header holds the first point of each block.
    return format == 1 ? 1 + TrackDataBlock::MaxShortRecords : 1 + TrackDataBlock::MaxRecords;
}

void put32(QByteArray &bytes, int offset, quint32 value)
{
    qToBigEndian(value, bytes.data() + offset);
}

// A small deterministic generator, so a seed always gives the same path.
class Lcg
{
public:
    explicit Lcg(quint32 seed) : state(seed * 2654435761u + 12345u) {}
    double next() // in [0, 1)
    {
        state = state * 1664525u + 1013904223u;
        return (state >> 8) / double(1 << 24);
    }

private:
    quint32 state;
};

} // namespace

LoggerSimulator::LoggerSimulator() : config(defaultConfigReply()) {}

LoggerSimulator::~LoggerSimulator()
{
    stop();
}

bool LoggerSimulator::start()
{
    // Close-on-exec: a program started from this process (the CLI in the tests) must not keep
    // the line up by holding a copy of our end.
    masterFd = posix_openpt(O_RDWR | O_NOCTTY | O_CLOEXEC);
    if (masterFd < 0 || grantpt(masterFd) != 0 || unlockpt(masterFd) != 0) {
        stop();
        return false;
    }
    slavePath = QString::fromLocal8Bit(ptsname(masterFd));
    // Keep the far end open ourselves, so the line stays up between clients,
    // and make it raw so nothing is echoed or translated before a client opens it.
    slaveFd = ::open(ptsname(masterFd), O_RDWR | O_NOCTTY | O_CLOEXEC);
    if (slaveFd < 0) {
        stop();
        return false;
    }
    termios tio{};
    tcgetattr(slaveFd, &tio);
    cfmakeraw(&tio);
    tcsetattr(slaveFd, TCSANOW, &tio);
    fcntl(masterFd, F_SETFL, fcntl(masterFd, F_GETFL) | O_NONBLOCK);
    running = true;
    thread = std::thread(&LoggerSimulator::serve, this);
    return true;
}

void LoggerSimulator::stop()
{
    running = false;
    if (thread.joinable())
        thread.join();
    std::lock_guard<std::mutex> lock(mutex);
    if (masterFd >= 0)
        ::close(masterFd);
    if (slaveFd >= 0)
        ::close(slaveFd);
    masterFd = slaveFd = -1;
}

void LoggerSimulator::setTracks(const QVector<SimulatedTrack> &tracks)
{
    std::lock_guard<std::mutex> lock(mutex);
    memory = tracks;
}

void LoggerSimulator::setPageSize(int entries)
{
    std::lock_guard<std::mutex> lock(mutex);
    pageSize = qBound(1, entries, 170); // a page must fit one frame
}

void LoggerSimulator::setSilent(bool on)
{
    std::lock_guard<std::mutex> lock(mutex);
    silent = on;
}

void LoggerSimulator::setHelloAnswerFrom(int n)
{
    std::lock_guard<std::mutex> lock(mutex);
    helloAnswerFrom = n;
}

void LoggerSimulator::setPaced(bool on)
{
    std::lock_guard<std::mutex> lock(mutex);
    paced = on;
}

void LoggerSimulator::setWriteResult(quint32 result)
{
    std::lock_guard<std::mutex> lock(mutex);
    writeResult = result;
}

void LoggerSimulator::setDeleteResult(quint32 result)
{
    std::lock_guard<std::mutex> lock(mutex);
    deleteResult = result;
}

void LoggerSimulator::setConfigReply(const QByteArray &payload)
{
    std::lock_guard<std::mutex> lock(mutex);
    config = payload;
}

void LoggerSimulator::addFault(const FaultRule &rule)
{
    std::lock_guard<std::mutex> lock(mutex);
    faults.append(rule);
    faultSeen.append(0);
}

void LoggerSimulator::clearFaults()
{
    std::lock_guard<std::mutex> lock(mutex);
    faults.clear();
    faultSeen.clear();
}

int LoggerSimulator::hellosReceived() const
{
    std::lock_guard<std::mutex> lock(mutex);
    return hellos;
}

QVector<QByteArray> LoggerSimulator::requests() const
{
    std::lock_guard<std::mutex> lock(mutex);
    return received;
}

QByteArray LoggerSimulator::configReply() const
{
    std::lock_guard<std::mutex> lock(mutex);
    return config;
}

QVector<SimulatedTrack> LoggerSimulator::tracks() const
{
    std::lock_guard<std::mutex> lock(mutex);
    return memory;
}

bool LoggerSimulator::lineClosed() const
{
    std::lock_guard<std::mutex> lock(mutex);
    return closed;
}

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
            const int r = p - begin - 1;
            if (track.format == 1) {
                const int o = BlockRecordOffset + 20 * r;
                put32(bytes, o, quint32(pt.latitude));
                put32(bytes, o + 4, quint32(pt.longitude));
                put32(bytes, o + 8, pt.time);
                put32(bytes, o + 12, pt.date);
                put32(bytes, o + 16, pt.speed);
            } else {
                const int o = BlockRecordOffset + 32 * r;
                put32(bytes, o, quint32(pt.latitude));
                put32(bytes, o + 4, quint32(pt.longitude));
                put32(bytes, o + 8, pt.time);
                put32(bytes, o + 12, pt.date);
                put32(bytes, o + 16, pt.speed);
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

qint32 LoggerSimulator::packCoordinate(double degrees)
{
    const double a = std::fabs(degrees);
    qint32 d = qint32(a);
    const double minutes = (a - d) * 60.0;
    qint32 m = qint32(minutes);
    qint32 f = qint32(std::lround((minutes - m) * 10000.0));
    if (f >= 10000) {
        f -= 10000;
        if (++m >= 60) {
            m -= 60;
            ++d;
        }
    }
    const qint32 packed = d * 1000000 + m * 10000 + f;
    return degrees < 0 ? -packed : packed;
}

void LoggerSimulator::packDateTime(quint32 epoch, quint32 *date, quint32 *time)
{
    const QDateTime t = QDateTime::fromSecsSinceEpoch(qint64(epoch), Qt::UTC);
    *date = quint32(t.date().day() * 10000 + t.date().month() * 100 + t.date().year() % 100);
    *time = quint32(t.time().hour() * 10000 + t.time().minute() * 100 + t.time().second());
}

SimulatedTrack LoggerSimulator::makeTrack(int format, int pointCount, quint32 seed,
                                          quint32 startTime)
{
    SimulatedTrack track;
    track.format = format;
    Lcg random(seed);
    double lat = 47.3 + 0.2 * random.next();
    double lon = 8.4 + 0.3 * random.next();
    double heading = 6.2831853 * random.next();
    double altitude = 400 + 200 * random.next();
    double speedKmh = 20 + 30 * random.next();
    for (int i = 0; i < pointCount; ++i) {
        DeviceTrackPoint p;
        p.latitude = packCoordinate(lat) + (i % 40 == 39 ? 100000000 : 0);
        p.longitude = packCoordinate(lon);
        packDateTime(startTime + 5u * quint32(i), &p.date, &p.time);
        p.speed = quint32(std::lround(speedKmh * 100));
        p.altitude = format == 2 ? qint32(std::lround(altitude * 10000)) : 0;
        p.field6 = 0;
        p.field7 = format == 2 ? quint32(i % 7) : 0;
        track.points.append(p);

        // Drift on: gentle turns, speed and climb changes, 5 s a step.
        heading += (random.next() - 0.5) * 0.4;
        speedKmh = qBound(0.0, speedKmh + (random.next() - 0.5) * 6, 90.0);
        altitude += (random.next() - 0.5) * 3;
        const double km = speedKmh * 5 / 3600.0;
        lat += km * std::cos(heading) / 111.32;
        lon += km * std::sin(heading) / (111.32 * std::cos(lat * 3.14159265 / 180));
    }
    return track;
}

bool LoggerSimulator::sendBytes(const QByteArray &bytes)
{
    bool pace;
    {
        std::lock_guard<std::mutex> lock(mutex);
        pace = paced;
    }
    QElapsedTimer clock;
    clock.start();
    qint64 sent = 0;
    while (sent < bytes.size() && running) {
        qint64 allowed = bytes.size() - sent;
        if (pace) {
            // Never ahead of what the line could have carried by now.
            const qint64 due = clock.nsecsElapsed() * LineRate / 1000000000 + 1;
            allowed = qMin(allowed, due - sent);
            if (allowed <= 0) {
                std::this_thread::sleep_for(std::chrono::microseconds(500));
                continue;
            }
        }
        const ssize_t n = ::write(masterFd, bytes.constData() + sent, size_t(allowed));
        if (n > 0) {
            sent += n;
        } else if (n < 0 && errno != EAGAIN && errno != EINTR) {
            return false;
        } else {
            pollfd pfd{masterFd, POLLOUT, 0};
            poll(&pfd, 1, 10);
        }
    }
    return true;
}

void LoggerSimulator::setReplyDelay(int ms, quint8 command)
{
    std::lock_guard<std::mutex> lock(mutex);
    replyDelayMs = ms;
    replyDelayCommand = command;
}

void LoggerSimulator::reply(quint8 command, QByteArray bytes, bool isBlock)
{
    std::unique_lock<std::mutex> lock(mutex);
    if (replyDelayMs > 0 && (replyDelayCommand == 0 || replyDelayCommand == command)) {
        const int ms = replyDelayMs;
        lock.unlock();
        std::this_thread::sleep_for(std::chrono::milliseconds(ms));
        lock.lock();
    }
    for (int i = 0; i < faults.size(); ++i) {
        const FaultRule &rule = faults[i];
        if (rule.command != 0 && rule.command != command)
            continue;
        const int seen = faultSeen[i]++;
        if (seen < rule.skip || (rule.count >= 0 && seen >= rule.skip + rule.count))
            continue;
        switch (rule.fault) {
        case Fault::NoReply:
            return;
        case Fault::BadChecksum: {
            const int n = qFromBigEndian<quint16>(bytes.constData() + 2);
            bytes[4 + n + 1] = char(bytes[4 + n + 1] + 1);
            break;
        }
        case Fault::WrongId: {
            // A well-formed frame with another message id: the checksum is made anew,
            // or the fault would be a bad checksum under another name.
            const int n = qFromBigEndian<quint16>(bytes.constData() + 2);
            bytes[4] = char(bytes[4] ^ 0x01);
            qToBigEndian(
                Frame::frameChecksum(reinterpret_cast<const uchar *>(bytes.constData()) + 4, n),
                bytes.data() + 4 + n);
            break;
        }
        case Fault::StrayByte:
            bytes.prepend('\0');
            break;
        case Fault::CutShort:
            bytes.chop(3);
            break;
        case Fault::NoSecondFrame:
            if (isBlock)
                bytes.truncate(Frame::BlockReplySize / 2);
            break;
        case Fault::CloseLine:
            ::close(masterFd);
            masterFd = -1;
            ::close(slaveFd);
            slaveFd = -1;
            closed = true;
            running = false;
            return;
        }
    }
    lock.unlock();
    sendBytes(bytes);
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

void LoggerSimulator::handleRequest(const QByteArray &payload)
{
    {
        std::lock_guard<std::mutex> lock(mutex);
        received.append(payload);
    }
    bool isBlock = false;
    const QByteArray reply = answer(payload, &isBlock);
    if (!reply.isEmpty())
        this->reply(quint8(payload.at(0)), reply, isBlock);
}

void LoggerSimulator::serve()
{
    QByteArray buffer;
    char chunk[4096];
    while (running) {
        pollfd pfd{masterFd, POLLIN, 0};
        if (poll(&pfd, 1, 20) <= 0)
            continue;
        const ssize_t n = ::read(masterFd, chunk, sizeof chunk);
        if (n <= 0) {
            std::this_thread::sleep_for(std::chrono::milliseconds(5));
            continue;
        }
        buffer.append(chunk, int(n));
        // Cut complete request frames; skip noise up to the next start sequence.
        while (buffer.size() >= Frame::Overhead) {
            const int startAt = buffer.indexOf("\xA0\xA2");
            if (startAt < 0) {
                buffer = buffer.right(1);
                break;
            }
            buffer.remove(0, startAt);
            if (buffer.size() < 4)
                break;
            const int len = qFromBigEndian<quint16>(buffer.constData() + 2);
            if (buffer.size() < len + Frame::Overhead)
                break;
            const bool valid = Frame::validateFrame(
                reinterpret_cast<const uchar *>(buffer.constData()), len + Frame::Overhead);
            const QByteArray payload = buffer.mid(4, len);
            buffer.remove(0, valid ? len + Frame::Overhead : 2);
            if (valid && !payload.isEmpty())
                handleRequest(payload);
            if (!running)
                return;
        }
    }
}
