#include "device/loggersession.h"

#include "model/conversions.h"
#include "model/trackblock.h"

#include <QCoreApplication>

#include <algorithm>

LoggerSession::LoggerSession(QObject *parent) : QObject(parent)
{
    registerTrackRecordTypes();
    connect(&device, &DeviceLX300::FireRecvStatus, this, &LoggerSession::onStatus,
            Qt::QueuedConnection);
    connect(&device, &DeviceLX300::FireRecvTrackFileHeader, this, &LoggerSession::onList,
            Qt::QueuedConnection);
    refusal.setSingleShot(true);
    refusal.setInterval(RefusalWaitMs);
    connect(&refusal, &QTimer::timeout, this, [this] { finish(Outcome::Refused); });
}

LoggerSession::~LoggerSession()
{
    device.Disconnect();
}

bool LoggerSession::connectTo(const QString &portName)
{
    if (device.isConnected())
        return false;
    start(Task::Connect);
    device.Connect(portName);
    return true;
}

void LoggerSession::disconnectFrom()
{
    device.Disconnect();
    // What was under way has nobody to answer it now.
    refusal.stop();
    current = Task::None;
    blockIndexes.clear();
    downloaded.clear();
}

void LoggerSession::portVanished()
{
    if (!device.isConnected())
        return;
    device.Disconnect();
    finish(Outcome::LineLost);
}

void LoggerSession::start(Task task)
{
    current = task;
    refusal.stop();
}

void LoggerSession::listTracks()
{
    start(Task::List);
    headers.clear();
    device.ReadTrackFileHeaders();
}

void LoggerSession::download(const QVector<TrackFileHeader> &chosen)
{
    start(Task::Download);
    blockIndexes.clear();
    downloaded.clear();
    for (const TrackFileHeader &header : chosen) {
        Track track;
        const quint32 start = packedDateTimeToEpoch(header.date, header.time);
        track.startTime = start == InvalidEpoch ? 0 : start; // an impossible date: none
        track.blocksListed = int(header.blockIndexes.size());
        downloaded.append(track);
        blockIndexes += header.blockIndexes;
    }
    received = 0;
    currentTrackIndex = -1;
    if (blockIndexes.isEmpty()) {
        finish(Outcome::Done);
        return;
    }
    emit progress(0, int(blockIndexes.size()));
    device.ReadTrackBlock(quint16(blockIndexes.first()));
}

void LoggerSession::cancelDownload()
{
    if (current != Task::Download)
        return;
    device.EndTrackDownload();
    finish(Outcome::Cancelled);
}

void LoggerSession::readConfig()
{
    start(Task::ReadConfig);
    device.ReadDeviceConfig();
}

void LoggerSession::writeConfig(const DeviceConfig &config)
{
    start(Task::WriteConfig);
    refusal.start();
    device.WriteDeviceConfig(config);
}

void LoggerSession::deleteAll()
{
    start(Task::DeleteAll);
    refusal.start();
    device.DeleteAllTrackFiles();
}

void LoggerSession::finish(Outcome outcome)
{
    const Task task = current;
    current = Task::None;
    refusal.stop();
    QVector<Track> tracks;
    mismatch.clear();
    impossible = 0;
    if (task == Task::Download) {
        QStringList parts;
        for (int i = 0; i < downloaded.size(); ++i) {
            const Track &t = downloaded[i];
            impossible += t.impossiblePoints;
            if (outcome == Outcome::Done &&
                (t.blocksReceived != t.blocksListed || t.points.isEmpty()))
                parts << tr("track %1 of %2 has %3 of its %4 blocks and %5 points")
                             .arg(i + 1)
                             .arg(downloaded.size())
                             .arg(t.blocksReceived)
                             .arg(t.blocksListed)
                             .arg(t.points.size());
        }
        if (!parts.isEmpty())
            mismatch = tr("The tracks received do not match the logger's list: %1.")
                           .arg(parts.join(QStringLiteral("; ")));
    }
    if (task == Task::Download && outcome != Outcome::Cancelled) {
        // A track no block reached has nothing to show; one cut short says so itself.
        tracks = std::move(downloaded);
        tracks.erase(std::remove_if(tracks.begin(), tracks.end(),
                                    [](const Track &t) { return t.points.isEmpty(); }),
                     tracks.end());
    }
    downloaded.clear();
    if (outcome == Outcome::LineLost)
        device.Disconnect(); // nothing more can go through this port
    emit finished(task, outcome, tracks);
}

void LoggerSession::onList(const QVector<TrackFileHeader> &list)
{
    if (current != Task::List)
        return;
    headers = list;
    // Ended before the list goes out: whoever chooses from it starts the next task.
    finish(Outcome::Done);
    emit trackListReady(headers);
}

void LoggerSession::onBlock()
{
    // A late block after the download was over or given up has nowhere to go.
    if (current != Task::Download || received >= blockIndexes.size())
        return;
    ++received;
    appendTrackBlock(downloaded, currentTrackIndex, device.currentBlock());
    emit progress(received, int(blockIndexes.size()));
    if (currentTrackIndex >= 0 && currentTrackIndex < downloaded.size()) {
        const Track &t = downloaded[currentTrackIndex];
        if (t.blocksReceived == t.blocksListed && !t.points.isEmpty())
            emit trackReceived(currentTrackIndex, t);
    }
    if (received == blockIndexes.size()) {
        device.EndTrackDownload();
        finish(Outcome::Done);
    } else {
        device.ReadTrackBlock(quint16(blockIndexes.at(received)));
    }
}

void LoggerSession::onStatus(int cmd, int status)
{
    switch (cmd) {
    case DeviceProtocol::ReadBlock:
        onBlock();
        break;
    case DeviceProtocol::ReadConfig:
    case DeviceProtocol::WriteConfig:
    case DeviceProtocol::DeleteAll: {
        const Task task = cmd == DeviceProtocol::ReadConfig    ? Task::ReadConfig
                          : cmd == DeviceProtocol::WriteConfig ? Task::WriteConfig
                                                               : Task::DeleteAll;
        if (current == task)
            finish(Outcome::Done);
        break;
    }
    case DeviceProtocol::HandshakeStatus:
        if (current == Task::Connect)
            finish(status == 1 ? Outcome::Done : Outcome::HandshakeFailed);
        break;
    case DeviceProtocol::TimeoutStatus:
        // What a download received before the logger went silent is kept. A time-out with
        // nothing asked is of a request given up (a cancelled download's last block).
        if (current != Task::None)
            finish(Outcome::TimedOut);
        break;
    case DeviceProtocol::LineLostStatus:
        if (device.isConnected())
            finish(Outcome::LineLost);
        break;
    default:
        break;
    }
}

QString LoggerSession::describe(Task task, Outcome outcome)
{
    // The window's own texts, so both say the same.
    const auto window = [](const char *text) {
        return QCoreApplication::translate("MainWindow", text);
    };
    const auto own = [](const char *text) {
        return QCoreApplication::translate("LoggerSession", text);
    };
    switch (outcome) {
    case Outcome::Done:
        return task == Task::WriteConfig ? window("Set device configuration ok.")
               : task == Task::DeleteAll ? window("Delete all track files ok.")
                                         : QString();
    case Outcome::Cancelled:
        return window("The download was cancelled; the tracks shown before are kept.");
    case Outcome::TimedOut:
        return window("Read device data timeout.");
    case Outcome::HandshakeFailed:
        return window("Failed connect device.");
    case Outcome::Refused:
        return task == Task::DeleteAll ? own("The logger did not delete its tracks.")
                                       : own("The logger refused the settings.");
    case Outcome::LineLost:
        return own("The logger's line was lost.");
    }
    return QString();
}
