// The simulated logger's line: the pseudo-terminal, the requests it reads, the replies it
// sends and the faults it puts in them.
#include "tools/sim/loggersimulator.h"

#include "device/frame.h"
#include "tools/sim/simbytes.h"

#include <QElapsedTimer>

#include <cerrno>
#include <chrono>
#include <fcntl.h>
#include <poll.h>
#include <termios.h>
#include <thread>
#include <unistd.h>

using namespace SimBytes;

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
        // In slices: an interrupt or stop() ends a long delay at once.
        for (int slept = 0; slept < ms && running; slept += 20)
            std::this_thread::sleep_for(std::chrono::milliseconds(qMin(20, ms - slept)));
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

namespace {
// Cuts the next request frame out of `buffer` into `payload` (empty for a damaged frame,
// whose start is skipped); false while no whole frame is there. Noise before a start
// sequence is dropped.
bool cutFrame(QByteArray &buffer, QByteArray *payload)
{
    if (buffer.size() < Frame::Overhead)
        return false;
    const int startAt = int(buffer.indexOf("\xA0\xA2"));
    if (startAt < 0) {
        buffer = buffer.right(1);
        return false;
    }
    buffer.remove(0, startAt);
    if (buffer.size() < 4)
        return false;
    const int len = qFromBigEndian<quint16>(buffer.constData() + 2);
    if (buffer.size() < len + Frame::Overhead)
        return false;
    const bool valid = Frame::validateFrame(reinterpret_cast<const uchar *>(buffer.constData()),
                                            len + Frame::Overhead);
    *payload = valid ? buffer.mid(4, len) : QByteArray();
    buffer.remove(0, valid ? len + Frame::Overhead : 2);
    return true;
}
} // namespace

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
        QByteArray payload;
        while (running && cutFrame(buffer, &payload))
            if (!payload.isEmpty())
                handleRequest(payload);
    }
}
