// split and merge: the edit engine on files.
#include "edit/trackedit.h"
#include "formats/fileformats.h"
#include "formats/trackinput.h"
#include "tools/cli/clicommand.h"
#include "tools/cli/cliparse.h"

#include <QDateTime>
#include <QDir>
#include <QFileInfo>

namespace Cli {

namespace {

// An ISO 8601 time; without a zone, in `time`. False when it is none.
bool parseTime(const QString &text, TimeShown time, quint32 *epoch)
{
    QDateTime when = QDateTime::fromString(text, Qt::ISODateWithMs);
    if (when.isValid() && when.timeSpec() == Qt::LocalTime && time == TimeShown::Utc)
        when.setTimeSpec(Qt::UTC);
    if (!when.isValid() || when.toSecsSinceEpoch() < 0 ||
        when.toSecsSinceEpoch() > qint64(0xFFFFFFFFu))
        return false;
    *epoch = quint32(when.toSecsSinceEpoch());
    return true;
}

// Splits every track of `tracks` by the command's rule, in place.
int splitAll(const Command &c, TimeShown time, QVector<Track> *tracks)
{
    const bool byDay = c.isSet(QStringLiteral("by-day"));
    const bool byGap = c.isSet(QStringLiteral("gap"));
    const bool atTime = c.isSet(QStringLiteral("at"));
    if (int(byDay) + int(byGap) + int(atTime) != 1)
        return failWith(Usage, QStringLiteral("split takes one of --by-day, --gap and --at"));
    bool ok = true;
    const double minutes = byGap ? c.value(QStringLiteral("gap")).toDouble(&ok) : 0;
    if (!ok || minutes < 0)
        return failWith(Usage, QStringLiteral("--gap takes a number of minutes"));
    quint32 at = 0;
    if (atTime && !parseTime(c.value(QStringLiteral("at")), time, &at))
        return failWith(Usage, QStringLiteral("--at takes an ISO 8601 time"));
    for (int t = int(tracks->size()) - 1; t >= 0; --t) {
        TrackEdit::Result r;
        if (byDay) {
            r = TrackEdit::splitByDay(*tracks, t, time);
        } else if (byGap) {
            r = TrackEdit::splitAtPauses(*tracks, t, minutes);
        } else {
            const QVector<TrackPoint> &p = (*tracks)[t].points;
            const auto it = std::find_if(p.cbegin(), p.cend(), [at](const TrackPoint &q) {
                return q.hasTime() && q.time >= at;
            });
            r = TrackEdit::splitAt(*tracks, t, int(it - p.cbegin()));
        }
        if (r.change)
            TrackEdit::apply(*tracks, *r.change);
    }
    return -1;
}

// Only the tracks --tracks names (numbered over all inputs), in their order.
int chosenTracks(const Command &c, QVector<Track> *tracks)
{
    QList<int> selection;
    QString error;
    if (!parseTrackSelection(c.value(QStringLiteral("tracks")), int(tracks->size()), &selection,
                             &error))
        return failWith(Usage, error);
    QVector<Track> chosen;
    for (int i : selection)
        chosen << (*tracks)[i];
    tracks->swap(chosen);
    return -1;
}

// Each track from its first point in [from, to] to its last; tracks with none go.
void trimTracks(quint32 from, quint32 to, QVector<Track> *tracks)
{
    for (int t = int(tracks->size()) - 1; t >= 0; --t) {
        const QVector<TrackPoint> &p = (*tracks)[t].points;
        int first = -1, last = -1;
        for (int i = 0; i < p.size(); ++i)
            if (p[i].hasTime() && p[i].time >= from && p[i].time <= to) {
                first = first < 0 ? i : first;
                last = i;
            }
        const TrackEdit::Result r = first < 0 ? TrackEdit::deleteRange(*tracks, t, 0, int(p.size()))
                                              : TrackEdit::crop(*tracks, t, first, last + 1);
        if (r.change)
            TrackEdit::apply(*tracks, *r.change);
    }
}

// "2024-05-03_0612.gpx", with -2, -3 where two start in the same minute.
QString fileNameFor(const Track &t, TimeShown time, const QString &extension, QSet<QString> *used)
{
    const QString base = t.startTime == 0
                             ? QStringLiteral("no-time")
                             : QDateTime::fromSecsSinceEpoch(
                                   t.startTime, time == TimeShown::Utc ? Qt::UTC : Qt::LocalTime)
                                   .toString(QStringLiteral("yyyy-MM-dd_HHmm"));
    QString name = base + extension;
    for (int n = 2; used->contains(name); ++n)
        name = QStringLiteral("%1-%2%3").arg(base).arg(n).arg(extension);
    used->insert(name);
    return name;
}

} // namespace

int splitCommand(const QStringList &args)
{
    Command c(QStringLiteral("split"),
              QStringLiteral("Splits the tracks of a file by calendar day, at pauses or at a "
                             "time, and writes one file per track into a folder, named by its "
                             "start. The files' points together are the input's."));
    c.positional(QStringLiteral("INPUT"), QStringLiteral("The track file."));
    c.option(QStringLiteral("by-day"), QStringLiteral("A new track at each calendar day."));
    c.option(QStringLiteral("gap"),
             QStringLiteral("A new track after each pause longer than this."),
             QStringLiteral("MINUTES"));
    c.option(QStringLiteral("at"),
             QStringLiteral("A new track from this time on (ISO 8601; no zone: --time)."),
             QStringLiteral("TIME"));
    addExportOptions(c); // its --time also sets the days and the names
    c.option(QStringLiteral("output-dir"), QStringLiteral("The folder the files go into."),
             QStringLiteral("DIR"));
    c.option(QStringLiteral("format"),
             QStringLiteral("tkr, gpx, kml, geojson or csv (default: the input's)."),
             QStringLiteral("FORMAT"));
    if (int s = c.parse(args); s >= 0)
        return s;
    if (int s = c.require(QStringLiteral("output-dir")); s >= 0)
        return s;
    FixedDisplayUnits settings;
    if (int s = exportSettings(c, &settings); s >= 0)
        return s;
    const TimeShown time = settings.timeShown();
    const QString input = c.files().at(0);
    const QString extension = QLatin1Char('.') + (c.isSet(QStringLiteral("format"))
                                                      ? c.value(QStringLiteral("format")).toLower()
                                                      : QFileInfo(input).suffix().toLower());
    const FileFormats formats(&settings);
    const QDir dir(c.value(QStringLiteral("output-dir")));
    if (int s = checkOutputName(formats, dir.filePath(QStringLiteral("x") + extension)); s >= 0)
        return s;
    QVector<Track> tracks;
    if (int s = readInput(formats, input, &tracks); s >= 0)
        return s;
    if (int s = chosenTracks(c, &tracks); s >= 0)
        return s;
    if (int s = splitAll(c, time, &tracks); s >= 0)
        return s;
    QSet<QString> used;
    int status = Ok;
    for (int t = 0; t < tracks.size(); ++t) {
        const QString name = dir.filePath(fileNameFor(tracks[t], time, extension, &used));
        const int s = writeOutput(formats, tracks, name, {t}, c);
        if (s != Ok)
            status = s;
        else
            out() << name << '\n';
    }
    return status;
}

int trimCommand(const QStringList &args)
{
    Command c(QStringLiteral("trim"),
              QStringLiteral("Keeps each track from its first point at or after --from to its "
                             "last at or before --to (the points without a time between them "
                             "too); tracks with none left are left out."));
    c.positional(QStringLiteral("INPUT"), QStringLiteral("The track file."));
    c.positional(QStringLiteral("OUTPUT"), QStringLiteral("The file to write."));
    c.option(QStringLiteral("from"), QStringLiteral("ISO 8601; no zone: --time."),
             QStringLiteral("TIME"));
    c.option(QStringLiteral("to"), QStringLiteral("ISO 8601; no zone: --time."),
             QStringLiteral("TIME"));
    addExportOptions(c);
    if (int s = c.parse(args); s >= 0)
        return s;
    FixedDisplayUnits settings;
    if (int s = exportSettings(c, &settings); s >= 0)
        return s;
    quint32 from = 0, to = 0xFFFFFFFFu;
    if (c.isSet(QStringLiteral("from")) &&
        !parseTime(c.value(QStringLiteral("from")), settings.timeShown(), &from))
        return failWith(Usage, QStringLiteral("--from takes an ISO 8601 time"));
    if (c.isSet(QStringLiteral("to")) &&
        !parseTime(c.value(QStringLiteral("to")), settings.timeShown(), &to))
        return failWith(Usage, QStringLiteral("--to takes an ISO 8601 time"));
    const FileFormats formats(&settings);
    if (int s = checkOutputName(formats, c.files().at(1)); s >= 0)
        return s;
    QVector<Track> tracks;
    if (int s = readInput(formats, c.files().at(0), &tracks); s >= 0)
        return s;
    if (int s = chosenTracks(c, &tracks); s >= 0)
        return s;
    trimTracks(from, to, &tracks);
    QList<int> all;
    for (int i = 0; i < tracks.size(); ++i)
        all << i;
    if (all.isEmpty())
        return failWith(Failed, QStringLiteral("No point lies between --from and --to. Nothing "
                                               "was written."));
    return writeOutput(formats, tracks, c.files().at(1), all, c);
}

int mergeCommand(const QStringList &args)
{
    Command c(QStringLiteral("merge"),
              QStringLiteral("Merges every track of the input files into one, in time order: "
                             "each a segment, or one line with --join. Tracks whose times "
                             "overlap are refused and nothing is written."));
    c.positional(QStringLiteral("INPUT... OUTPUT"),
                 QStringLiteral("The track files, then the file to write."));
    c.option(QStringLiteral("join"), QStringLiteral("One line, not a segment per track."));
    addExportOptions(c);
    c.manyFiles = true;
    if (int s = c.parse(args); s >= 0)
        return s;
    const QStringList files = c.files();
    if (files.size() < 2)
        return failWith(Usage, QStringLiteral("merge needs the input files and the output file"));
    FixedDisplayUnits settings;
    if (int s = exportSettings(c, &settings); s >= 0)
        return s;
    const FileFormats formats(&settings);
    if (int s = checkOutputName(formats, files.last()); s >= 0)
        return s;
    QVector<Track> tracks;
    for (const QString &input : files.mid(0, files.size() - 1)) {
        QVector<Track> read;
        if (int s = readInput(formats, input, &read); s >= 0)
            return s;
        tracks += read;
    }
    if (int s = chosenTracks(c, &tracks); s >= 0)
        return s;
    QList<int> all;
    for (int i = 0; i < tracks.size(); ++i)
        all << i;
    const TrackEdit::Result r = TrackEdit::merge(tracks, all, c.isSet(QStringLiteral("join")));
    if (!r.change && tracks.size() != 1)
        return failWith(Failed, r.refusal + QStringLiteral(" Nothing was written."));
    if (r.change)
        TrackEdit::apply(tracks, *r.change);
    return writeOutput(formats, tracks, files.last(), {0}, c);
}

} // namespace Cli
