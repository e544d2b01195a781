// lx300-sim: a simulated LX-300 on a pseudo-terminal, for trying the program
// and the command-line tool without a logger.
#include "formats/fileformattkr.h"
#include "tools/sim/loggersimulator.h"

#include <QCommandLineParser>
#include <QCoreApplication>
#include <QDateTime>
#include <QSocketNotifier>
#include <QTextStream>
#include <QThread>

#include <csignal>
#include <cstdio>

namespace {
// A whole number from lo to hi, or a usage error naming the option (status 2).
bool whole(const QCommandLineParser &parser, const QCommandLineOption &option, int lo, int hi,
           int *value)
{
    bool ok = false;
    *value = parser.value(option).toInt(&ok);
    if (ok && *value >= lo && *value <= hi)
        return true;
    std::fprintf(stderr, "lx300-sim: --%s takes a whole number from %d to %d\n",
                 qPrintable(option.names().first()), lo, hi);
    return false;
}

volatile std::sig_atomic_t stopRequested = 0;
void onSignal(int)
{
    stopRequested = 1;
}
} // namespace

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    QCoreApplication::setApplicationName(QStringLiteral("lx300-sim"));
    QCommandLineParser parser;
    parser.setApplicationDescription(
        QStringLiteral("Simulated LX-300 GPS logger on a pseudo-terminal. Prints the port path "
                       "to open, then answers until interrupted."));
    parser.addHelpOption();
    const QCommandLineOption tracks(QStringLiteral("tracks"),
                                    QStringLiteral("Number of tracks (default 3)."),
                                    QStringLiteral("N"), QStringLiteral("3"));
    const QCommandLineOption points(QStringLiteral("points"),
                                    QStringLiteral("Points per track (default 500)."),
                                    QStringLiteral("N"), QStringLiteral("500"));
    const QCommandLineOption pageSize(QStringLiteral("page-size"),
                                      QStringLiteral("Track list entries per page (default 20)."),
                                      QStringLiteral("N"), QStringLiteral("20"));
    const QCommandLineOption paced(QStringLiteral("paced"),
                                   QStringLiteral("Send at the real line rate, 23040 bytes/s."));
    const QCommandLineOption silent(QStringLiteral("silent"), QStringLiteral("Never answer."));
    const QCommandLineOption replyDelay(QStringLiteral("reply-delay"),
                                        QStringLiteral("Wait MS milliseconds before each reply, "
                                                       "as a slow logger would (default 0)."),
                                        QStringLiteral("MS"), QStringLiteral("0"));
    const QCommandLineOption generate(
        QStringLiteral("generate"),
        QStringLiteral("Write the simulated logger's tracks, as a download gives them, to a TKR "
                       "file and exit."),
        QStringLiteral("FILE.tkr"));
    parser.addOptions({tracks, points, pageSize, paced, silent, replyDelay, generate});
    parser.process(app);

    int trackCount = 0, pointCount = 0, entries = 0, delay = 0;
    if (!whole(parser, tracks, 0, 1000, &trackCount) ||
        !whole(parser, points, 1, 10000000, &pointCount) ||
        !whole(parser, pageSize, 1, 170, &entries) ||
        !whole(parser, replyDelay, 0, 600000, &delay))
        return 2;
    LoggerSimulator sim;
    QVector<SimulatedTrack> memory;
    const quint32 start =
        quint32(QDateTime(QDate(2009, 4, 11), QTime(8, 15), Qt::UTC).toSecsSinceEpoch());
    for (int i = 0; i < trackCount; ++i)
        memory.append(LoggerSimulator::makeTrack(i % 2 ? 1 : 2, pointCount,
                                                 quint32(i + 1), start + quint32(i) * 86400u));
    sim.setTracks(memory);
    if (parser.isSet(generate)) {
        QVector<int> all;
        for (int i = 0; i < trackCount; ++i)
            all.append(i);
        const QVector<Track> downloaded = sim.expectedTracks(all);
        QList<int> selection(all.begin(), all.end());
        FileFormatTKR tkr;
        if (!tkr.write(downloaded, parser.value(generate), selection, false)) {
            std::fprintf(stderr, "lx300-sim: %s\n", qPrintable(tkr.errorString()));
            return 1;
        }
        return 0;
    }
    sim.setPageSize(entries);
    sim.setPaced(parser.isSet(paced));
    sim.setSilent(parser.isSet(silent));
    sim.setReplyDelay(delay);
    if (!sim.start()) {
        std::fprintf(stderr, "lx300-sim: cannot open a pseudo-terminal\n");
        return 1;
    }
    // The path alone on the first line, for scripts; then how to use it.
    const QByteArray path = sim.portPath().toLocal8Bit();
    std::printf("%s\n\nTry it with the window:  lx300 --port %s\n"
                "or the command line:    lx300-cli list --port %s\n"
                "Stop with Ctrl+C.\n",
                path.constData(), path.constData(), path.constData());
    std::fflush(stdout);

    std::signal(SIGINT, onSignal);
    std::signal(SIGTERM, onSignal);
    while (!stopRequested && !sim.lineClosed())
        QThread::msleep(100);
    sim.stop();
    return 0;
}
