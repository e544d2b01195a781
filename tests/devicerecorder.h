#ifndef DEVICERECORDER_H
#define DEVICERECORDER_H

#include "device/devicelx300.h"

#include <QElapsedTimer>
#include <QObject>
#include <QPair>
#include <QVector>
#include <QtTest>

#include <functional>
#include <mutex>

// Processes events until `done` holds or `timeoutMs` passed; true when it held.
inline bool waitFor(const std::function<bool()> &done, int timeoutMs)
{
    QElapsedTimer t;
    t.start();
    while (!done() && t.elapsed() < timeoutMs)
        QTest::qWait(5);
    return done();
}

// Collects the worker's reports. The slots run in the worker's own thread
// (direct connections) and the records sit behind a standard lock, so the
// hand-over is one ThreadSanitizer can follow; Qt's queued-event machinery
// lives in uninstrumented libraries and would only produce false reports.
class DeviceRecorder : public QObject
{
    Q_OBJECT

public:
    explicit DeviceRecorder(DeviceLX300 *device)
    {
        clock.start();
        connect(device, &DeviceLX300::FireRecvStatus, this, &DeviceRecorder::onStatus,
                Qt::DirectConnection);
        connect(device, &DeviceLX300::FireRecvTrackFileHeader, this, &DeviceRecorder::onList,
                Qt::DirectConnection);
    }

    QVector<QPair<int, int>> statuses() const
    {
        std::lock_guard<std::mutex> lock(mutex);
        return statusList;
    }
    // ms since the recorder was made or restarted, one per status
    QVector<qint64> statusTimes() const
    {
        std::lock_guard<std::mutex> lock(mutex);
        return timeList;
    }
    QVector<QVector<TrackFileHeader>> lists() const
    {
        std::lock_guard<std::mutex> lock(mutex);
        return listList;
    }
    bool has(int cmd, int status) const { return statuses().contains(qMakePair(cmd, status)); }

    void restart()
    {
        std::lock_guard<std::mutex> lock(mutex);
        statusList.clear();
        timeList.clear();
        listList.clear();
        clock.restart();
    }

public slots:
    void onStatus(int cmd, int status)
    {
        std::lock_guard<std::mutex> lock(mutex);
        statusList.append(qMakePair(cmd, status));
        timeList.append(clock.elapsed());
    }
    void onList(QVector<TrackFileHeader> list)
    {
        std::lock_guard<std::mutex> lock(mutex);
        listList.append(list);
    }

private:
    mutable std::mutex mutex;
    QElapsedTimer clock;
    QVector<QPair<int, int>> statusList;
    QVector<qint64> timeList;
    QVector<QVector<TrackFileHeader>> listList;
};

#endif // DEVICERECORDER_H
