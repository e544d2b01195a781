// lx300-cli geotag: the tracks' positions written into photos.
#include "geotag/exiftool.h"
#include "geotag/geotagger.h"
#include "tools/cli/clicommand.h"

#include <QDateTime>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>

namespace Cli {

namespace {
// QCommandLineParser gives an option one value; --photos takes every path after it up to
// the next option. Returns the paths and leaves the rest in `args`.
QStringList takePhotos(QStringList *args, bool *given)
{
    QStringList photos;
    *given = false;
    for (int i = 0; i < args->size();) {
        const QString a = args->at(i);
        if (a.startsWith(QLatin1String("--photos="))) {
            *given = true;
            photos << a.mid(9);
            args->removeAt(i);
        } else if (a == QLatin1String("--photos")) {
            *given = true;
            args->removeAt(i);
            while (i < args->size() && !args->at(i).startsWith(QLatin1Char('-')))
                photos << args->takeAt(i);
        } else {
            ++i;
        }
    }
    return photos;
}

QString timeText(qint64 ms)
{
    const QDateTime t = QDateTime::fromMSecsSinceEpoch(ms, Qt::UTC);
    return t.toString(ms % 1000 ? QStringLiteral("yyyy-MM-ddThh:mm:ss.zzzZ")
                                : QStringLiteral("yyyy-MM-ddThh:mm:ssZ"));
}

QString outcomeLine(const Geotag::Result &r)
{
    QString outcome = Geotag::outcomeText(r.outcome);
    if (!r.reason.isEmpty())
        outcome += QStringLiteral(": ") + r.reason;
    const bool tagged = Geotag::isTagged(r.outcome);
    if (tagged && r.sidecar)
        outcome += QStringLiteral(", sidecar ") + r.photo.sidecar;
    const QString none = QStringLiteral("-");
    // One line a photo: a tab or line break in a name or reason is written as \t, \n.
    const auto escaped = [](QString text) {
        QString out;
        for (const QChar c : text) {
            if (c == QLatin1Char('\\'))
                out += QStringLiteral("\\\\");
            else if (c == QLatin1Char('\t'))
                out += QStringLiteral("\\t");
            else if (c == QLatin1Char('\n'))
                out += QStringLiteral("\\n");
            else if (c == QLatin1Char('\r'))
                out += QStringLiteral("\\r");
            else if (c.unicode() < 0x20 || c.unicode() == 0x7f)
                out += QStringLiteral("\\x%1").arg(c.unicode(), 2, 16, QLatin1Char('0'));
            else
                out += c;
        }
        return out;
    };
    return QStringList{escaped(r.photo.file),
                       escaped(outcome),
                       tagged ? QString::number(r.fix.latitude, 'f', 7) : none,
                       tagged ? QString::number(r.fix.longitude, 'f', 7) : none,
                       tagged && r.fix.hasAltitude ? QString::number(r.fix.altitude, 'f', 1) : none,
                       r.utcMs ? timeText(r.utcMs) : none}
        .join(QLatin1Char('\t'));
}

QJsonObject outcomeJson(const Geotag::Result &r)
{
    const bool tagged = Geotag::isTagged(r.outcome);
    const auto orNull = [](bool has, const QJsonValue &v) { return has ? v : QJsonValue(); };
    return QJsonObject{
        {QStringLiteral("file"), r.photo.file},
        {QStringLiteral("outcome"), Geotag::outcomeKey(r.outcome)},
        {QStringLiteral("reason"), orNull(!r.reason.isEmpty(), r.reason)},
        {QStringLiteral("sidecar"), orNull(tagged && r.sidecar, r.photo.sidecar)},
        {QStringLiteral("latitude"), orNull(tagged, r.fix.latitude)},
        {QStringLiteral("longitude"), orNull(tagged, r.fix.longitude)},
        {QStringLiteral("altitude"), orNull(tagged && r.fix.hasAltitude, r.fix.altitude)},
        {QStringLiteral("time"), orNull(r.utcMs != 0, timeText(r.utcMs))}};
}

QJsonObject summaryJson(const Geotag::Summary &s, bool dryRun)
{
    return QJsonObject{{QStringLiteral("photos"), s.photos},
                       {QStringLiteral("tagged"), s.tagged()},
                       {QStringLiteral("exact"), s.exact},
                       {QStringLiteral("interpolated"), s.interpolated},
                       {QStringLiteral("outside"), s.outside},
                       {QStringLiteral("gap"), s.gap},
                       {QStringLiteral("no_date"), s.noDate},
                       {QStringLiteral("has_position"), s.hasPosition},
                       {QStringLiteral("unreadable"), s.unreadable},
                       {QStringLiteral("unwritable"), s.unwritable},
                       {QStringLiteral("dry_run"), dryRun}};
}

void addGeotagOptions(Command &c)
{
    c.positional(QStringLiteral("TRACKFILE..."),
                 QStringLiteral("Track files (%1) whose timed points are used together.")
                     .arg(FileFormats::readable()));
    c.manyFiles = true;
    c.option(QStringLiteral("photos"),
             QStringLiteral("Photo files or folders (every path up to the next option)."),
             QStringLiteral("PATH..."));
    c.option(QStringLiteral("recursive"), QStringLiteral("Look into the folders' folders too."));
    c.option(QStringLiteral("offset"),
             QStringLiteral("How far the camera's clock is ahead of UTC, a time zone and "
                            "seconds of drift (default: this computer's time zone). Photos "
                            "that record their offset use their own."),
             QStringLiteral("+HH:MM[:SS]"));
    c.option(QStringLiteral("max-gap"),
             QStringLiteral("Longest time between two track points a photo is placed between "
                            "(default 1800)."),
             QStringLiteral("SECONDS"), QStringLiteral("1800"));
    c.option(QStringLiteral("replace"),
             QStringLiteral("Write over positions photos already have (they are left alone "
                            "otherwise)."));
    c.option(QStringLiteral("sidecar"),
             QStringLiteral("Write an XMP sidecar NAME.xmp for every photo instead of into the "
                            "photo (RAW files always get one)."));
    c.option(QStringLiteral("dry-run"),
             QStringLiteral("Report what would be done; write nothing."));
    c.option(QStringLiteral("json"), QStringLiteral("The report as JSON."));
}

int geotagOptions(const Command &c, Geotag::Options *o)
{
    if (c.isSet(QStringLiteral("offset"))) {
        o->offsetS = Geotag::parseOffset(c.value(QStringLiteral("offset")));
        if (!o->offsetS)
            return failWith(Usage, QStringLiteral("--offset takes [+-]HH:MM or [+-]HH:MM:SS, "
                                                  "as in +02:00 or -05:30:17"));
    }
    bool ok = false;
    o->maxGapS = c.value(QStringLiteral("max-gap")).toLongLong(&ok);
    if (!ok || o->maxGapS < 0 || o->maxGapS > 86400 * 365)
        return failWith(Usage, QStringLiteral("--max-gap takes a number of seconds"));
    o->replace = c.isSet(QStringLiteral("replace"));
    o->sidecarAlways = c.isSet(QStringLiteral("sidecar"));
    return -1;
}
} // namespace

int geotagCommand(const QStringList &arguments)
{
    Command c(QStringLiteral("geotag"),
              QStringLiteral("Writes into each photo where the tracks were when it was taken: "
                             "the position between the two track points around its time. "
                             "JPEG, TIFF, PNG and WebP are written in place (by way of a copy, "
                             "their modification time kept); RAW files get an XMP sidecar. One "
                             "line per photo: file, outcome, latitude, longitude, altitude, "
                             "time (UTC); then a summary. Status 1 when a photo could not be "
                             "read or written."));
    addGeotagOptions(c);
    QStringList args = arguments;
    bool photosGiven = false;
    const QStringList paths = takePhotos(&args, &photosGiven);
    if (int s = c.parse(args); s >= 0)
        return s;
    Geotag::Options options;
    if (int s = geotagOptions(c, &options); s >= 0)
        return s;
    if (paths.isEmpty())
        return failWith(Usage, photosGiven
                                   ? QStringLiteral("--photos names no file or folder")
                                   : QStringLiteral("lx300-cli geotag: --photos is required"));

    const FixedDisplayUnits units;
    const FileFormats formats(&units);
    QVector<Track> tracks;
    for (const QString &file : c.files())
        if (int s = readInput(formats, file, &tracks); s >= 0)
            return s;
    const Geotag::Timeline timeline(tracks);
    if (timeline.isEmpty())
        std::fprintf(stderr, "The tracks have no point with a time: no photo can be placed.\n");

    QVector<Geotag::PathProblem> problems;
    const QStringList files =
        Geotag::photoFiles(paths, c.isSet(QStringLiteral("recursive")), &problems);
    if (Geotag::sidecarsOnly(&options))
        std::fprintf(stderr, "%s\n", qPrintable(ExifTool::missingHint()));
    const QHash<QString, QString> sidecars = Geotag::separateSidecars(files, options);
    PhotoMeta::Writer writer;
    const bool dryRun = c.isSet(QStringLiteral("dry-run"));
    const bool json = c.isSet(QStringLiteral("json"));
    Geotag::Summary summary;
    QJsonArray photos;
    const auto report = [&](const Geotag::Result &r) {
        summary.add(r.outcome);
        if (json)
            photos.append(outcomeJson(r));
        else
            out() << outcomeLine(r) << '\n';
    };
    for (const Geotag::PathProblem &problem : qAsConst(problems)) {
        Geotag::Result r;
        r.photo.file = problem.path;
        r.outcome = Geotag::Outcome::Unreadable;
        r.reason = problem.reason;
        report(r);
    }
    for (const QString &file : files) {
        PhotoMeta::Photo photo = PhotoMeta::read(file);
        if (sidecars.contains(file))
            PhotoMeta::useSidecar(&photo, sidecars.value(file));
        Geotag::Result r = Geotag::plan(photo, timeline, options);
        if (!dryRun)
            Geotag::write(r, options, writer);
        report(r);
    }
    if (json) {
        const QJsonObject all{{QStringLiteral("photos"), photos},
                              {QStringLiteral("summary"), summaryJson(summary, dryRun)}};
        out() << QJsonDocument(all).toJson(QJsonDocument::Compact) << '\n';
    } else {
        out() << (dryRun ? QStringLiteral("Dry run, nothing written. ") : QString())
              << summary.text() << '\n';
    }
    return summary.unreadable + summary.unwritable > 0 ? Failed : Ok;
}

} // namespace Cli
