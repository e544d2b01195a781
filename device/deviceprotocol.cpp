#include "device/deviceprotocol.h"

#include "device/frame.h"
#include "model/trackblock.h"

#include <QLoggingCategory>
#include <QtEndian>

Q_LOGGING_CATEGORY(lcDevice, "lx300.device")

DeviceProtocol::DeviceProtocol() : frame(new uchar[Frame::BufferSize]()) {}

QByteArray DeviceProtocol::request(quint16 command, const QByteArray &payload)
{
    // Whatever the logger sent earlier and nobody took is discarded before each request.
    ring.skip(ring.available());
    if (command != NoCommand)
        pending = command;
    return Frame::build(payload);
}

QByteArray DeviceProtocol::readTrackFileHeaders()
{
    entries.clear();
    return readTrackFileHeadersFrom(0);
}

QByteArray DeviceProtocol::readTrackFileHeadersFrom(quint16 start)
{
    QByteArray payload(3, '\0');
    payload[0] = char(0xBB);
    qToBigEndian(start, payload.data() + 1);
    listStart = start;
    return request(ReadList, payload);
}

QByteArray DeviceProtocol::readTrackBlock(quint16 index)
{
    block.shortRecords.clear();
    block.records.clear();
    QByteArray payload(3, '\0');
    payload[0] = char(0xB5);
    qToBigEndian(index, payload.data() + 1);
    return request(ReadBlock, payload);
}

QByteArray DeviceProtocol::endTrackDownload()
{
    // Same id as the configuration read; nobody waits for its reply. A block still awaited
    // (the download was cancelled) is given up with it, so no time-out follows.
    pending = NoCommand;
    return request(NoCommand, QByteArray(1, char(0xB7)));
}

QByteArray DeviceProtocol::deleteAllTrackFiles()
{
    return request(DeleteAll, QByteArray("\xBA\xFF\xFF", 3));
}

QByteArray DeviceProtocol::readDeviceConfig()
{
    return request(ReadConfig, QByteArray(1, char(0xB7)));
}

QByteArray DeviceProtocol::writeDeviceConfig(const DeviceConfig &config)
{
    return request(WriteConfig, config.toRequest(configByte24, configByte25));
}

QByteArray DeviceProtocol::sendHello()
{
    return request(Hello, QByteArray(1, char(0xBF)));
}

bool DeviceProtocol::receive(const uchar *bytes, quint32 n)
{
    return ring.write(bytes, n);
}

DeviceProtocol::Event DeviceProtocol::timeOut()
{
    pending = NoCommand;
    Event e;
    e.cmd = TimeoutStatus;
    e.status = 0;
    return e;
}

bool DeviceProtocol::readReply()
{
    if (ring.available() < 4)
        return false;
    uchar head[4];
    ring.peek(head, 4);
    const quint32 n = qFromBigEndian<quint16>(head + 2);
    lastLength = n;
    const quint32 size = n + Frame::Overhead;
    if (size > quint32(Frame::BufferSize)) {
        // Longer than any reply we expect: drop what is here instead of
        // letting it stand in the way; the time-out ends the command.
        ring.skip(ring.available());
        return false;
    }
    if (ring.available() != size)
        return false; // still arriving, or surplus bytes: never taken
    ring.read(frame.get(), size);
    return Frame::validateFrame(frame.get(), int(size));
}

bool DeviceProtocol::readBlockReply()
{
    if (ring.available() != quint32(Frame::BlockReplySize))
        return false;
    ring.read(frame.get(), Frame::BlockReplySize);
    // Both frames must be a block's (id 0xB5), not any well-formed frame.
    return Frame::validateFrame(frame.get(), Frame::BlockReplySize) && frame[4] == 0xB5 &&
           frame[Frame::BlockReplySize / 2 + 4] == 0xB5;
}

void DeviceProtocol::dispatchReply(QVector<Event> *events, QByteArray *followUp)
{
    qCDebug(lcDevice).nospace() << "mCmd: " << pending;
    switch (pending) {
    case ReadBlock:
        handleTrackBlockReply(events);
        break;
    case ReadConfig:
        handleConfigReply(events);
        break;
    case WriteConfig:
    case DeleteAll:
        handleAckReply(pending, events);
        break;
    case ReadList:
        handleTrackListReply(events, followUp);
        break;
    case Hello:
        handleHelloReply(events);
        break;
    default:
        break; // nothing pending: the bytes wait for the next request to empty the ring
    }
}

void DeviceProtocol::handleTrackBlockReply(QVector<Event> *events)
{
    if (!readBlockReply())
        return;
    // The block's two halves sit in the two frames' payloads, after their ids.
    uchar bytes[TrackDataBlock::BlockSize];
    memcpy(bytes, frame.get() + 5, 1024);
    memcpy(bytes + 1024, frame.get() + 1038, 1024);
    block = decodeTrackDataBlock(bytes);
    pending = NoCommand;
    events->append(Event{Event::Status, ReadBlock, 1, {}});
}

void DeviceProtocol::handleConfigReply(QVector<Event> *events)
{
    if (!readReply())
        return;
    const uchar *payload = frame.get() + 4;
    if (payload[0] != 0xB7 || lastLength < quint32(DeviceConfig::ReplyMinSize))
        return;
    deviceConfig = DeviceConfig::fromReply(payload);
    configByte24 = payload[24];
    configByte25 = payload[25];
    pending = NoCommand;
    events->append(Event{Event::Status, ReadConfig, 1, {}});
}

void DeviceProtocol::handleAckReply(int cmd, QVector<Event> *events)
{
    if (!readReply())
        return;
    // Only the reply of this command counts (0xB8 to a setting, 0xBA to a deletion); any
    // other frame is dropped and the time-out follows. A reply too short to hold the result
    // counts as a refusal.
    if (lastLength < 1 || frame[4] != (cmd == WriteConfig ? 0xB8 : 0xBA))
        return;
    const bool done = lastLength >= 5 && qFromBigEndian<quint32>(frame.get() + 5) == 1;
    pending = NoCommand;
    if (done)
        events->append(Event{Event::Status, cmd, 1, {}});
}

void DeviceProtocol::handleTrackListReply(QVector<Event> *events, QByteArray *followUp)
{
    if (!readReply())
        return;
    const uchar *payload = frame.get() + 4;
    if (payload[0] != 0xBB || lastLength < 5)
        return;
    const quint32 count = qFromBigEndian<quint16>(payload + 1);
    const quint16 next = qFromBigEndian<quint16>(payload + 3);
    if (5 + 12 * count > lastLength)
        return; // the count does not fit the reply: dropped, the time-out follows
    // Block indexes are 16-bit; a listing longer than that is not the logger's.
    if (quint32(entries.size()) + count > MaxListEntries)
        return;
    // A page that says "more" must bring entries and move on: else it would ask forever.
    if (next != 0 && (count == 0 || next <= listStart))
        return;

    for (quint32 i = 0; i < count; ++i) {
        const uchar *e = payload + 5 + 12 * i;
        entries.append(ListEntry{qFromBigEndian<quint32>(e), qFromBigEndian<quint32>(e + 4),
                                 qFromBigEndian<quint32>(e + 8)});
    }
    if (next != 0) {
        *followUp = readTrackFileHeadersFrom(next);
        return;
    }

    QVector<TrackFileHeader> headers;
    for (const ListEntry &entry : qAsConst(entries)) {
        if (entry.timeWord & TrackDataBlock::StartFlag) {
            TrackFileHeader header;
            header.time = entry.timeWord & ~TrackDataBlock::StartFlag;
            header.date = entry.date;
            header.blockIndexes.append(int(entry.blockIndex));
            headers.append(header);
        } else if (!headers.isEmpty()) {
            headers.last().blockIndexes.append(int(entry.blockIndex));
        }
        // An entry before the first track start has no track to join: dropped.
    }
    Event e;
    e.kind = Event::TrackList;
    e.headers = headers;
    events->append(e);
    pending = NoCommand;
}

void DeviceProtocol::handleHelloReply(QVector<Event> *events)
{
    if (!readReply() || frame[4] != 0xBF) // the hello's own answer, not any frame
        return;
    handshaking = false;
    pending = NoCommand;
    events->append(Event{Event::Status, HandshakeStatus, 1, {}});
}
