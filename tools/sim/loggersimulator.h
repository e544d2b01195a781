#ifndef LOGGERSIMULATOR_H
#define LOGGERSIMULATOR_H

#include "device/deviceconfig.h"
#include "model/trackrecords.h"

#include <QByteArray>
#include <QString>
#include <QVector>

#include <atomic>
#include <mutex>
#include <thread>

// One track in the simulated logger's memory, in the logger's own packed form.
struct SimulatedTrack
{
    int format = 2; // log format 1 or 2
    QVector<DeviceTrackPoint> points;
};

// A scripted LX-300 on a pseudo-terminal: it answers every request of the
// logger's command set from its memory, and can be told to misbehave.
class LoggerSimulator
{
public:
    enum class Fault
    {
        NoReply,       // the reply is lost
        BadChecksum,   // checksum off by one
        WrongId,       // first payload byte changed
        StrayByte,     // one extra byte before the reply
        CutShort,      // the last bytes of the reply never come
        NoSecondFrame, // a data block without its second frame
        CloseLine,     // the line closes instead of answering
    };
    struct FaultRule
    {
        Fault fault = Fault::NoReply;
        quint8 command = 0; // message id it applies to; 0 = any
        int skip = 0;       // matching requests answered normally first
        int count = 1;      // how many replies it spoils; -1 = all after `skip`
    };

    static constexpr int LineRate = 23040; // bytes per second at 230400 bit/s
    static constexpr int FirstBlockIndex = 7;

    LoggerSimulator();
    ~LoggerSimulator();
    LoggerSimulator(const LoggerSimulator &) = delete;
    LoggerSimulator &operator=(const LoggerSimulator &) = delete;

    // Opens the pseudo-terminal and starts answering. The path to open is portPath().
    bool start();
    void stop();
    QString portPath() const { return slavePath; }

    // Memory and behaviour; all may be changed while running.
    void setTracks(const QVector<SimulatedTrack> &tracks);
    void setPageSize(int entries);
    void setSilent(bool silent);
    void setHelloAnswerFrom(int n); // answer hellos from the n-th on (1 = at once)
    void setPaced(bool paced);      // send replies at the real line rate
    // Waits `ms` before each reply to `command` (0: every reply), as a slow logger would.
    void setReplyDelay(int ms, quint8 command = 0);
    void setWriteResult(quint32 result);
    void setDeleteResult(quint32 result);
    void setConfigReply(const QByteArray &payload); // a whole 0xB7 reply payload
    void addFault(const FaultRule &rule);
    void clearFaults();

    // What happened.
    int hellosReceived() const;
    QVector<QByteArray> requests() const; // request payloads, in arrival order
    QByteArray configReply() const;
    QVector<SimulatedTrack> tracks() const;
    bool lineClosed() const;

    // What a download of the given tracks (indexes into the memory) must give.
    QVector<TrackFileHeader> headers() const;
    QVector<Track> expectedTracks(const QVector<int> &which) const;

    // The reply the logger gives to one request payload, as it would send it
    // without faults (empty when it gives none). Counts a hello like a real one.
    QByteArray answer(const QByteArray &request, bool *isBlock = nullptr);

    // A believable moving path: start time in UTC seconds, points 5 s apart,
    // every 40th a mark point.
    static SimulatedTrack makeTrack(int format, int pointCount, quint32 seed, quint32 startTime);
    static QByteArray defaultConfigReply();
    // Packs degrees into the logger's degrees-minutes form.
    static qint32 packCoordinate(double degrees);
    static void packDateTime(quint32 epoch, quint32 *date, quint32 *time);

private:
    void serve();
    void handleRequest(const QByteArray &payload);
    void reply(quint8 command, QByteArray bytes, bool isBlock);
    bool sendBytes(const QByteArray &bytes);
    QByteArray blockBytes(int blockIndex) const;
    QByteArray listPage(quint16 start) const;
    int blockCount(const SimulatedTrack &track) const;

    int masterFd = -1;
    int slaveFd = -1;
    QString slavePath;
    std::thread thread;
    std::atomic<bool> running{false};

    mutable std::mutex mutex; // guards the state below
    QVector<SimulatedTrack> memory;
    QVector<FaultRule> faults;
    QVector<int> faultSeen;
    QVector<QByteArray> received;
    QByteArray config;
    int pageSize = 20;
    bool silent = false;
    int helloAnswerFrom = 1;
    int hellos = 0;
    bool paced = false;
    int replyDelayMs = 0;
    quint8 replyDelayCommand = 0;
    quint32 writeResult = 1;
    quint32 deleteResult = 1;
    bool closed = false;
};

#endif // LOGGERSIMULATOR_H
