// lx300-cli's commands on track files.
#include "analysis/pieces.h"
#include "analysis/tripstats.h"
#include "model/units.h"
#include "tools/cli/clicommand.h"
#include "tools/cli/cliparse.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QRegularExpression>

#include <algorithm>
#include <cmath>
#include <cstdio>

namespace Cli {

namespace {
// A JSON number at full precision; JSON has no NaN or infinity.
QByteArray jsonNumber(double v)
{
    return std::isfinite(v) ? QByteArray::number(v, 'g', 17) : QByteArray("null");
}

// The laps and splits asked for, per track.
struct PieceLists
{
    bool laps = false, splits = false;
    QVector<QVector<Pieces::Piece>> lapsOf, splitsOf;
};

// The laps and the splits ("1km", "1mi", "10min" in `every`) of each track, as asked.
PieceLists piecesOf(const QVector<Track> &tracks, bool laps, bool splits,
                    const QRegularExpressionMatch &every)
{
    PieceLists pieces;
    pieces.laps = laps;
    pieces.splits = splits;
    const double n = every.captured(1).toDouble();
    const QString unit = every.captured(2);
    for (const Track &t : tracks) {
        if (laps)
            pieces.lapsOf << Pieces::laps(t);
        if (splits)
            pieces.splitsOf << (unit == QLatin1String("min") ? Pieces::byTime(t, n * 60)
                                : unit == QLatin1String("mi")
                                    ? Pieces::byDistance(t, n * Units::MetresPerMile)
                                    : Pieces::byDistance(t, n * 1000));
    }
    return pieces;
}

// A lap's or a split's object: the keys a track has, for its stretch.
QByteArray pieceJson(const Track &t, const Pieces::Piece &p)
{
    const TripStats s = Pieces::stats(t, p);
    const auto time = [&](int i) {
        return t.points[i].hasTime() ? '"' + utcText(t.points[i].time).toLatin1() + '"'
                                     : QByteArray("null");
    };
    const auto altitude = [&](double v) {
        return s.hasAltitude ? jsonNumber(v) : QByteArray("null");
    };
    return "{\"start\": " + time(p.from) + ", \"end\": " + time(p.to) +
           ", \"points\": " + QByteArray::number(s.points) +
           ", \"distance_m\": " + jsonNumber(s.distanceM) +
           ", \"duration_s\": " + QByteArray::number(s.durationS) +
           ", \"moving_time_s\": " + QByteArray::number(s.movingTimeS) +
           ", \"avg_speed_kmh\": " + jsonNumber(s.avgSpeedKmh()) +
           ", \"max_speed_kmh\": " + jsonNumber(s.maxSpeedKmh) +
           ", \"ascent_m\": " + altitude(s.ascentM) + ", \"descent_m\": " + altitude(s.descentM) +
           "}";
}

QByteArray piecesJson(const Track &t, const QVector<Pieces::Piece> &pieces)
{
    QByteArray list = "[";
    for (int k = 0; k < pieces.size(); ++k)
        list += (k ? ", " : "") + pieceJson(t, pieces[k]);
    return list + "]";
}

// `, "name": ..., "description": ...`, null where a track has none (a logger's), and its
// segments.
QByteArray textsJson(const Track &t)
{
    const auto quoted = [](const QString &text) { // a JSON string, escaped as JSON says
        return text.isEmpty() ? QByteArray("null")
                              : QJsonDocument(QJsonArray{text})
                                    .toJson(QJsonDocument::Compact)
                                    .mid(1)
                                    .chopped(1);
    };
    const qsizetype segments =
        std::count_if(t.points.begin(), t.points.end(),
                      [](const TrackPoint &p) { return p.startsSegment(); }) +
        (t.points.isEmpty() ? 0 : 1);
    return ", \"name\": " + quoted(t.name) + ", \"description\": " + quoted(t.description) +
           ", \"segments\": " + QByteArray::number(segments);
}

// Other devices' sensor figures, only where the points have such values.
QByteArray sensorsJson(const TripStats &s)
{
    QByteArray json;
    if (s.heartRate.count > 0)
        json += ", \"heart_rate_avg_bpm\": " + jsonNumber(s.heartRate.avg()) +
                ", \"heart_rate_max_bpm\": " + QByteArray::number(s.heartRate.max);
    if (s.cadence.count > 0)
        json += ", \"cadence_avg_rpm\": " + jsonNumber(s.cadence.avg());
    if (s.temperature.count > 0)
        json += ", \"temperature_avg_c\": " + jsonNumber(s.temperature.avg());
    if (s.power.count > 0)
        json += ", \"power_avg_w\": " + jsonNumber(s.power.avg());
    return json;
}

// The file's places of their own: name, description (null where none), position, elevation
// and time (null where none).
QByteArray waypointsJson(const QVector<Waypoint> &waypoints)
{
    QJsonArray list;
    const auto text = [](const QString &t) { return t.isEmpty() ? QJsonValue() : QJsonValue(t); };
    for (const Waypoint &w : waypoints) {
        QJsonObject o;
        o.insert(QStringLiteral("name"), text(w.name));
        o.insert(QStringLiteral("description"), text(w.description));
        o.insert(QStringLiteral("lat"), w.latitude);
        o.insert(QStringLiteral("lon"), w.longitude);
        o.insert(QStringLiteral("elevation_m"),
                 w.hasAltitude ? QJsonValue(w.altitude) : QJsonValue());
        o.insert(QStringLiteral("time"), w.hasTime ? QJsonValue(utcText(w.time)) : QJsonValue());
        list.append(o);
    }
    return QJsonDocument(list).toJson(QJsonDocument::Compact);
}

// One object per track, keys in a fixed order and fixed units for scripts.
void printJson(const QVector<Track> &tracks, const QVector<TripStats> &stats,
               const PieceLists &pieces, const QVector<Waypoint> &waypoints)
{
    QByteArray json = "{\"tracks\": [";
    for (int i = 0; i < tracks.size(); ++i) {
        const TripStats &s = stats[i];
        const auto altitude = [&](double v) {
            return s.hasAltitude ? jsonNumber(v) : QByteArray("null");
        };
        const QByteArray start = tracks[i].startTime != 0
                                     ? '"' + utcText(tracks[i].startTime).toLatin1() + '"'
                                     : QByteArray("null"); // a track without times
        json += (i ? ", " : "") + QByteArray("{\"number\": ") + QByteArray::number(i + 1) +
                ", \"start\": " + start + textsJson(tracks[i]) +
                ", \"format\": " + QByteArray::number(tracks[i].format) +
                ", \"points\": " + QByteArray::number(s.points) +
                ", \"marks\": " + QByteArray::number(s.marks) +
                ", \"duration_s\": " + QByteArray::number(s.durationS) +
                ", \"moving_time_s\": " + QByteArray::number(s.movingTimeS) +
                ", \"distance_m\": " + jsonNumber(s.distanceM) +
                ", \"max_speed_kmh\": " + jsonNumber(s.maxSpeedKmh) +
                ", \"avg_speed_kmh\": " + jsonNumber(s.avgSpeedKmh()) +
                ", \"avg_moving_speed_kmh\": " + jsonNumber(s.avgMovingSpeedKmh()) +
                ", \"min_altitude_m\": " + altitude(s.minAltitudeM) +
                ", \"max_altitude_m\": " + altitude(s.maxAltitudeM) +
                ", \"ascent_m\": " + altitude(s.ascentM) +
                ", \"descent_m\": " + altitude(s.descentM) + sensorsJson(s);
        if (pieces.laps)
            json += ", \"laps\": " + piecesJson(tracks[i], pieces.lapsOf[i]);
        if (pieces.splits)
            json += ", \"splits\": " + piecesJson(tracks[i], pieces.splitsOf[i]);
        json += "}";
    }
    out() << json << "], \"waypoints\": " << waypointsJson(waypoints) << "}\n";
}

// The figures after the counts, in the chosen units; "-" where a track has none.
QString figuresText(const TripStats &s, SpeedUnit speedUnit, HeightUnit heightUnit)
{
    const TripAnalysis::FigureTexts f = TripAnalysis::figureTexts(s, speedUnit, heightUnit);
    return QStringList{f.distance,     f.duration, f.movingTime, f.averageSpeed, f.movingAverage,
                       f.maximumSpeed, f.lowest,   f.highest,    f.ascent,       f.descent}
        .join(QLatin1Char('\t'));
}

// "lap" or "split" rows: track, number, first and last time, points, then the figures.
void printPieces(const QString &kind, const QVector<Track> &tracks,
                 const QVector<QVector<Pieces::Piece>> &pieces, SpeedUnit speedUnit,
                 HeightUnit heightUnit)
{
    out() << "track\t" << kind
          << "\tstart\tend\tpoints\tdistance\tduration\tmoving\tavg speed\tavg moving\t"
             "max speed\tmin alt\tmax alt\tascent\tdescent\n";
    const QString none = QStringLiteral("-");
    for (int i = 0; i < tracks.size(); ++i)
        for (int k = 0; k < pieces[i].size(); ++k) {
            const Pieces::Piece &p = pieces[i][k];
            const TrackPoint &a = tracks[i].points[p.from], &b = tracks[i].points[p.to];
            const TripStats s = Pieces::stats(tracks[i], p);
            out() << i + 1 << '\t' << k + 1 << '\t' << (a.hasTime() ? utcText(a.time) : none)
                  << '\t' << (b.hasTime() ? utcText(b.time) : none) << '\t' << s.points << '\t'
                  << figuresText(s, speedUnit, heightUnit) << '\n';
        }
}

} // namespace

int convertCommand(const QStringList &args)
{
    const FixedDisplayUnits units;
    const FileFormats all(&units);
    QString kept;
    for (const char *extension :
         {".tkr", ".gpx", ".kml", ".geojson", ".csv", ".kmz", ".tcx", ".fit", ".igc", ".nmea"})
        kept += QStringLiteral("\n  ") + all.byExtension(QLatin1String(extension))->keeps();
    Command c(QStringLiteral("convert"),
              QStringLiteral("Reads a track file (%1) and writes OUTPUT in the format its "
                             "extension selects (.tkr, .gpx, .kml, .geojson, .csv).")
                      .arg(FileFormats::readable()) +
                  kept);
    c.positional(QStringLiteral("INPUT"), QStringLiteral("The track file to read."));
    c.positional(QStringLiteral("OUTPUT"), QStringLiteral("The file to write."));
    addExportOptions(c);
    if (int s = c.parse(args); s >= 0)
        return s;
    FixedDisplayUnits settings;
    if (int s = exportSettings(c, &settings); s >= 0)
        return s;
    const FileFormats formats(&settings);
    const QString input = c.files().at(0);
    const QString output = c.files().at(1);
    QVector<Track> tracks;
    QVector<Waypoint> waypoints;
    QList<int> selection;
    QString error;
    int status = checkOutputName(formats, output);
    if (status < 0)
        status = readInput(formats, input, &tracks, &waypoints);
    if (status < 0) {
        if (!parseTrackSelection(c.value(QStringLiteral("tracks")), int(tracks.size()), &selection,
                                 &error))
            status = failWith(Usage, error);
        else
            status = writeOutput(formats, tracks, output, selection, c, &waypoints);
    }
    return status;
}

int infoCommand(const QStringList &args)
{
    Command c(QStringLiteral("info"),
              QStringLiteral("Describes each track of a track file: number, start (UTC), log "
                             "format, points, mark points, first and last point time, then "
                             "distance, duration, moving time, average, moving average and "
                             "maximum speed, lowest and highest altitude, ascent and descent; "
                             "then the totals."));
    c.positional(QStringLiteral("FILE"), QStringLiteral("The track file."));
    c.option(QStringLiteral("speed-unit"),
             QStringLiteral("Distances and speeds in km or mi (default km)."),
             QStringLiteral("km|mi"), QStringLiteral("km"));
    c.option(QStringLiteral("height-unit"), QStringLiteral("Heights in m or ft (default m)."),
             QStringLiteral("m|ft"), QStringLiteral("m"));
    c.option(QStringLiteral("json"),
             QStringLiteral("Print one JSON object in fixed units (m, s, km/h) instead."));
    c.option(QStringLiteral("laps"),
             QStringLiteral("Also a row per lap: from the start to the first mark point, mark "
                            "to mark, the last mark to the end."));
    c.option(QStringLiteral("splits"),
             QStringLiteral("Also a row per split: every N km, N mi or N minutes."),
             QStringLiteral("Nkm|Nmi|Nmin"));
    if (int s = c.parse(args); s >= 0)
        return s;
    static const QRegularExpression splitForm(
        QStringLiteral("^([0-9]+(?:\\.[0-9]+)?)(km|mi|min)$"));
    const QRegularExpressionMatch splitEvery = splitForm.match(c.value(QStringLiteral("splits")));
    if (c.isSet(QStringLiteral("splits")) &&
        (!splitEvery.hasMatch() || !(splitEvery.captured(1).toDouble() > 0)))
        return failWith(Usage, QStringLiteral("--splits takes a length or a time: 1km, 1mi or "
                                              "10min"));
    const QString speed = c.value(QStringLiteral("speed-unit"));
    const QString height = c.value(QStringLiteral("height-unit"));
    if (speed != QLatin1String("km") && speed != QLatin1String("mi"))
        return failWith(Usage, QStringLiteral("--speed-unit takes km or mi"));
    if (height != QLatin1String("m") && height != QLatin1String("ft"))
        return failWith(Usage, QStringLiteral("--height-unit takes m or ft"));
    const SpeedUnit speedUnit = speed == QLatin1String("mi") ? SpeedUnit::Mph : SpeedUnit::Kmh;
    const HeightUnit heightUnit =
        height == QLatin1String("ft") ? HeightUnit::Feet : HeightUnit::Metres;
    FixedDisplayUnits settings;
    const FileFormats formats(&settings);
    QVector<Track> tracks;
    QVector<Waypoint> waypoints;
    int status = readInput(formats, c.files().at(0), &tracks, &waypoints);
    if (status >= 0)
        return status;
    const QVector<TripStats> stats = TripAnalysis::allTrackStats(tracks);
    const PieceLists pieces = piecesOf(tracks, c.isSet(QStringLiteral("laps")),
                                       c.isSet(QStringLiteral("splits")), splitEvery);
    if (c.isSet(QStringLiteral("json"))) {
        printJson(tracks, stats, pieces, waypoints);
        return Ok;
    }
    out() << "track\tstart\tformat\tpoints\tmarks\tfirst\tlast\tdistance\tduration\tmoving\t"
             "avg speed\tavg moving\tmax speed\tmin alt\tmax alt\tascent\tdescent\n";
    for (int i = 0; i < tracks.size(); ++i) {
        const Track &t = tracks[i];
        const auto timed = [](const TrackPoint &p) { return p.hasTime(); };
        const auto first = std::find_if(t.points.cbegin(), t.points.cend(), timed);
        const auto last = std::find_if(t.points.crbegin(), t.points.crend(), timed);
        const QString none = QStringLiteral("-");
        out() << i + 1 << '\t' << (t.startTime != 0 ? utcText(t.startTime) : none) << '\t'
              << t.format << '\t' << stats[i].points << '\t' << stats[i].marks << '\t'
              << (first != t.points.cend() ? utcText(first->time) : none) << '\t'
              << (last != t.points.crend() ? utcText(last->time) : none) << '\t'
              << figuresText(stats[i], speedUnit, heightUnit) << '\n';
    }
    const TripStats total = TripAnalysis::combined(stats);
    out() << "total\t" << tracks.size() << " tracks\t\t" << total.points << '\t' << total.marks
          << "\t\t\t" << figuresText(total, speedUnit, heightUnit) << '\n';
    if (pieces.laps)
        printPieces(QStringLiteral("lap"), tracks, pieces.lapsOf, speedUnit, heightUnit);
    if (pieces.splits)
        printPieces(QStringLiteral("split"), tracks, pieces.splitsOf, speedUnit, heightUnit);
    return Ok;
}

} // namespace Cli
