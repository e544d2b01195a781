// Downloads 100 blocks from the simulated logger paced at the real line rate
// and prints the throughput as a fraction of the line's 23040 bytes/s.
#include "device/devicelx300.h"
#include "device/frame.h"
#include "model/trackblock.h"
#include "tools/sim/loggersimulator.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QLoggingCategory>
#include <QTimer>

#include <cstdio>

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    QLoggingCategory::setFilterRules(QStringLiteral("lx300.device=false"));
    constexpr int Blocks = 100;

    LoggerSimulator sim;
    // Two format-2 tracks of 50 full blocks each (64 points a block).
    sim.setTracks({LoggerSimulator::makeTrack(2, 50 * 64, 1, 1239437700),
                   LoggerSimulator::makeTrack(2, 50 * 64, 2, 1239524100)});
    if (!sim.start()) {
        std::fprintf(stderr, "cannot start the simulator\n");
        return 1;
    }
    sim.setPaced(true);

    DeviceLX300 device;
    QVector<TrackFileHeader> headers;
    QVector<Track> tracks;
    QVector<int> blocks;
    int received = 0;
    int current = -1;
    bool failed = false;
    QElapsedTimer clock;
    qint64 elapsedNs = 0;
    QEventLoop loop;

    QObject::connect(
        &device, &DeviceLX300::FireRecvTrackFileHeader, &app,
        [&](QVector<TrackFileHeader> list) {
            headers = list;
            tracks = QVector<Track>(list.size());
            for (const TrackFileHeader &h : list)
                blocks += h.blockIndexes;
            clock.start();
            device.ReadTrackBlock(quint16(blocks[0]));
        },
        Qt::QueuedConnection);
    QObject::connect(
        &device, &DeviceLX300::FireRecvStatus, &app,
        [&](int cmd, int status) {
            if (cmd == 254 && status == 1) {
                device.ReadTrackFileHeaders();
            } else if (cmd == 181) {
                appendTrackBlock(tracks, current, device.currentBlock());
                if (++received == blocks.size()) {
                    elapsedNs = clock.nsecsElapsed();
                    device.EndTrackDownload();
                    loop.quit();
                } else {
                    device.ReadTrackBlock(quint16(blocks[received]));
                }
            } else {
                failed = true;
                loop.quit();
            }
        },
        Qt::QueuedConnection);
    QTimer::singleShot(120000, &loop, [&] {
        failed = true;
        loop.quit();
    });
    device.Connect(sim.portPath());
    loop.exec();
    device.Disconnect();

    if (failed || received != Blocks) {
        std::fprintf(stderr, "download failed after %d of %d blocks\n", received, Blocks);
        return 1;
    }
    int points = 0;
    for (const Track &t : tracks)
        points += t.points.size();
    const double seconds = elapsedNs / 1e9;
    const double bytes = double(Blocks) * Frame::BlockReplySize;
    const double ratio = bytes / seconds / LoggerSimulator::LineRate;
    std::printf("download: %d blocks, %d points, %.0f reply bytes in %.3f s\n", Blocks, points,
                bytes, seconds);
    std::printf("throughput: %.0f bytes/s = %.3f of the line rate (target >= 0.95)\n",
                bytes / seconds, ratio);
    return 0;
}
