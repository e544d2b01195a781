#ifndef CLISESSION_H
#define CLISESSION_H

#include "device/loggersession.h"

#include <QString>
#include <QVector>

#include <functional>

// The logger session, one task at a time, for a program without a window: each call starts
// a task and sleeps in an event loop until the session reports its end.
class CliSession
{
public:
    // Opens the port and waits for the greeting.
    bool open(const QString &port);
    bool listTracks(QVector<TrackFileHeader> *headers);
    // Downloads the blocks of the chosen headers into one Track each; `progress` is told
    // the count of blocks received out of all. Cut short, `tracks` holds those that got a
    // block, the last one marked incomplete. `received` is given each track whose listed
    // blocks are all in, while the next ones download.
    bool download(const QVector<TrackFileHeader> &chosen, QVector<Track> *tracks,
                  const std::function<void(int, int)> &progress,
                  const std::function<void(int, const Track &)> &received = {});
    bool readConfig(DeviceConfig *config);
    bool writeConfig(const DeviceConfig &config);
    bool deleteAll();

    QString errorString() const { return error; }
    QString downloadMismatch() const { return session.downloadMismatch(); }
    int impossiblePoints() const { return session.impossiblePoints(); }

private:
    // Runs `begin` and waits for its task's end; false with errorString() unless it is done.
    bool run(const std::function<void()> &begin);

    LoggerSession session;
    QVector<Track> result;
    QString error;
};

#endif // CLISESSION_H
