// CPU time the worker takes on a connected logger: idle for 10 s, and waiting 2.5 s for a
// reply that does not come. The simulator runs in this process and takes next to nothing.
#include "device/devicelx300.h"
#include "tools/sim/loggersimulator.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QLoggingCategory>
#include <QTest>

#include <cstdio>
#include <sys/resource.h>

namespace {
double cpuSeconds()
{
    rusage r{};
    getrusage(RUSAGE_SELF, &r);
    return double(r.ru_utime.tv_sec + r.ru_stime.tv_sec) +
           double(r.ru_utime.tv_usec + r.ru_stime.tv_usec) / 1e6;
}

// The share of one core the process used while the event loop ran for `ms`.
double coreShare(int ms)
{
    const double before = cpuSeconds();
    QElapsedTimer clock;
    clock.start();
    QTest::qWait(ms);
    return (cpuSeconds() - before) / (double(clock.elapsed()) / 1000.0);
}
} // namespace

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    QLoggingCategory::setFilterRules(QStringLiteral("lx300.device=false"));
    LoggerSimulator sim;
    sim.setTracks({LoggerSimulator::makeTrack(2, 100, 1, 1239437700)});
    if (!sim.start())
        return 1;
    DeviceLX300 device;
    bool ready = false;
    QObject::connect(&device, &DeviceLX300::FireRecvStatus, &app,
                     [&](int cmd, int status) { ready |= cmd == 254 && status == 1; });
    device.Connect(sim.portPath());
    for (int i = 0; i < 400 && !ready; ++i)
        QTest::qWait(10);
    if (!ready) {
        std::fprintf(stderr, "no handshake\n");
        return 1;
    }
    const double idle = coreShare(10000);
    sim.setSilent(true);
    device.ReadDeviceConfig();
    const double waiting = coreShare(2500);
    std::printf("connected and idle: %.1f %% of a core (target < 2 %%)\n", idle * 100);
    std::printf("waiting for a reply: %.1f %% of a core\n", waiting * 100);
    return 0;
}
