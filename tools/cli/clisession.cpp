#include "tools/cli/clisession.h"

#include "model/conversions.h"
#include "model/trackblock.h"

#include <QCoreApplication>
#include <QEventLoop>
#include <QScopeGuard>
#include <QTimer>

namespace {
// Longer than the worker's own 3 s time-out: only a command that ended
// without any report (a refusal) runs into it.
constexpr int ReportWaitMs = 6000;

// The window's own messages, so both say the same.
QString windowText(const char *text)
{
    return QCoreApplication::translate("MainWindow", text);
}
} // namespace

CliSession::CliSession()
{
    connect(&device, &DeviceLX300::FireRecvStatus, this, &CliSession::onStatus,
            Qt::QueuedConnection);
    connect(&device, &DeviceLX300::FireRecvTrackFileHeader, this, &CliSession::onList,
            Qt::QueuedConnection);
}

CliSession::~CliSession()
{
    device.Disconnect();
}

void CliSession::onStatus(int cmd, int status)
{
    statuses.append(qMakePair(cmd, status));
    if (waiting)
        waiting->quit();
}

void CliSession::onList(QVector<TrackFileHeader> list)
{
    lists.append(list);
    if (waiting)
        waiting->quit();
}

bool CliSession::waitFor(int cmd)
{
    // The worker reports every command that goes unanswered (its time-out is per reply, so a
    // slow logger that keeps answering is waited for); only an acknowledged command that the
    // logger refused ends without any report, and that is what our own limit is for.
    const bool acknowledged =
        cmd == DeviceProtocol::WriteConfig || cmd == DeviceProtocol::DeleteAll;
    // The loop sleeps until a report or the limit wakes it: the reports quit it.
    QEventLoop loop;
    QTimer limit;
    limit.setSingleShot(true);
    connect(&limit, &QTimer::timeout, &loop, &QEventLoop::quit);
    if (acknowledged)
        limit.start(ReportWaitMs);
    waiting = &loop;
    const auto done = qScopeGuard([this] { waiting = nullptr; });
    for (;;) {
        while (!statuses.isEmpty()) {
            const QPair<int, int> s = statuses.takeFirst();
            if (s.first == cmd && s.second == 1)
                return true;
            if (s.first == DeviceProtocol::HandshakeStatus && s.second == 0) {
                error = windowText("Failed connect device.");
                return false;
            }
            if (s.first == DeviceProtocol::TimeoutStatus) {
                error = windowText("Read device data timeout.");
                return false;
            }
            if (s.first == DeviceProtocol::LineLostStatus) {
                error = QCoreApplication::translate("CliSession", "The logger's line was lost.");
                return false;
            }
        }
        if (cmd == DeviceProtocol::ReadList && !lists.isEmpty())
            return true;
        if (acknowledged && !limit.isActive())
            break;
        loop.exec();
    }
    error = QCoreApplication::translate("CliSession", "The logger did not answer.");
    return false;
}

bool CliSession::open(const QString &port)
{
    statuses.clear();
    if (!device.Connect(port)) {
        error = windowText("Failed connect device.") + QLatin1Char(' ') + device.openErrorText();
        return false;
    }
    return waitFor(DeviceProtocol::HandshakeStatus);
}

bool CliSession::listTracks(QVector<TrackFileHeader> *headers)
{
    lists.clear();
    device.ReadTrackFileHeaders();
    if (!waitFor(DeviceProtocol::ReadList))
        return false;
    *headers = lists.takeFirst();
    return true;
}

bool CliSession::download(const QVector<TrackFileHeader> &chosen, QVector<Track> *tracks,
                          const std::function<void(int, int)> &progress)
{
    QVector<int> blocks;
    tracks->clear();
    for (const TrackFileHeader &header : chosen) {
        Track track;
        track.startTime = packedDateTimeToEpoch(header.date, header.time);
        tracks->append(track);
        blocks += header.blockIndexes;
    }
    int current = -1;
    for (int received = 0; received < blocks.size(); ++received) {
        device.ReadTrackBlock(quint16(blocks[received]));
        if (!waitFor(DeviceProtocol::ReadBlock))
            return false;
        appendTrackBlock(*tracks, current, device.currentBlock());
        if (progress)
            progress(received + 1, int(blocks.size()));
    }
    if (!blocks.isEmpty())
        device.EndTrackDownload();
    return true;
}

bool CliSession::readConfig(DeviceConfig *config)
{
    device.ReadDeviceConfig();
    if (!waitFor(DeviceProtocol::ReadConfig))
        return false;
    *config = device.deviceConfig();
    return true;
}

bool CliSession::writeConfig(const DeviceConfig &config)
{
    device.WriteDeviceConfig(config);
    if (waitFor(DeviceProtocol::WriteConfig))
        return true;
    if (error == QCoreApplication::translate("CliSession", "The logger did not answer."))
        error = QCoreApplication::translate("CliSession", "The logger refused the settings.");
    return false;
}

bool CliSession::deleteAll()
{
    device.DeleteAllTrackFiles();
    if (waitFor(DeviceProtocol::DeleteAll))
        return true;
    if (error == QCoreApplication::translate("CliSession", "The logger did not answer."))
        error = QCoreApplication::translate("CliSession", "The logger did not delete its tracks.");
    return false;
}
