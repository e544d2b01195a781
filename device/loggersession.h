#ifndef LOGGERSESSION_H
#define LOGGERSESSION_H

#include "device/devicelx300.h"

#include <QObject>
#include <QString>
#include <QTimer>
#include <QVector>

// One conversation with the logger, for the window and the command-line tool alike: it
// owns the worker and the state of a download (the blocks asked for, those received, the
// track being filled), and ends every task with one `finished` report naming its outcome.
// Tasks run one at a time, as the logger takes them.
class LoggerSession : public QObject
{
    Q_OBJECT

public:
    enum class Task
    {
        None, // no task: a report that came while nothing was asked
        Connect,
        List,
        Download,
        ReadConfig,
        WriteConfig,
        DeleteAll
    };
    Q_ENUM(Task)
    enum class Outcome
    {
        Done,
        Cancelled,
        TimedOut,        // the logger stopped answering
        HandshakeFailed, // it never answered the greeting, or the port did not open
        Refused,         // it did not take a setting or a deletion
        LineLost         // the port went away under the worker
    };
    Q_ENUM(Outcome)

    // Longer than the worker's own time-out: only a write or a delete that the logger
    // refused ends without any report, and that is what this limit is for.
    static constexpr int RefusalWaitMs = 6000;

    explicit LoggerSession(QObject *parent = nullptr);
    ~LoggerSession() override;

    // Opens the port and greets the logger. False at once when a connection is held already;
    // otherwise the greeting's end is reported (a port that cannot open fails at once).
    bool connectTo(const QString &portName);
    void disconnectFrom();
    // The port went away (detection no longer lists it): the task under way ends as a lost
    // line would end it, and the connection is dropped.
    void portVanished();
    bool isConnected() const { return device.isConnected(); }
    QString portName() const { return device.portName(); }
    // Why the port could not be opened, for the user; empty when it could.
    QString openErrorText() const { return device.openErrorText(); }
    Task task() const { return current; }

    // Reports trackListReady, then finishes.
    void listTracks();
    // Downloads the blocks of the chosen tracks, in order, reporting progress after each.
    void download(const QVector<TrackFileHeader> &chosen);
    void cancelDownload();
    void readConfig(); // config() holds it when done
    void writeConfig(const DeviceConfig &config);
    void deleteAll();

    QVector<TrackFileHeader> trackList() const { return headers; }
    DeviceConfig config() const { return device.deviceConfig(); }
    // The download under way: the block indexes asked for and how many have arrived.
    const QVector<int> &downloadBlockIndexes() const { return blockIndexes; }
    int receivedBlockCount() const { return received; }

    // After a download that ended Done: where the tracks received do not match the logger's
    // list (a track merged into the one before, one without any readable point, blocks of
    // an unknown log format), in words; empty when they match.
    QString downloadMismatch() const { return mismatch; }
    // After a download: records left out for an impossible position.
    int impossiblePoints() const { return impossible; }
    // The user's text for an outcome, the same for the window and the command line.
    static QString describe(Task task, Outcome outcome);

signals:
    void trackListReady(const QVector<TrackFileHeader> &headers);
    void progress(int received, int total);
    // One per task. A download gives every track when Done; when it stops early
    // (TimedOut, LineLost) the tracks that got a block, marked incomplete where they are;
    // otherwise none.
    void finished(LoggerSession::Task task, LoggerSession::Outcome outcome,
                  const QVector<Track> &tracks);
    // During a download, each track as soon as all its listed blocks are in (its place in the
    // tracks asked for), so that it can be stored while the next one arrives. `finished`
    // still gives it, and may find the download as a whole at odds with the list.
    void trackReceived(int index, const Track &track);

private:
    void start(Task task);
    void finish(Outcome outcome);
    void onStatus(int cmd, int status);
    void onList(const QVector<TrackFileHeader> &list);
    void onBlock();

    DeviceLX300 device;
    Task current = Task::None;
    QTimer refusal; // a write or delete the logger did not acknowledge
    QVector<TrackFileHeader> headers;
    QVector<int> blockIndexes;
    int received = 0;
    int currentTrackIndex = -1;
    QVector<Track> downloaded;
    QString mismatch;
    int impossible = 0;
};

#endif // LOGGERSESSION_H
