#include "analysis/tripstats.h"
#include "library/tracklibrary.h"
#include "model/conversions.h"
#include "tools/cli/clicommand.h"
#include "tools/cli/clisession.h"

#include <QDir>
#include <QFile>
#include <QFuture>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QtConcurrent>

using namespace Cli;

namespace {

QJsonValue timeValue(quint32 t)
{
    return t ? QJsonValue(utcText(t)) : QJsonValue(QJsonValue::Null);
}

QJsonValue textValue(const QString &s)
{
    return s.isEmpty() ? QJsonValue(QJsonValue::Null) : QJsonValue(s);
}

// What became of one track of the logger.
struct Outcome
{
    quint32 start = 0;
    int blocks = 0;
    QString status; // "archived", "already archived", "incomplete", "failed"
    QString file;
    qint64 points = 0;
    QString reason;

    bool archived() const
    {
        return status == QLatin1String("archived") || status.startsWith("already");
    }
};

void printOutcome(const Outcome &o)
{
    out() << utcText(o.start) << '\t' << o.blocks << '\t'
          << (o.status == QLatin1String("failed") ? QStringLiteral("failed: ") + o.reason
                                                  : o.status)
          << '\t'
          << (!o.file.isEmpty()                         ? o.file
              : o.status == QLatin1String("incomplete") ? o.reason
                                                        : QStringLiteral("-"))
          << '\n';
    out().flush();
}

QJsonObject outcomeJson(const Outcome &o)
{
    return {{"start", timeValue(o.start)}, {"blocks", o.blocks}, {"status", o.status},
            {"file", textValue(o.file)},   {"points", o.points}, {"reason", textValue(o.reason)}};
}

// One outcome per track on the logger, those already archived said; the others are to be
// downloaded (`wanted`, at `wantedAt` in the outcomes).
QVector<Outcome> compare(const TrackLibrary &library, const QVector<TrackFileHeader> &headers,
                         QVector<TrackFileHeader> *wanted, QVector<int> *wantedAt)
{
    QVector<Outcome> outcomes;
    for (const TrackFileHeader &h : headers) {
        Outcome o;
        o.start = packedDateTimeToEpoch(h.date, h.time);
        o.blocks = int(h.blockIndexes.size());
        if (const TrackLibrary::Entry *e = library.find(o.start, o.blocks)) {
            o.status = QStringLiteral("already archived");
            o.file = e->file;
            o.points = e->points;
        } else {
            *wanted << h;
            *wantedAt << int(outcomes.size());
        }
        outcomes << o;
    }
    return outcomes;
}

// Each track written goes into the index; the outcome says whether it is archived.
void addWritten(TrackLibrary &library, QFuture<TrackLibrary::Written> &write, Outcome &o)
{
    const TrackLibrary::Written w = write.result();
    if (library.add(w, o.start, o.blocks)) {
        o.status = QStringLiteral("archived");
        o.file = w.file;
        o.points = w.track.points.size();
    } else {
        o.status = QStringLiteral("failed");
        o.reason = w.ok ? library.errorString() : w.reason;
    }
}

// Downloads the logger's tracks that are not in the library. Each track whose blocks are all
// in is written and read back on another thread while the next one downloads. A download cut
// short gives the tracks that got a block, in order, the last one marked incomplete: those
// received whole are archived all the same.
QVector<Outcome> syncTracks(CliSession &session, TrackLibrary &library,
                            const QVector<TrackFileHeader> &headers)
{
    QVector<TrackFileHeader> wanted;
    QVector<int> wantedAt;
    QVector<Outcome> outcomes = compare(library, headers, &wanted, &wantedAt);
    if (wanted.isEmpty())
        return outcomes;
    QVector<QFuture<TrackLibrary::Written>> writes(wanted.size());
    const auto store = [&](int k, const Track &track) {
        if (k >= 0 && k < wanted.size() && !writes[k].isValid() &&
            track.startTime == outcomes[wantedAt[k]].start)
            writes[k] = QtConcurrent::run(TrackLibrary::writeFile, library.folder(),
                                          library.reserveName(track.startTime), track);
    };
    QVector<Track> got;
    const bool done = session.download(wanted, &got, {}, store);
    const QString why = !done ? session.errorString() : session.downloadMismatch();
    for (int k = 0; k < wanted.size(); ++k) {
        Outcome &o = outcomes[wantedAt[k]];
        const bool arrived =
            k < got.size() && (!done || why.isEmpty()) && got[k].startTime == o.start;
        if (arrived && !got[k].isIncomplete()) {
            store(k, got[k]); // a track the logger listed with no blocks is not whole
            addWritten(library, writes[k], o);
            continue;
        }
        // Written, but the download as a whole is at odds with the logger's list.
        if (writes[k].isValid() && writes[k].result().ok)
            QFile::remove(QDir(library.folder()).filePath(writes[k].result().file));
        o.status = done && !why.isEmpty() ? QStringLiteral("failed") : QStringLiteral("incomplete");
        o.reason = why.isEmpty() ? QStringLiteral("the logger gave no track") : why;
    }
    return outcomes;
}

} // namespace

int Cli::syncCommand(const QStringList &args)
{
    Command c(QStringLiteral("sync"),
              QStringLiteral("Downloads the logger's tracks that are not yet in the library, "
                             "writes each as a file of its own and reads it back to check it. "
                             "One line per track: start, blocks, archived | already archived "
                             "| incomplete | failed: reason, file; then a summary. Status 0 "
                             "when every track on the logger is in the library at the end."));
    c.portOption();
    c.option(QStringLiteral("library"), QStringLiteral("The library's folder."),
             QStringLiteral("DIR"));
    c.option(QStringLiteral("json"), QStringLiteral("The report as JSON."));
    c.option(QStringLiteral("delete-after"),
             QStringLiteral("Then delete every track on the logger, only if every one is in the "
                            "library and read back equal."));
    if (int s = c.parse(args); s >= 0)
        return s;
    for (const char *required : {"port", "library"})
        if (int s = c.require(QLatin1String(required)); s >= 0)
            return s;
    TrackLibrary library(c.value(QStringLiteral("library")));
    if (!library.open())
        return failWith(Failed, library.errorString());
    CliSession session;
    QVector<TrackFileHeader> headers;
    if (!session.open(c.value(QStringLiteral("port"))) || !session.listTracks(&headers))
        return failWith(Failed, session.errorString());
    const bool json = c.isSet(QStringLiteral("json"));
    const QVector<Outcome> outcomes = syncTracks(session, library, headers);
    for (const Outcome &o : outcomes)
        if (!json)
            printOutcome(o);

    QStringList missing;
    int archived = 0, already = 0;
    for (const Outcome &o : outcomes) {
        archived += o.status == QLatin1String("archived");
        already += o.status == QLatin1String("already archived");
        if (!o.archived())
            missing << utcText(o.start);
    }
    bool deleted = false;
    QString deleteError;
    if (c.isSet(QStringLiteral("delete-after")) && missing.isEmpty()) {
        deleted = session.deleteAll();
        if (!deleted)
            deleteError = session.errorString();
    }
    if (json) {
        QJsonArray list;
        for (const Outcome &o : outcomes)
            list << outcomeJson(o);
        out() << QJsonDocument(QJsonObject{{"tracks", list}, {"deleted", deleted}})
                     .toJson(QJsonDocument::Compact)
              << '\n';
    } else {
        out() << archived << " archived, " << already << " already archived, " << missing.size()
              << " not archived" << (deleted ? "; the logger's tracks were deleted" : "") << ".\n";
    }
    out().flush();
    if (!missing.isEmpty())
        return failWith(Failed, QStringLiteral("Not in the library: %1.%2")
                                    .arg(missing.join(QStringLiteral(", ")),
                                         c.isSet(QStringLiteral("delete-after"))
                                             ? QStringLiteral(" The logger was not cleared.")
                                             : QString()));
    if (!deleteError.isEmpty())
        return failWith(Failed, deleteError);
    return Ok;
}

int Cli::libraryCommand(const QStringList &args)
{
    Command c(QStringLiteral("library"),
              QStringLiteral("Lists the tracks of a library: file, start, end (UTC), points, "
                             "marks, distance, duration, moving time, ascent, descent, name, "
                             "note; damaged files as such; then the totals."));
    c.positional(QStringLiteral("DIR"), QStringLiteral("The library's folder."));
    c.option(QStringLiteral("json"), QStringLiteral("The list as JSON."));
    c.option(QStringLiteral("rebuild"),
             QStringLiteral("Make the index again from the files first."));
    if (int s = c.parse(args); s >= 0)
        return s;
    TrackLibrary library(c.files().at(0));
    if (!QFileInfo(c.files().at(0)).isDir())
        return failWith(Failed, QStringLiteral("%1 is not a folder.").arg(c.files().at(0)));
    if (!library.open(c.isSet(QStringLiteral("rebuild"))))
        return failWith(Failed, library.errorString());
    TrackLibrary::Entry total;
    QJsonArray list;
    const bool json = c.isSet(QStringLiteral("json"));
    if (!json)
        out() << "file\tstart\tend\tpoints\tmarks\tdistance_m\tduration_s\tmoving_time_s\t"
                 "ascent_m\tdescent_m\tname\tnote\n";
    for (const TrackLibrary::Entry &e : library.entries()) {
        total.points += e.points;
        total.marks += e.marks;
        total.distanceM += e.distanceM;
        total.durationS += e.durationS;
        total.movingTimeS += e.movingTimeS;
        total.ascentM += e.ascentM;
        total.descentM += e.descentM;
        const QJsonValue ascent = e.hasAltitude ? QJsonValue(e.ascentM) : QJsonValue();
        const QJsonValue descent = e.hasAltitude ? QJsonValue(e.descentM) : QJsonValue();
        if (json) {
            list << QJsonObject{{"file", e.file},
                                {"start", timeValue(e.start)},
                                {"end", timeValue(e.end)},
                                {"points", e.points},
                                {"marks", e.marks},
                                {"distance_m", e.distanceM},
                                {"duration_s", e.durationS},
                                {"moving_time_s", e.movingTimeS},
                                {"ascent_m", ascent},
                                {"descent_m", descent},
                                {"name", e.name},
                                {"note", e.note},
                                {"damaged", e.damaged}};
            continue;
        }
        const QString none = QStringLiteral("-");
        out() << e.file << '\t' << (e.start ? utcText(e.start) : none) << '\t'
              << (e.end ? utcText(e.end) : none) << '\t'
              << (e.damaged ? QStringLiteral("damaged") : QString::number(e.points)) << '\t'
              << e.marks << '\t' << QString::number(e.distanceM, 'f', 1) << '\t' << e.durationS
              << '\t' << e.movingTimeS << '\t'
              << (e.hasAltitude ? QString::number(e.ascentM, 'f', 1) : none) << '\t'
              << (e.hasAltitude ? QString::number(e.descentM, 'f', 1) : none) << '\t' << e.name
              << '\t' << e.note << '\n';
    }
    const qsizetype count = library.entries().size();
    if (json) {
        const QJsonObject totals{{"tracks", count},
                                 {"points", total.points},
                                 {"marks", total.marks},
                                 {"distance_m", total.distanceM},
                                 {"duration_s", total.durationS},
                                 {"moving_time_s", total.movingTimeS},
                                 {"ascent_m", total.ascentM},
                                 {"descent_m", total.descentM}};
        out() << QJsonDocument(QJsonObject{{"tracks", list}, {"totals", totals}})
                     .toJson(QJsonDocument::Compact)
              << '\n';
    } else {
        out() << "total\t" << count << " tracks\t\t" << total.points << '\t' << total.marks << '\t'
              << QString::number(total.distanceM, 'f', 1) << '\t' << total.durationS << '\t'
              << total.movingTimeS << '\t' << QString::number(total.ascentM, 'f', 1) << '\t'
              << QString::number(total.descentM, 'f', 1) << "\t\t\n";
    }
    return Ok;
}
