// CPU the command-line tool takes while it waits for the logger: `lx300-cli list` on a
// silent logger (it gives up after ten hellos, about 5 s), and a download from a logger
// that waits 250 ms before each reply, with its rate against the delays alone.
#include "tools/sim/loggersimulator.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QProcess>
#include <QTemporaryDir>

#include <cstdio>
#include <sys/resource.h>

namespace {
double childCpuSeconds()
{
    rusage r{};
    getrusage(RUSAGE_CHILDREN, &r);
    return double(r.ru_utime.tv_sec + r.ru_stime.tv_sec) +
           double(r.ru_utime.tv_usec + r.ru_stime.tv_usec) / 1e6;
}

struct Run
{
    double seconds = 0;
    double coreShare = 0;
    int status = -1;
};

Run runCli(const QStringList &args)
{
    const double before = childCpuSeconds();
    QElapsedTimer clock;
    clock.start();
    QProcess cli;
    cli.setProgram(QStringLiteral(LX300_CLI));
    cli.setArguments(args);
    cli.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    cli.setStandardOutputFile(QProcess::nullDevice());
    cli.start();
    cli.waitForFinished(120000);
    Run run;
    run.seconds = double(clock.elapsed()) / 1000.0;
    run.coreShare = (childCpuSeconds() - before) / run.seconds;
    run.status = cli.exitCode();
    return run;
}
} // namespace

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    QTemporaryDir dir;
    LoggerSimulator sim;
    sim.setTracks({LoggerSimulator::makeTrack(2, 600, 1, 1239437700)}); // 10 blocks
    if (!sim.start())
        return 1;

    sim.setSilent(true);
    const Run silent = runCli({QStringLiteral("list"), QStringLiteral("--port"), sim.portPath()});
    sim.setSilent(false);

    const int delayMs = 250;
    sim.setReplyDelay(delayMs);
    const Run slow = runCli({QStringLiteral("download"), QStringLiteral("--port"), sim.portPath(),
                             QStringLiteral("--output"), dir.filePath(QStringLiteral("t.gpx"))});
    // Replies the download waits for: the hello, the list page, the blocks (the end of the
    // download is not answered).
    int blocks = 0;
    for (const TrackFileHeader &h : sim.headers())
        blocks += int(h.blockIndexes.size());
    const double delays = double(2 + blocks) * delayMs / 1000.0;

    std::printf("silent logger: %.1f %% of a core over %.1f s (target < 5 %%), status %d\n",
                silent.coreShare * 100, silent.seconds, silent.status);
    std::printf("slow logger (%d ms a reply): %.1f %% of a core over %.1f s (target < 10 %%), "
                "status %d\n",
                delayMs, slow.coreShare * 100, slow.seconds, slow.status);
    std::printf("slow download: %.2f of the time the %d replies' delays take alone (%.2f s); "
                "the rest is start-up and the hello rounds\n",
                slow.seconds / delays, 2 + blocks, delays);
    return 0;
}
