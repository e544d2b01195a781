#ifndef CLISESSION_H
#define CLISESSION_H

#include "device/devicelx300.h"

#include <QEventLoop>
#include <QObject>
#include <QString>
#include <QVector>

#include <functional>

// Drives the logger step by step for the command-line tool: each call sends
// one request through DeviceLX300 and runs an event loop until its report
// arrives, as the window's slots receive them.
class CliSession : public QObject
{
    Q_OBJECT

public:
    CliSession();
    ~CliSession() override;

    // Opens the port and waits for the handshake.
    bool open(const QString &port);
    bool listTracks(QVector<TrackFileHeader> *headers);
    // Downloads the blocks of the chosen headers into one Track each, exactly
    // as the window does, and ends the download. `progress` is told the count
    // of blocks received out of all.
    bool download(const QVector<TrackFileHeader> &chosen, QVector<Track> *tracks,
                  const std::function<void(int, int)> &progress);
    bool readConfig(DeviceConfig *config);
    bool writeConfig(const DeviceConfig &config);
    bool deleteAll();

    QString errorString() const { return error; }

private slots:
    void onStatus(int cmd, int status);
    void onList(QVector<TrackFileHeader> list);

private:
    // Waits for (cmd, 1); false on a time-out, a failed handshake or when no
    // report came at all (the logger refused an acknowledged command).
    bool waitFor(int cmd);

    DeviceLX300 device;
    QEventLoop *waiting = nullptr; // quit by each report
    QVector<QPair<int, int>> statuses;
    QVector<QVector<TrackFileHeader>> lists;
    QString error;
};

#endif // CLISESSION_H
