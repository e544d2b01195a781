// Writes the fuzzers' starting corpus from the program's own writers and the
// simulated logger: fuzz_seeds DIR makes DIR/receive, DIR/tkr and DIR/cli.
#include "formats/exportsettings.h"
#include "formats/fileformats.h"
#include "formats/fileformattkr.h"
#include "model/conversions.h"
#include "tools/sim/loggersimulator.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>

#include <cstdio>

namespace {

void save(const QString &name, const QByteArray &bytes)
{
    QFile f(name);
    if (f.open(QIODevice::WriteOnly))
        f.write(bytes);
}

// A receive input: the command selector, then the reply in pieces of at most 255.
QByteArray receiveInput(char selector, const QByteArray &reply, int piece)
{
    QByteArray input(1, selector);
    for (int i = 0; i < reply.size(); i += piece) {
        const QByteArray part = reply.mid(i, piece);
        input.append(char(part.size()));
        input.append(part);
    }
    return input;
}

} // namespace

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    if (argc != 2) {
        std::fprintf(stderr, "usage: fuzz_seeds DIR\n");
        return 2;
    }
    const QDir dir(QString::fromLocal8Bit(argv[1]));
    for (const char *sub : {"receive", "tkr", "cli", "readers"})
        dir.mkpath(QLatin1String(sub));

    LoggerSimulator sim;
    sim.setTracks({LoggerSimulator::makeTrack(2, 100, 1, 1239437700),
                   LoggerSimulator::makeTrack(1, 150, 2, 1239524100)});
    sim.setPageSize(3);
    const QVector<SimulatedTrack> memory = sim.tracks(); // before the delete seed empties it
    struct
    {
        char selector;
        QByteArray request;
    } cases[] = {{0, QByteArray::fromHex("B50007")},
                 {0, QByteArray::fromHex("B50009")},
                 {1, QByteArray::fromHex("B7")},
                 {2, LoggerSimulator::defaultConfigReply().left(43).replace(0, 1, "\xB8")},
                 {3, QByteArray::fromHex("BAFFFF")},
                 {4, QByteArray::fromHex("BB0000")},
                 {4, QByteArray::fromHex("BB0003")},
                 {5, QByteArray::fromHex("BF")}};
    int n = 0;
    for (const auto &c : cases) {
        const QByteArray reply = sim.answer(c.request);
        for (int piece : {255, 64, 7})
            save(dir.filePath(QStringLiteral("receive/%1").arg(n++)),
                 receiveInput(c.selector, reply, piece));
    }

    QVector<Track> tracks;
    for (int t = 0; t < 2; ++t) {
        const SimulatedTrack &s = memory.at(t);
        Track track;
        track.format = s.format;
        track.startTime = 1239437700u + 86400u * t;
        for (const DeviceTrackPoint &p : s.points)
            track.points.append(trackPointFromRecord(p));
        tracks.append(track);
    }
    FileFormatTKR tkr;
    tkr.write(tracks, dir.filePath(QStringLiteral("tkr/two.tkr")), {0, 1}, false);
    tkr.write(tracks, dir.filePath(QStringLiteral("tkr/marks.tkr")), {1}, true);
    tkr.write(tracks, dir.filePath(QStringLiteral("tkr/empty.tkr")), {}, false);
    // The readers' seeds: each export, behind the byte that chooses its reader.
    FixedExportSettings settings;
    const FileFormatMap formats = createFileFormats(&settings);
    const char *exts[] = {".gpx", ".kml", ".csv"};
    for (char k = 0; k < 3; ++k) {
        const QString file =
            dir.filePath(QStringLiteral("readers/export") + QLatin1String(exts[int(k)]));
        writeTracks(formats, tracks, file, {0, 1}, false);
        QFile f(file);
        if (f.open(QIODevice::ReadOnly)) {
            const QByteArray bytes = f.readAll();
            f.close();
            f.remove();
            save(dir.filePath(QStringLiteral("readers/%1").arg(int(k))),
                 QByteArray(1, k) + bytes.left(20000));
        }
    }
    qDeleteAll(formats);

    const char *cli[] = {"all", "1,3,2",
                         "timeInterval=30\nintervalMode=distance\ndistanceInterval=5000",
                         "logFormat=1\nwaasEnabled=0\nspeedThreshold=9999\nradius=99999",
                         "--port\n/dev/ttyUSB0\n--output\ntrip.gpx\n--tracks\n2\n--marked-only"};
    int k = 0;
    for (const char *c : cli)
        save(dir.filePath(QStringLiteral("cli/%1").arg(k++)), QByteArray(c));
    return 0;
}
