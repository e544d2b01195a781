#ifndef DEVICELX300_H
#define DEVICELX300_H

#include "device/deviceprotocol.h"

#include <QElapsedTimer>
#include <QString>
#include <QThread>
#include <QVector>

#include <atomic>
#include <condition_variable>
#include <mutex>

class QSerialPort;

// Owns the serial connection to the logger. Its thread is the only one that
// touches the port: requests from the owner's thread are built and queued
// under a lock, and the polling loop writes them, reads replies, runs the
// handshake and the time-out, and reports through the two signals.
class DeviceLX300 : public QThread
{
    Q_OBJECT

public:
    static constexpr int HelloIntervalMs = 500;
    static constexpr int MaxHellos = 10;
    static constexpr int ReplyTimeoutMs = 3000; // from the request or the last frame taken
    // However it answers, a command ends within this (a full logger's listing, paced, takes
    // about 35 s).
    static constexpr int CommandDeadlineMs = 60000;
    static constexpr int CycleMs = 10;
    static constexpr int IdleWaitMs = 100; // longest sleep with nothing awaited

    DeviceLX300();
    ~DeviceLX300() override;

    // Starts a connection: opens the port and begins the hello handshake.
    // False at once when a port is already held; otherwise whether it opened.
    bool Connect(const QString &portName);
    // Ends the connection; returns once the polling thread has ended.
    void Disconnect();
    bool isConnected() const { return connected; }
    // Why the last Connect could not open the port, for the user; empty when it could.
    QString openErrorText() const;
    static QString permissionHint();
    QString portName() const;

    void ReadTrackFileHeaders();
    void ReadTrackFileHeadersFrom(quint16 start);
    void ReadTrackBlock(quint16 index);
    void EndTrackDownload();
    void DeleteAllTrackFiles();
    void ReadDeviceConfig();
    void WriteDeviceConfig(const DeviceConfig &config);

    // Valid after (181, 1) and (183, 1) respectively.
    TrackDataBlock currentBlock() const;
    DeviceConfig deviceConfig() const;

signals:
    void FireRecvTrackFileHeader(QVector<TrackFileHeader> trackFileHeaderList);
    void FireRecvStatus(int cmd, int status);

protected:
    void run() override;

private:
    void SendHello();
    // Queues a frame for the polling loop; called with the lock held.
    void sendFrame(const QByteArray &frame);
    void sendRequest(const QByteArray &frame);
    void emitEvents(const QVector<DeviceProtocol::Event> &events);
    void writeQueued(QSerialPort &port);
    // The polling loop's steps, each in the worker's thread.
    void openPort(QSerialPort &port);
    // Sends the next hello while greeting; false once the greeting has failed.
    bool greet(QSerialPort &port);
    // Writes what is queued and waits for bytes: in the kernel up to one cycle while a reply
    // is awaited, longer while nothing is. The bytes waiting to be read.
    qint64 waitForBytes(QSerialPort &port);
    void readReply(QSerialPort &port, char *scratch, qint64 waiting,
                   QVector<DeviceProtocol::Event> *events);
    void loseLine(QSerialPort &port, QVector<DeviceProtocol::Event> *events);
    void checkTimeOut(QVector<DeviceProtocol::Event> *events);

    // Standard locks rather than Qt's: ThreadSanitizer sees through them, and
    // it cannot see inside the (uninstrumented) Qt libraries.
    mutable std::mutex mutex; // guards everything below but the atomics
    QElapsedTimer replyTimer;
    QElapsedTimer commandTimer;
    DeviceProtocol protocol;
    QVector<QByteArray> outgoing;
    QString heldPortName;
    bool portOpen = false;
    int helloCount = 0;

    std::atomic<bool> running{false};
    std::atomic<bool> connected{false};
    std::condition_variable openedCondition;
    std::condition_variable requestCondition; // a frame to write, or the end
    bool openTried = false;
    bool openResult = false;
    QString openError;
};

#endif // DEVICELX300_H
