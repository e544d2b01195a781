#ifndef DEVICERECORDER_H
#define DEVICERECORDER_H

#include "device/devicelx300.h"

#include <QElapsedTimer>
#include <QObject>
#include <QPair>
#include <QVector>
#include <QtTest>

#include <functional>

// Processes events until `done` holds or `timeoutMs` passed; true when it held.
inline bool waitFor(const std::function<bool()> &done, int timeoutMs)
{
    QElapsedTimer t;
    t.start();
    while (!done() && t.elapsed() < timeoutMs)
        QTest::qWait(5);
    return done();
}

// Collects the worker's reports in the test's thread through queued
// connections, the way the main window receives them.
class DeviceRecorder : public QObject
{
    Q_OBJECT

public:
    explicit DeviceRecorder(DeviceLX300 *device)
    {
        clock.start();
        connect(device, &DeviceLX300::FireRecvStatus, this, &DeviceRecorder::onStatus,
                Qt::QueuedConnection);
        connect(device, &DeviceLX300::FireRecvTrackFileHeader, this, &DeviceRecorder::onList,
                Qt::QueuedConnection);
    }

    QVector<QPair<int, int>> statuses;
    QVector<qint64> statusTimes; // ms since the recorder was made or restarted
    QVector<QVector<TrackFileHeader>> lists;
    QElapsedTimer clock;

    void restart()
    {
        statuses.clear();
        statusTimes.clear();
        lists.clear();
        clock.restart();
    }
    bool has(int cmd, int status) const { return statuses.contains(qMakePair(cmd, status)); }

public slots:
    void onStatus(int cmd, int status)
    {
        statuses.append(qMakePair(cmd, status));
        statusTimes.append(clock.elapsed());
    }
    void onList(QVector<TrackFileHeader> list) { lists.append(list); }
};

#endif // DEVICERECORDER_H
