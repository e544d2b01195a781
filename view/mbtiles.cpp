#include "view/mbtiles.h"

#include <QBuffer>
#include <QFileInfo>
#include <QSqlDatabase>
#include <QSqlError>
#include <QSqlQuery>
#include <QWebEngineUrlRequestJob>
#include <QWebEngineUrlScheme>

#include <QDateTime>
#include <QEventLoop>
#include <QFutureWatcher>
#include <QSqlDriver>
#include <QtConcurrent>

#include <sqlite3.h>

#include <atomic>

namespace {
constexpr int MaxZoom = 30;

bool isPicture(const QByteArray &data)
{
    return !MbTilesFile::mimeType(data).isEmpty();
}

// Digits only, no sign, no spaces, at most `digits` of them.
bool smallNumber(const QString &text, int digits, int *value)
{
    if (text.isEmpty() || text.size() > digits)
        return false;
    for (QChar c : text)
        if (c < QLatin1Char('0') || c > QLatin1Char('9'))
            return false;
    *value = text.toInt();
    return true;
}
} // namespace

namespace {
// SQLite calls this every thousand steps of a query; non-zero ends it.
int pastDeadline(void *data)
{
    const qint64 end = *static_cast<const qint64 *>(data);
    return end != 0 && QDateTime::currentMSecsSinceEpoch() > end ? 1 : 0;
}
} // namespace

MbTilesFile::MbTilesFile()
{
    static std::atomic<int> serial{0};
    connection = QStringLiteral("mbtiles-%1").arg(++serial);
}

MbTilesFile::~MbTilesFile()
{
    tileQuery.reset();
    {
        QSqlDatabase db = QSqlDatabase::database(connection, false);
        db.close();
    }
    QSqlDatabase::removeDatabase(connection);
}

bool MbTilesFile::open(const QString &file, QString *error)
{
    // Checked first on a thread of its own with a connection of its own: however the file was
    // made, the window goes on drawing meanwhile (user input waits: nothing starts another).
    QFuture<QString> check = QtConcurrent::run([file] {
        MbTilesFile probe;
        QString why;
        return probe.openHere(file, &why) ? QString() : why;
    });
    if (!check.isFinished()) {
        QFutureWatcher<QString> watcher;
        QEventLoop loop;
        QObject::connect(&watcher, &QFutureWatcher<QString>::finished, &loop, &QEventLoop::quit);
        watcher.setFuture(check);
        if (!check.isFinished())
            loop.exec(QEventLoop::ExcludeUserInputEvents);
    }
    if (!check.result().isEmpty()) {
        *error = check.result();
        return false;
    }
    return openHere(file, error); // known now to be plain tables: quick
}

bool MbTilesFile::openHere(const QString &file, QString *error)
{
    path = file;
    QSqlDatabase db = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), connection);
    db.setDatabaseName(file);
    // Read only, and never created: a missing file is an error, not a new database.
    db.setConnectOptions(QStringLiteral("QSQLITE_OPEN_READONLY"));
    if (!db.open()) {
        *error = db.lastError().text();
        return false;
    }
    if (const QVariant handle = db.driver()->handle();
        handle.isValid() && qstrcmp(handle.typeName(), "sqlite3*") == 0) {
        if (sqlite3 *h = *static_cast<sqlite3 *const *>(handle.constData()))
            sqlite3_progress_handler(h, 1000, pastDeadline, &deadlineEnd);
    }
    if (!checkTables(db, error) || !readMetadata(db, error))
        return false;
    if (name.isEmpty())
        name = QFileInfo(file).completeBaseName();
    if (maxZoom < minZoom)
        maxZoom = minZoom;

    QSqlQuery first(db);
    if (!run(first, QStringLiteral("SELECT tile_data FROM tiles LIMIT 1"), OpenDeadlineMs, error)) {
        *error = QStringLiteral("its tiles cannot be read (%1)").arg(*error);
        return false;
    }
    if (first.next() && !isPicture(first.value(0).toByteArray())) {
        *error = QStringLiteral("it holds a tile that is not a PNG, JPEG or WebP picture");
        return false;
    }
    tileQuery = std::make_unique<QSqlQuery>(db);
    // SQLite finds a blob's length without reading it: an oversized tile is never loaded.
    if (!tileQuery->prepare(QStringLiteral("SELECT tile_data FROM tiles WHERE zoom_level = ? AND "
                                           "tile_column = ? AND tile_row = ? AND "
                                           "length(tile_data) <= %1")
                                .arg(MaxTileBytes))) {
        *error = QStringLiteral("its tiles cannot be read (%1)").arg(tileQuery->lastError().text());
        tileQuery.reset();
        return false;
    }
    return true;
}

bool MbTilesFile::checkTables(QSqlDatabase &db, QString *error)
{
    // Tables only: a view may run a query that never ends.
    QSqlQuery tables(db);
    QStringList names;
    if (!run(tables,
             QStringLiteral("SELECT name, type FROM sqlite_master WHERE type IN "
                            "('table', 'view') AND name IN ('tiles', 'metadata')"),
             OpenDeadlineMs, error)) {
        *error = QStringLiteral("not an SQLite database (%1)").arg(*error);
        return false;
    }
    while (tables.next()) {
        if (tables.value(1).toString() != QLatin1String("table")) {
            *error =
                QStringLiteral("its %1 is a view, not a table").arg(tables.value(0).toString());
            return false;
        }
        names << tables.value(0).toString();
    }
    for (const char *needed : {"tiles", "metadata"})
        if (!names.contains(QLatin1String(needed))) {
            *error = QStringLiteral("it has no %1 table").arg(QLatin1String(needed));
            return false;
        }
    return true;
}

bool MbTilesFile::readMetadata(QSqlDatabase &db, QString *error)
{
    QSqlQuery meta(db);
    if (!run(meta, QStringLiteral("SELECT name, value FROM metadata LIMIT 1000"), OpenDeadlineMs,
             error)) {
        *error = QStringLiteral("its metadata cannot be read (%1)").arg(*error);
        return false;
    }
    while (meta.next()) {
        const QString key = meta.value(0).toString();
        const QString value = meta.value(1).toString();
        if (key == QLatin1String("name"))
            name = value;
        else if (key == QLatin1String("attribution"))
            attribution = value;
        else if (key == QLatin1String("minzoom"))
            minZoom = qBound(0, value.toInt(), MaxZoom);
        else if (key == QLatin1String("maxzoom"))
            maxZoom = qBound(0, value.toInt(), MaxZoom);
        else if (key == QLatin1String("bounds")) {
            const QStringList v = value.split(QLatin1Char(','));
            bool ok[4] = {};
            const double w = v.value(0).toDouble(&ok[0]), s = v.value(1).toDouble(&ok[1]);
            const double e = v.value(2).toDouble(&ok[2]), n = v.value(3).toDouble(&ok[3]);
            if (ok[0] && ok[1] && ok[2] && ok[3] && w >= -180 && e <= 180 && w < e && s >= -90 &&
                n <= 90 && s < n)
                bounds = QRectF(w, s, e - w, n - s);
        }
    }
    return true;
}

QByteArray MbTilesFile::tile(int z, int x, int y) const
{
    if (!tileQuery || z < 0 || z > MaxZoom)
        return QByteArray();
    tileQuery->bindValue(0, z);
    tileQuery->bindValue(1, x);
    tileQuery->bindValue(2, (1 << z) - 1 - y);
    QByteArray data;
    deadlineEnd = QDateTime::currentMSecsSinceEpoch() + TileDeadlineMs;
    if (tileQuery->exec() && tileQuery->next())
        data = tileQuery->value(0).toByteArray();
    deadlineEnd = 0;
    tileQuery->finish();
    return data;
}

bool MbTilesFile::run(QSqlQuery &query, const QString &sql, int deadlineMs, QString *error)
{
    deadlineEnd = QDateTime::currentMSecsSinceEpoch() + deadlineMs;
    query.setForwardOnly(true);
    const bool ok = query.exec(sql);
    deadlineEnd = 0;
    if (!ok) {
        *error = query.lastError().text();
        if (error->contains(QLatin1String("interrupt")))
            *error = QStringLiteral("SQLite took longer than %1 s").arg(deadlineMs / 1000);
        return false;
    }
    return true;
}

QByteArray MbTilesFile::mimeType(const QByteArray &tile)
{
    if (tile.startsWith("\x89PNG\r\n\x1a\n"))
        return "image/png";
    if (tile.startsWith("\xff\xd8\xff"))
        return "image/jpeg";
    if (tile.size() >= 12 && tile.startsWith("RIFF") && tile.mid(8, 4) == "WEBP")
        return "image/webp";
    return QByteArray();
}

const QByteArray MbTilesSchemeHandler::Scheme = "mbtiles";

void MbTilesSchemeHandler::registerScheme()
{
    QWebEngineUrlScheme scheme(Scheme);
    scheme.setSyntax(QWebEngineUrlScheme::Syntax::Path);
    scheme.setFlags(QWebEngineUrlScheme::SecureScheme | QWebEngineUrlScheme::LocalAccessAllowed |
                    QWebEngineUrlScheme::CorsEnabled);
    QWebEngineUrlScheme::registerScheme(scheme);
}

bool MbTilesSchemeHandler::parseTilePath(const QString &path, int *z, int *x, int *y)
{
    const QStringList parts = path.split(QLatin1Char('/'));
    if (parts.size() != 3 || !smallNumber(parts[0], 2, z) || *z > MaxZoom ||
        !smallNumber(parts[1], 10, x) || !smallNumber(parts[2], 10, y))
        return false;
    const qint64 side = qint64(1) << *z;
    return *x < side && *y < side;
}

void MbTilesSchemeHandler::requestStarted(QWebEngineUrlRequestJob *job)
{
    int z = 0, x = 0, y = 0;
    if (job->requestMethod() != "GET" || !parseTilePath(job->requestUrl().path(), &z, &x, &y)) {
        job->fail(QWebEngineUrlRequestJob::RequestDenied);
        return;
    }
    const QByteArray data = current ? current->tile(z, x, y) : QByteArray();
    const QByteArray mime = MbTilesFile::mimeType(data);
    if (mime.isEmpty()) { // no tile there (the map shows nothing), or not a picture
        job->fail(QWebEngineUrlRequestJob::UrlNotFound);
        return;
    }
    auto *buffer = new QBuffer(job);
    buffer->setData(data);
    buffer->open(QIODevice::ReadOnly);
    job->reply(mime, buffer);
}
