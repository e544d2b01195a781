#include "tools/cli/clisession.h"

#include <QEventLoop>

bool CliSession::run(const std::function<void()> &begin)
{
    QEventLoop loop;
    bool ended = false;
    auto task = LoggerSession::Task::None;
    auto outcome = LoggerSession::Outcome::Done;
    const QMetaObject::Connection report = QObject::connect(
        &session, &LoggerSession::finished, &loop,
        [&](LoggerSession::Task t, LoggerSession::Outcome o, const QVector<Track> &tracks) {
            task = t;
            outcome = o;
            result = tracks;
            ended = true;
            loop.quit();
        });
    begin();
    if (!ended) // a task may end at once (a download of nothing)
        loop.exec();
    QObject::disconnect(report);
    if (outcome == LoggerSession::Outcome::Done)
        return true;
    error = LoggerSession::describe(task, outcome);
    // A port that would not open says why.
    if (outcome == LoggerSession::Outcome::HandshakeFailed && !session.openErrorText().isEmpty())
        error += QLatin1Char(' ') + session.openErrorText();
    return false;
}

bool CliSession::open(const QString &port)
{
    return run([&] { session.connectTo(port); });
}

bool CliSession::listTracks(QVector<TrackFileHeader> *headers)
{
    if (!run([this] { session.listTracks(); }))
        return false;
    *headers = session.trackList();
    return true;
}

bool CliSession::download(const QVector<TrackFileHeader> &chosen, QVector<Track> *tracks,
                          const std::function<void(int, int)> &progress,
                          const std::function<void(int, const Track &)> &received)
{
    const QMetaObject::Connection told =
        QObject::connect(&session, &LoggerSession::progress, [&](int done, int all) {
            if (progress && done > 0)
                progress(done, all);
        });
    QMetaObject::Connection whole;
    if (received)
        whole = QObject::connect(&session, &LoggerSession::trackReceived, received);
    const bool ok = run([&] { session.download(chosen); });
    QObject::disconnect(told);
    QObject::disconnect(whole);
    *tracks = result; // when cut short, the tracks that got a block
    return ok;
}

bool CliSession::readConfig(DeviceConfig *config)
{
    if (!run([this] { session.readConfig(); }))
        return false;
    *config = session.config();
    return true;
}

bool CliSession::writeConfig(const DeviceConfig &config)
{
    return run([&] { session.writeConfig(config); });
}

bool CliSession::deleteAll()
{
    return run([this] { session.deleteAll(); });
}
