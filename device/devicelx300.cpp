#include "device/devicelx300.h"

#include <QSerialPort>

#include <chrono>
#include <memory>

#ifdef Q_OS_UNIX
#include <poll.h>
#endif

namespace {
// Whether the line under an open port is gone. A pulled cable or a closed pseudo-terminal
// shows as a resource or read error on some systems; on Unix a hung-up line may show only
// to poll(), which QSerialPort's blocking wait does not report.
bool lineGone(QSerialPort &port)
{
    if (port.error() == QSerialPort::ResourceError || port.error() == QSerialPort::ReadError)
        return true;
#ifdef Q_OS_UNIX
    pollfd p{int(port.handle()), POLLIN, 0};
    return ::poll(&p, 1, 0) > 0 && (p.revents & (POLLHUP | POLLERR | POLLNVAL)) != 0;
#else
    return false;
#endif
}
} // namespace

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
        std::lock_guard<std::mutex> lock(mutex);
        heldPortName = portName;
        protocol.resetRing();
        protocol.setHandshaking(true);
        outgoing.clear();
        portOpen = false;
        openTried = false;
        helloCount = 0;
        replyTimer.start();
    }
    running = true;
    connected = true;
    start();
    // The port belongs to the polling thread; wait for it to try opening it.
    std::unique_lock<std::mutex> lock(mutex);
    openedCondition.wait(lock, [this] { return openTried; });
    return openResult;
}

void DeviceLX300::Disconnect()
{
    {
        std::lock_guard<std::mutex> lock(mutex);
        running = false;
    }
    requestCondition.notify_all();
    wait();
    std::lock_guard<std::mutex> lock(mutex);
    if (!connected)
        return;
    protocol.resetRing();
    outgoing.clear();
    heldPortName.clear();
    portOpen = false;
    connected = false;
}

QString DeviceLX300::openErrorText() const
{
    std::lock_guard<std::mutex> lock(mutex);
    return openError;
}

QString DeviceLX300::permissionHint()
{
#ifdef Q_OS_LINUX
    return QStringLiteral("the user must be in the group that owns the device, usually dialout");
#else
    return QStringLiteral("another program may be using the port");
#endif
}

QString DeviceLX300::portName() const
{
    std::lock_guard<std::mutex> lock(mutex);
    return heldPortName;
}

void DeviceLX300::sendFrame(const QByteArray &frame)
{
    // A closed port gets nothing, and nothing restarts the reply timer.
    if (!portOpen)
        return;
    outgoing.append(frame);
    replyTimer.start();
    requestCondition.notify_all();
}

void DeviceLX300::sendRequest(const QByteArray &frame)
{
    commandTimer.start(); // the whole command, its list pages included
    if (portOpen) {
        sendFrame(frame);
        return;
    }
    // Nothing can answer a closed port (never opened, or the cable was pulled): the
    // request fails at once as a time-out, so whoever waits for it ends cleanly.
    if (protocol.pendingCommand() == DeviceProtocol::NoCommand)
        return; // nobody waits for this one
    protocol.timeOut();
    QMetaObject::invokeMethod(
        this, [this] { emit FireRecvStatus(DeviceProtocol::TimeoutStatus, 0); },
        Qt::QueuedConnection);
}

void DeviceLX300::ReadTrackFileHeaders()
{
    std::lock_guard<std::mutex> lock(mutex);
    sendRequest(protocol.readTrackFileHeaders());
}

void DeviceLX300::ReadTrackFileHeadersFrom(quint16 start)
{
    std::lock_guard<std::mutex> lock(mutex);
    sendRequest(protocol.readTrackFileHeadersFrom(start));
}

void DeviceLX300::ReadTrackBlock(quint16 index)
{
    std::lock_guard<std::mutex> lock(mutex);
    sendRequest(protocol.readTrackBlock(index));
}

void DeviceLX300::EndTrackDownload()
{
    std::lock_guard<std::mutex> lock(mutex);
    sendRequest(protocol.endTrackDownload());
}

void DeviceLX300::DeleteAllTrackFiles()
{
    std::lock_guard<std::mutex> lock(mutex);
    sendRequest(protocol.deleteAllTrackFiles());
}

void DeviceLX300::ReadDeviceConfig()
{
    std::lock_guard<std::mutex> lock(mutex);
    sendRequest(protocol.readDeviceConfig());
}

void DeviceLX300::WriteDeviceConfig(const DeviceConfig &config)
{
    std::lock_guard<std::mutex> lock(mutex);
    sendRequest(protocol.writeDeviceConfig(config));
}

void DeviceLX300::SendHello()
{
    sendFrame(protocol.sendHello());
}

TrackDataBlock DeviceLX300::currentBlock() const
{
    std::lock_guard<std::mutex> lock(mutex);
    return protocol.currentBlock();
}

DeviceConfig DeviceLX300::deviceConfig() const
{
    std::lock_guard<std::mutex> lock(mutex);
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
        std::lock_guard<std::mutex> lock(mutex);
        frames.swap(outgoing);
    }
    for (const QByteArray &frame : qAsConst(frames)) {
        const qint64 written = port.write(frame);
        port.flush();
        qCDebug(lcDevice).nospace() << "writeBytes = " << written;
    }
}

void DeviceLX300::openPort(QSerialPort &port)
{
    port.setPortName(portName());
    const bool ok = port.open(QIODevice::ReadWrite) && port.setBaudRate(230400) &&
                    port.setDataBits(QSerialPort::Data8) && port.setParity(QSerialPort::NoParity) &&
                    port.setStopBits(QSerialPort::OneStop) &&
                    port.setFlowControl(QSerialPort::NoFlowControl);
    QString why;
    if (!ok) {
        why = port.errorString();
        if (port.error() == QSerialPort::PermissionError)
            why += QStringLiteral(" (") + permissionHint() + QLatin1Char(')');
    }
    if (!ok && port.isOpen())
        port.close();
    {
        std::lock_guard<std::mutex> lock(mutex);
        portOpen = ok;
        openError = why;
        openResult = ok;
        openTried = true;
    }
    openedCondition.notify_all();
}

bool DeviceLX300::greet(QSerialPort &port)
{
    std::unique_lock<std::mutex> lock(mutex);
    if (!protocol.isHandshaking())
        return true;
    if (replyTimer.elapsed() > HelloIntervalMs && helloCount < MaxHellos) {
        SendHello();
        ++helloCount;
    }
    if (helloCount < MaxHellos)
        return true;
    // Declared in the cycle of the tenth hello; its reply is not waited for.
    running = false;
    lock.unlock();
    if (port.isOpen())
        writeQueued(port);
    emit FireRecvStatus(DeviceProtocol::HandshakeStatus, 0);
    return false;
}

qint64 DeviceLX300::waitForBytes(QSerialPort &port)
{
    if (!port.isOpen()) {
        msleep(CycleMs);
        return 0;
    }
    // With nothing awaited the worker sleeps in the kernel until a request comes, instead of
    // polling the port; what the logger sent meanwhile is nobody's reply.
    bool woke = false;
    {
        std::unique_lock<std::mutex> lock(mutex);
        if (!protocol.isHandshaking() && protocol.pendingCommand() == DeviceProtocol::NoCommand &&
            outgoing.isEmpty()) {
            requestCondition.wait_for(lock, std::chrono::milliseconds(IdleWaitMs),
                                      [this] { return !outgoing.isEmpty() || !running; });
            woke = !outgoing.isEmpty();
        }
    }
    if (woke)
        port.clear(QSerialPort::Input);
    writeQueued(port);
    // A reply is awaited: wait in the kernel up to one cycle for its bytes. (The next request
    // comes after the reply, and wakes the idle wait above at once.)
    if (port.bytesAvailable() == 0)
        port.waitForReadyRead(CycleMs);
    return port.bytesAvailable();
}

void DeviceLX300::readReply(QSerialPort &port, char *scratch, qint64 waiting,
                            QVector<DeviceProtocol::Event> *events)
{
    const qint64 n = port.read(scratch, qMin<qint64>(waiting, DeviceProtocol::ScratchSize));
    QByteArray followUp;
    std::lock_guard<std::mutex> lock(mutex);
    if (n > 0)
        protocol.receive(reinterpret_cast<const uchar *>(scratch), quint32(n));
    // Only a frame taken for the pending command restarts the time-out: a port that keeps
    // talking (a GPS receiver's sentences, noise, frames of another kind) is no answer.
    const qsizetype before = events->size();
    protocol.dispatchReply(events, &followUp);
    if (events->size() > before)
        replyTimer.start();
    if (!followUp.isEmpty())
        sendFrame(followUp);
}

void DeviceLX300::loseLine(QSerialPort &port, QVector<DeviceProtocol::Event> *events)
{
    // Stop writing and say so at once; nothing waits for a reply that cannot come, so no
    // time-out follows.
    port.close();
    std::lock_guard<std::mutex> lock(mutex);
    portOpen = false;
    const bool awaited =
        protocol.pendingCommand() != DeviceProtocol::NoCommand || protocol.isHandshaking();
    protocol.setPendingCommand(DeviceProtocol::NoCommand);
    protocol.setHandshaking(false);
    DeviceProtocol::Event lost;
    lost.cmd = DeviceProtocol::LineLostStatus;
    lost.status = awaited ? 1 : 0;
    events->append(lost);
}

void DeviceLX300::checkTimeOut(QVector<DeviceProtocol::Event> *events)
{
    std::lock_guard<std::mutex> lock(mutex);
    if (!protocol.isHandshaking() && protocol.pendingCommand() != DeviceProtocol::NoCommand &&
        (replyTimer.elapsed() > ReplyTimeoutMs || commandTimer.elapsed() > CommandDeadlineMs))
        events->append(protocol.timeOut());
}

void DeviceLX300::run()
{
    QSerialPort port;
    openPort(port);
    std::unique_ptr<char[]> scratch(new char[DeviceProtocol::ScratchSize]);
    QVector<DeviceProtocol::Event> events;
    while (running && greet(port)) {
        events.clear();
        const qint64 waiting = waitForBytes(port);
        if (waiting > 0)
            readReply(port, scratch.get(), waiting, &events);
        else if (port.isOpen() && lineGone(port))
            loseLine(port, &events);
        if (events.isEmpty()) // also while bytes keep coming that answer nothing
            checkTimeOut(&events);
        emitEvents(events);
    }
    if (port.isOpen()) {
        // A request made just before the disconnect (the end of a download) still goes out.
        writeQueued(port);
        port.waitForBytesWritten(100);
        port.close();
    }
}
