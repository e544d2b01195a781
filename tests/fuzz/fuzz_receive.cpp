// Feeds arbitrary bytes, in arbitrary pieces, through the receive ring, the
// frame extraction and every reply handler, under every pending command.
// Input: one byte choosing the first command, then pieces of (length, bytes);
// whenever a command ends, the next byte chooses the next one.
#include "device/deviceprotocol.h"

#include <QLoggingCategory>

#include <cstdint>
#include <cstdlib>

namespace {

void request(DeviceProtocol &p, uint8_t selector)
{
    using Request = QByteArray (DeviceProtocol::*)();
    static const Request plain[] = {nullptr,
                                    &DeviceProtocol::readDeviceConfig,
                                    nullptr,
                                    &DeviceProtocol::deleteAllTrackFiles,
                                    &DeviceProtocol::readTrackFileHeaders,
                                    &DeviceProtocol::sendHello,
                                    &DeviceProtocol::endTrackDownload}; // leaves nothing pending
    const int which = selector % 8;
    if (which == 0)
        p.readTrackBlock(selector);
    else if (which == 2)
        p.writeDeviceConfig(p.config());
    else if (which == 7)
        p.timeOut();
    else
        (p.*plain[which])();
    if (which == 5)
        p.setHandshaking(true);
}

} // namespace

extern "C" int LLVMFuzzerInitialize(int *, char ***)
{
    QLoggingCategory::setFilterRules(QStringLiteral("lx300.*=false"));
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    if (size < 1)
        return 0;
    DeviceProtocol p;
    request(p, data[0]);
    size_t i = 1;
    QVector<DeviceProtocol::Event> events;
    while (i < size) {
        const size_t length = data[i++];
        const size_t n = length < size - i ? length : size - i;
        const quint32 before = p.receiveRing().available();
        const bool taken = p.receive(data + i, quint32(n));
        if (taken != (before + n <= ReceiveRing::DefaultCapacity))
            abort(); // all or nothing
        i += n;
        QByteArray followUp;
        events.clear();
        p.dispatchReply(&events, &followUp);
        if (p.receiveRing().available() > ReceiveRing::DefaultCapacity)
            abort();
        for (const DeviceProtocol::Event &e : events) {
            if (e.kind == DeviceProtocol::Event::Status && e.status != 1)
                abort(); // replies never report failure themselves
            for (const TrackFileHeader &h : e.headers)
                if (h.time & 0x80000000u)
                    abort(); // the start flag is always removed
        }
        const TrackDataBlock &block = p.currentBlock();
        if (block.shortRecords.size() > TrackDataBlock::MaxShortRecords ||
            block.records.size() > TrackDataBlock::MaxRecords)
            abort();
        if (p.pendingCommand() == DeviceProtocol::NoCommand && i < size)
            request(p, data[i++]);
    }
    return 0;
}
