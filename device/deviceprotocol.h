#ifndef DEVICEPROTOCOL_H
#define DEVICEPROTOCOL_H

#include "device/deviceconfig.h"
#include "device/receivering.h"
#include "model/trackrecords.h"

#include <QByteArray>
#include <QVector>

#include <QLoggingCategory>

#include <memory>

Q_DECLARE_LOGGING_CATEGORY(lcDevice)

// The logger's command set without a port or a thread: request frames are
// built here, received bytes go into the ring, and complete replies are cut
// out and decoded by the handler of the pending command. The worker thread
// only moves bytes and time around this object.
class DeviceProtocol
{
public:
    // Pending command values; also the `cmd` of the status reports.
    enum Command : quint16
    {
        NoCommand = 0,
        ReadBlock = 181,
        ReadConfig = 183,
        WriteConfig = 184,
        DeleteAll = 186,
        ReadList = 187,
        Hello = 191,
    };
    enum Report : int
    {
        // The port failed under the worker (the cable was pulled, the line closed); the
        // status is 1 when a command was waiting for its reply, 0 when none was.
        LineLostStatus = 253,
        HandshakeStatus = 254,
        TimeoutStatus = 255
    };

    struct Event
    {
        enum Kind
        {
            Status,
            TrackList
        } kind = Status;
        int cmd = 0;
        int status = 0;
        QVector<TrackFileHeader> headers;
    };

    static constexpr quint32 MaxListEntries = 65536;
    static constexpr quint32 ScratchSize = 2880; // most bytes taken from the port per cycle

    DeviceProtocol();

    // Request payloads. Each sets the pending command (EndTrackDownload leaves
    // it) and empties the ring, and returns the frame to write.
    QByteArray readTrackFileHeaders();
    QByteArray readTrackFileHeadersFrom(quint16 start);
    QByteArray readTrackBlock(quint16 index);
    QByteArray endTrackDownload();
    QByteArray deleteAllTrackFiles();
    QByteArray readDeviceConfig();
    QByteArray writeDeviceConfig(const DeviceConfig &config);
    QByteArray sendHello();

    // Appends received bytes to the ring; false (dropping them all) when they do not fit.
    bool receive(const uchar *bytes, quint32 n);

    // Runs the handler of the pending command over the ring. Reports go to
    // `events`; a follow-up request (the next list page) goes to `followUp`.
    void dispatchReply(QVector<Event> *events, QByteArray *followUp);

    // The time-out: clears the pending command and reports (255, 0).
    Event timeOut();

    quint16 pendingCommand() const { return pending; }
    void setPendingCommand(quint16 command) { pending = command; }
    bool isHandshaking() const { return handshaking; }
    void setHandshaking(bool on) { handshaking = on; }

    const TrackDataBlock &currentBlock() const { return block; }
    const DeviceConfig &config() const { return deviceConfig; }
    quint32 lastReplyLength() const { return lastLength; }
    const ReceiveRing &receiveRing() const { return ring; }

    // Empties the ring (the worker does this at connect and disconnect).
    void resetRing() { ring.clear(); }

private:
    QByteArray request(quint16 command, const QByteArray &payload);
    bool readReply();
    bool readBlockReply();

    void handleTrackBlockReply(QVector<Event> *events);
    void handleConfigReply(QVector<Event> *events);
    void handleAckReply(int cmd, QVector<Event> *events);
    void handleTrackListReply(QVector<Event> *events, QByteArray *followUp);
    void handleHelloReply(QVector<Event> *events);

    struct ListEntry
    {
        quint32 timeWord;
        quint32 date;
        quint32 blockIndex;
    };

    ReceiveRing ring;
    std::unique_ptr<uchar[]> frame;
    quint32 lastLength = 0;
    quint16 pending = NoCommand;
    bool handshaking = false;
    TrackDataBlock block;
    QVector<ListEntry> entries;
    quint16 listStart = 0; // the entry the page asked for starts at
    DeviceConfig deviceConfig;
    quint8 configByte24 = 0; // not part of the record, passed back on write
    quint8 configByte25 = 0;
};

#endif // DEVICEPROTOCOL_H
