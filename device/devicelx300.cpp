#include "device/devicelx300.h"

#include <QMutexLocker>
#include <QSerialPort>

#include <memory>

DeviceLX300::DeviceLX300() : QThread(nullptr) {}

DeviceLX300::~DeviceLX300()
{
    Disconnect();
}

bool DeviceLX300::Connect(const QString &portName)
{
    if (connected)
        return false;
    {
        QMutexLocker lock(&mutex);
        heldPortName = portName;
        protocol.resetRing();
        protocol.setHandshaking(true);
        outgoing.clear();
        portOpen = false;
        helloCount = 0;
        replyTimer.start();
    }
    running = true;
    connected = true;
    start();
    // The port belongs to the polling thread; wait for it to try opening it.
    opened.acquire();
    QMutexLocker lock(&mutex);
    return openResult;
}

void DeviceLX300::Disconnect()
{
    running = false;
    wait();
    QMutexLocker lock(&mutex);
    if (!connected)
        return;
    protocol.resetRing();
    outgoing.clear();
    heldPortName.clear();
    portOpen = false;
    connected = false;
}

QString DeviceLX300::portName() const
{
    QMutexLocker lock(&mutex);
    return heldPortName;
}

void DeviceLX300::sendFrame(const QByteArray &frame)
{
    // A closed port gets nothing, and nothing restarts the reply timer.
    if (!portOpen)
        return;
    outgoing.append(frame);
    replyTimer.start();
}

void DeviceLX300::ReadTrackFileHeaders()
{
    QMutexLocker lock(&mutex);
    sendFrame(protocol.readTrackFileHeaders());
}

void DeviceLX300::ReadTrackFileHeadersFrom(quint16 start)
{
    QMutexLocker lock(&mutex);
    sendFrame(protocol.readTrackFileHeadersFrom(start));
}

void DeviceLX300::ReadTrackBlock(quint16 index)
{
    QMutexLocker lock(&mutex);
    sendFrame(protocol.readTrackBlock(index));
}

void DeviceLX300::EndTrackDownload()
{
    QMutexLocker lock(&mutex);
    sendFrame(protocol.endTrackDownload());
}

void DeviceLX300::DeleteAllTrackFiles()
{
    QMutexLocker lock(&mutex);
    sendFrame(protocol.deleteAllTrackFiles());
}

void DeviceLX300::ReadDeviceConfig()
{
    QMutexLocker lock(&mutex);
    sendFrame(protocol.readDeviceConfig());
}

void DeviceLX300::WriteDeviceConfig(const DeviceConfig &config)
{
    QMutexLocker lock(&mutex);
    sendFrame(protocol.writeDeviceConfig(config));
}

void DeviceLX300::SendHello()
{
    sendFrame(protocol.sendHello());
}

TrackDataBlock DeviceLX300::currentBlock() const
{
    QMutexLocker lock(&mutex);
    return protocol.currentBlock();
}

DeviceConfig DeviceLX300::deviceConfig() const
{
    QMutexLocker lock(&mutex);
    return protocol.config();
}

void DeviceLX300::emitEvents(const QVector<DeviceProtocol::Event> &events)
{
    for (const DeviceProtocol::Event &e : events) {
        if (e.kind == DeviceProtocol::Event::TrackList)
            emit FireRecvTrackFileHeader(e.headers);
        else
            emit FireRecvStatus(e.cmd, e.status);
    }
}

void DeviceLX300::writeQueued(QSerialPort &port)
{
    QVector<QByteArray> frames;
    {
        QMutexLocker lock(&mutex);
        frames.swap(outgoing);
    }
    for (const QByteArray &frame : qAsConst(frames)) {
        const qint64 written = port.write(frame);
        port.flush();
        qCDebug(lcDevice).nospace() << "writeBytes = " << written;
    }
}

void DeviceLX300::run()
{
    QSerialPort port;
    port.setPortName(portName());
    const bool ok = port.open(QIODevice::ReadWrite) && port.setBaudRate(230400) &&
                    port.setDataBits(QSerialPort::Data8) && port.setParity(QSerialPort::NoParity) &&
                    port.setStopBits(QSerialPort::OneStop) &&
                    port.setFlowControl(QSerialPort::NoFlowControl);
    if (!ok && port.isOpen())
        port.close();
    {
        QMutexLocker lock(&mutex);
        portOpen = ok;
        openResult = ok;
    }
    opened.release();

    std::unique_ptr<char[]> scratch(new char[DeviceProtocol::ScratchSize]);
    QVector<DeviceProtocol::Event> events;
    while (running) {
        events.clear();
        {
            QMutexLocker lock(&mutex);
            if (protocol.isHandshaking()) {
                if (replyTimer.elapsed() > HelloIntervalMs && helloCount < MaxHellos) {
                    SendHello();
                    ++helloCount;
                }
                if (helloCount >= MaxHellos) {
                    // Declared in the cycle of the tenth hello; its reply is not waited for.
                    running = false;
                    lock.unlock();
                    if (port.isOpen())
                        writeQueued(port);
                    emit FireRecvStatus(DeviceProtocol::HandshakeStatus, 0);
                    break;
                }
            }
        }

        qint64 waiting = 0;
        if (port.isOpen()) {
            writeQueued(port);
            // Wait up to one cycle for bytes, but look at the request queue every
            // millisecond so a request does not sit out the rest of the cycle.
            QElapsedTimer cycle;
            cycle.start();
            while (port.bytesAvailable() == 0 && cycle.elapsed() < CycleMs && running) {
                port.waitForReadyRead(1);
                QMutexLocker lock(&mutex);
                if (!outgoing.isEmpty())
                    break;
            }
            waiting = port.bytesAvailable();
        } else {
            msleep(CycleMs);
        }

        QByteArray followUp;
        if (waiting > 0) {
            const qint64 n =
                port.read(scratch.get(), qMin<qint64>(waiting, DeviceProtocol::ScratchSize));
            QMutexLocker lock(&mutex);
            replyTimer.start();
            if (n > 0)
                protocol.receive(reinterpret_cast<const uchar *>(scratch.get()), quint32(n));
            protocol.dispatchReply(&events, &followUp);
            if (!followUp.isEmpty())
                sendFrame(followUp);
        } else if (port.isOpen() && port.error() == QSerialPort::ResourceError) {
            // The line is gone: stop writing; a pending command times out.
            port.close();
            QMutexLocker lock(&mutex);
            portOpen = false;
        } else {
            QMutexLocker lock(&mutex);
            if (!protocol.isHandshaking() &&
                protocol.pendingCommand() != DeviceProtocol::NoCommand &&
                replyTimer.elapsed() > ReplyTimeoutMs)
                events.append(protocol.timeOut());
        }
        emitEvents(events);
    }
    if (port.isOpen()) {
        // A request made just before the disconnect (the end of a download)
        // still goes out.
        writeQueued(port);
        port.waitForBytesWritten(100);
        port.close();
    }
}
