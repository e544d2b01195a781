#include "library/tracklibrary.h"

#include "analysis/tripstats.h"
#include "formats/fileformattkr.h"

#include <QCoreApplication>
#include <QDateTime>
#include <QDir>
#include <QDirIterator>
#include <QFile>
#include <QFileInfo>
#include <QSqlDatabase>
#include <QSqlError>
#include <QSqlQuery>
#include <QStandardPaths>
#include <QVariant>

#include <algorithm>
#include <cmath>

namespace {

// Raised whenever the tables change: an index of another version is made again.
constexpr int IndexVersion = 1;
const char IndexName[] = "library.sqlite";

QString tr(const char *text)
{
    return QCoreApplication::translate("TrackLibrary", text);
}

// What a TKR file keeps of a point, for comparing a track with its file read back: the
// altitude goes through the file's 1/10000 m, and only the speed's kind of the flags is kept.
bool keptEqual(const TrackPoint &given, const TrackPoint &back, bool altitudes)
{
    const quint8 kinds = TrackPoint::NoSpeed | TrackPoint::SpeedComputed;
    return given.time == back.time && given.millis == back.millis &&
           given.position.x == back.position.x && given.position.y == back.position.y &&
           (!altitudes || given.position.z * 10000.0 / 10000.0 == back.position.z) &&
           given.speed == back.speed && given.marked == back.marked &&
           (given.flags & kinds) == (back.flags & kinds);
}

QString sameTrack(const Track &given, const Track &back)
{
    if (back.points.size() != given.points.size())
        return tr("%1 of its %2 points read back").arg(back.points.size()).arg(given.points.size());
    if (back.startTime != given.startTime || back.format != given.format ||
        back.name != given.name || back.description != given.description)
        return tr("its start, log format or name read back differently");
    const bool altitudes = given.hasAltitudes();
    for (qsizetype i = 0; i < given.points.size(); ++i)
        if (!keptEqual(given.points[i], back.points[i], altitudes))
            return tr("point %1 read back differently").arg(i + 1);
    return {};
}

} // namespace

TrackLibrary::TrackLibrary(const QString &folder)
    : root(QDir(folder).absolutePath()),
      connection(QStringLiteral("lx300-library-%1").arg(quintptr(this)))
{}

TrackLibrary::~TrackLibrary()
{
    if (QSqlDatabase::contains(connection)) {
        QSqlDatabase::database(connection, false).close();
        QSqlDatabase::removeDatabase(connection);
    }
}

QString TrackLibrary::defaultFolder()
{
    return QStandardPaths::writableLocation(QStandardPaths::DocumentsLocation) +
           QStringLiteral("/LX-300 Library");
}

bool TrackLibrary::open(bool rebuild)
{
    if (!QDir().mkpath(root)) {
        error = tr("Cannot create the library folder %1.").arg(root);
        return false;
    }
    if (!openIndex())
        return false;
    return refresh(rebuild) && loadEntries();
}

bool TrackLibrary::openIndex()
{
    // The index is a cache of the files: one that is damaged or of another version is
    // removed and made again.
    const QString path = root + QLatin1Char('/') + QLatin1String(IndexName);
    for (int attempt = 0; attempt < 2; ++attempt) {
        QSqlDatabase db = QSqlDatabase::contains(connection)
                              ? QSqlDatabase::database(connection, false)
                              : QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), connection);
        db.setDatabaseName(path);
        if (!db.open()) {
            error = tr("Cannot open the library's index %1: %2").arg(path, db.lastError().text());
            return false;
        }
        QSqlQuery q(db);
        const bool sound = q.exec(QStringLiteral("PRAGMA quick_check")) && q.next() &&
                           q.value(0).toString() == QLatin1String("ok");
        QSqlQuery v(db);
        const bool current = sound && v.exec(QStringLiteral("PRAGMA user_version")) && v.next() &&
                             (v.value(0).toInt() == IndexVersion || v.value(0).toInt() == 0);
        if (current && createTables())
            return true;
        q.finish();
        v.finish();
        db.close();
        if (attempt == 0 && QFile::exists(path) && !QFile::remove(path))
            break;
    }
    error = tr("Cannot make the library's index %1 again.").arg(path);
    return false;
}

bool TrackLibrary::createTables()
{
    QSqlQuery q(QSqlDatabase::database(connection, false));
    const bool ok =
        q.exec(QStringLiteral(
            "CREATE TABLE IF NOT EXISTS tracks (file TEXT PRIMARY KEY, size INTEGER, "
            "modified INTEGER, start INTEGER, end INTEGER, points INTEGER, marks INTEGER, "
            "distance REAL, duration INTEGER, moving INTEGER, altitudes INTEGER, ascent REAL, "
            "descent REAL, south REAL, west REAL, north REAL, east REAL, logger_start INTEGER, "
            "logger_blocks INTEGER, name TEXT, note TEXT, archived INTEGER, damaged INTEGER)")) &&
        q.exec(QStringLiteral("PRAGMA user_version = %1").arg(IndexVersion));
    if (!ok)
        error = tr("The library's index cannot be written: %1").arg(q.lastError().text());
    return ok;
}

TrackLibrary::Entry TrackLibrary::describe(const QString &relative, const Track *track)
{
    Entry e;
    e.file = relative;
    if (!track) {
        e.damaged = true;
        return e;
    }
    const TripStats s = TripAnalysis::trackStats(*track);
    e.start = s.start ? s.start : track->startTime;
    e.end = s.end;
    e.points = s.points;
    e.marks = int(s.marks);
    e.distanceM = s.distanceM;
    e.durationS = s.durationS;
    e.movingTimeS = s.movingTimeS;
    e.hasAltitude = s.hasAltitude;
    e.ascentM = s.ascentM;
    e.descentM = s.descentM;
    e.south = e.west = 1000;
    e.north = e.east = -1000;
    for (const TrackPoint &p : track->points) {
        e.south = std::min(e.south, p.position.x);
        e.north = std::max(e.north, p.position.x);
        e.west = std::min(e.west, p.position.y);
        e.east = std::max(e.east, p.position.y);
    }
    if (track->points.isEmpty())
        e.south = e.west = e.north = e.east = 0;
    e.loggerStart = track->startTime; // a file's own track: known by its start
    e.name = track->name;
    e.note = track->description;
    return e;
}

bool TrackLibrary::store(const Entry &e, qint64 size, qint64 modified)
{
    QSqlQuery q(QSqlDatabase::database(connection, false));
    q.prepare(QStringLiteral(
        "INSERT OR REPLACE INTO tracks VALUES (?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, "
        "?, ?, ?, ?, ?, ?, ?)"));
    for (const QVariant &v : {QVariant(e.file),
                              QVariant(size),
                              QVariant(modified),
                              QVariant(qint64(e.start)),
                              QVariant(qint64(e.end)),
                              QVariant(e.points),
                              QVariant(e.marks),
                              QVariant(e.distanceM),
                              QVariant(e.durationS),
                              QVariant(e.movingTimeS),
                              QVariant(int(e.hasAltitude)),
                              QVariant(e.ascentM),
                              QVariant(e.descentM),
                              QVariant(e.south),
                              QVariant(e.west),
                              QVariant(e.north),
                              QVariant(e.east),
                              QVariant(qint64(e.loggerStart)),
                              QVariant(e.loggerBlocks),
                              QVariant(e.name),
                              QVariant(e.note),
                              QVariant(e.archivedAt),
                              QVariant(int(e.damaged))})
        q.addBindValue(v);
    if (!q.exec()) {
        error = tr("The library's index cannot be written: %1").arg(q.lastError().text());
        return false;
    }
    return true;
}

bool TrackLibrary::refresh(bool all)
{
    QSqlDatabase db = QSqlDatabase::database(connection, false);
    // What the index holds of each file, to tell new, changed and removed files.
    struct Known
    {
        qint64 size, modified;
        quint32 loggerStart;
        int loggerBlocks;
        qint64 archived;
    };
    QHash<QString, Known> known;
    QSqlQuery q(db);
    if (!q.exec(QStringLiteral("SELECT file, size, modified, logger_start, logger_blocks, "
                               "archived FROM tracks"))) {
        error = tr("The library's index cannot be read: %1").arg(q.lastError().text());
        return false;
    }
    while (q.next())
        known.insert(q.value(0).toString(), {q.value(1).toLongLong(), q.value(2).toLongLong(),
                                             quint32(q.value(3).toLongLong()), q.value(4).toInt(),
                                             q.value(5).toLongLong()});
    q.finish();

    db.transaction();
    QSet<QString> seen;
    QDirIterator files(root, {QStringLiteral("*.tkr")}, QDir::Files, QDirIterator::Subdirectories);
    bool ok = true;
    while (ok && files.hasNext()) {
        const QFileInfo info(files.next());
        const QString relative = QDir(root).relativeFilePath(info.filePath());
        seen.insert(relative);
        const qint64 modified = info.lastModified().toMSecsSinceEpoch();
        const auto k = known.constFind(relative);
        if (!all && k != known.cend() && k->size == info.size() && k->modified == modified)
            continue;
        QVector<Track> read;
        FileFormatTKR tkr;
        const bool readable = tkr.read(read, info.filePath()) && read.size() == 1;
        Entry e = describe(relative, readable ? &read.first() : nullptr);
        if (k != known.cend() && k->loggerStart != 0) { // what only the index knew
            e.loggerStart = k->loggerStart;
            e.loggerBlocks = k->loggerBlocks;
            e.archivedAt = k->archived;
        }
        ok = store(e, info.size(), modified);
    }
    QSqlQuery gone(db);
    gone.prepare(QStringLiteral("DELETE FROM tracks WHERE file = ?"));
    for (auto k = known.cbegin(); ok && k != known.cend(); ++k)
        if (!seen.contains(k.key())) {
            gone.addBindValue(k.key());
            ok = gone.exec();
        }
    if (!ok || !db.commit()) {
        db.rollback();
        if (error.isEmpty())
            error = tr("The library's index cannot be written: %1").arg(db.lastError().text());
        return false;
    }
    return true;
}

bool TrackLibrary::loadEntries()
{
    list.clear();
    QSqlQuery q(QSqlDatabase::database(connection, false));
    q.setForwardOnly(true);
    if (!q.exec(QStringLiteral(
            "SELECT file, start, end, points, marks, distance, duration, moving, altitudes, "
            "ascent, descent, south, west, north, east, logger_start, logger_blocks, name, note, "
            "archived, damaged FROM tracks ORDER BY start, length(file), file"))) {
        error = tr("The library's index cannot be read: %1").arg(q.lastError().text());
        return false;
    }
    while (q.next()) {
        Entry e;
        int c = 0;
        e.file = q.value(c++).toString();
        e.start = quint32(q.value(c++).toLongLong());
        e.end = quint32(q.value(c++).toLongLong());
        e.points = q.value(c++).toLongLong();
        e.marks = q.value(c++).toInt();
        e.distanceM = q.value(c++).toDouble();
        e.durationS = q.value(c++).toLongLong();
        e.movingTimeS = q.value(c++).toLongLong();
        e.hasAltitude = q.value(c++).toBool();
        e.ascentM = q.value(c++).toDouble();
        e.descentM = q.value(c++).toDouble();
        e.south = q.value(c++).toDouble();
        e.west = q.value(c++).toDouble();
        e.north = q.value(c++).toDouble();
        e.east = q.value(c++).toDouble();
        e.loggerStart = quint32(q.value(c++).toLongLong());
        e.loggerBlocks = q.value(c++).toInt();
        e.name = q.value(c++).toString();
        e.note = q.value(c++).toString();
        e.archivedAt = q.value(c++).toLongLong();
        e.damaged = q.value(c++).toBool();
        list.append(e);
    }
    return true;
}

const TrackLibrary::Entry *TrackLibrary::find(quint32 loggerStart, int loggerBlocks) const
{
    for (const Entry &e : list)
        if (!e.damaged && e.loggerStart == loggerStart &&
            (e.loggerBlocks == 0 || e.loggerBlocks == loggerBlocks))
            return &e;
    return nullptr;
}

QString TrackLibrary::reserveName(quint32 start)
{
    const QDateTime t = QDateTime::fromSecsSinceEpoch(start, Qt::UTC);
    const QString base = start == 0 ? QStringLiteral("undated/undated")
                                    : t.toString(QStringLiteral("yyyy/yyyy-MM-dd_HHmmss"));
    const auto taken = [this](const QString &name) {
        return reserved.contains(name) || QFile::exists(root + QLatin1Char('/') + name) ||
               std::any_of(list.cbegin(), list.cend(),
                           [&name](const Entry &e) { return e.file == name; });
    };
    QString name = base + QStringLiteral(".tkr");
    for (int n = 2; taken(name); ++n)
        name = QStringLiteral("%1-%2.tkr").arg(base).arg(n);
    reserved.insert(name);
    return name;
}

TrackLibrary::Written TrackLibrary::writeFile(const QString &folder, const QString &relative,
                                              const Track &track)
{
    Written w;
    w.file = relative;
    const QString path = folder + QLatin1Char('/') + relative;
    if (track.isIncomplete()) {
        w.reason = tr("the download stopped before the track's end");
        return w;
    }
    if (FileFormatTKR::unstorablePoints(track, false) > 0) {
        w.reason = tr("it has points a TKR file cannot keep");
        return w;
    }
    if (QFile::exists(path) || !QDir().mkpath(QFileInfo(path).absolutePath())) {
        w.reason = QFile::exists(path) ? tr("%1 exists already").arg(relative)
                                       : tr("cannot create the folder of %1").arg(relative);
        return w;
    }
    FileFormatTKR tkr;
    if (!tkr.write({track}, path, {0}, WriteOptions())) {
        w.reason = tkr.errorString();
        return w;
    }
    QVector<Track> back;
    if (!tkr.read(back, path) || back.size() != 1)
        w.reason = tr("%1 does not read back: %2").arg(relative, tkr.errorString());
    else
        w.reason = sameTrack(track, back.first());
    if (!w.reason.isEmpty()) {
        QFile::remove(path); // ours, just written, and not the track: it must not pass for it
        return w;
    }
    w.ok = true;
    w.track = back.first();
    return w;
}

bool TrackLibrary::add(const Written &written, quint32 loggerStart, int loggerBlocks)
{
    reserved.remove(written.file);
    if (!written.ok)
        return false;
    Entry e = describe(written.file, &written.track);
    e.loggerStart = loggerStart;
    e.loggerBlocks = loggerBlocks;
    e.archivedAt = QDateTime::currentSecsSinceEpoch();
    const QFileInfo info(root + QLatin1Char('/') + written.file);
    if (!store(e, info.size(), info.lastModified().toMSecsSinceEpoch()))
        return false;
    list.append(e);
    return true;
}

TrackLibrary::Written TrackLibrary::archive(const Track &track, quint32 loggerStart,
                                            int loggerBlocks)
{
    Written w = writeFile(root, reserveName(track.startTime), track);
    if (!add(w, loggerStart, loggerBlocks) && w.ok) {
        w.ok = false;
        w.reason = error;
    }
    return w;
}

bool TrackLibrary::setText(const QString &file, const QString &name, const QString &note)
{
    auto e =
        std::find_if(list.begin(), list.end(), [&file](const Entry &x) { return x.file == file; });
    if (e == list.end() || e->damaged) {
        error = tr("%1 is not a readable track of the library.").arg(file);
        return false;
    }
    const QString path = root + QLatin1Char('/') + file;
    FileFormatTKR tkr;
    QVector<Track> tracks;
    if (!tkr.read(tracks, path) || tracks.isEmpty()) {
        error = tkr.errorString();
        return false;
    }
    tracks.first().name = name.trimmed();
    tracks.first().description = note.trimmed();
    QList<int> all;
    for (int i = 0; i < tracks.size(); ++i)
        all << i;
    if (!tkr.write(tracks, path, all, WriteOptions())) {
        error = tkr.errorString();
        return false;
    }
    e->name = name.trimmed();
    e->note = note.trimmed();
    const QFileInfo info(path);
    return store(*e, info.size(), info.lastModified().toMSecsSinceEpoch());
}
