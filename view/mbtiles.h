#ifndef MBTILES_H
#define MBTILES_H

#include <QByteArray>
#include <QRectF>
#include <QString>
#include <QWebEngineUrlSchemeHandler>

#include <memory>

class QSqlDatabase;
class QSqlQuery;

// An MBTiles file of raster tiles (PNG, JPEG or WebP), read only.
class MbTilesFile
{
public:
    MbTilesFile();
    ~MbTilesFile();
    MbTilesFile(const MbTilesFile &) = delete;
    MbTilesFile &operator=(const MbTilesFile &) = delete;

    // Opens the file and checks it: an SQLite database with the tiles and
    // metadata tables whose first tile is a picture. On failure `error` says why.
    bool open(const QString &path, QString *error);

    // The tile at z/x/y in the map's own row order (the file keeps TMS rows,
    // counted from the south); empty when the file has none there.
    QByteArray tile(int z, int x, int y) const;
    static QByteArray mimeType(const QByteArray &tile);

    QString path;
    QString name;
    QString attribution;
    QRectF bounds; // west, south, width, height in degrees; empty if not given
    int minZoom = 0;
    int maxZoom = 22;

    // The largest tile served: a bigger one is no picture of 256 pixels, and is refused.
    static constexpr int MaxTileBytes = 2 << 20;
    // How long opening may take, and one tile's query: a file built to make SQLite work for
    // ever (a recursive view) is given up on.
    static constexpr int OpenDeadlineMs = 3000;
    static constexpr int TileDeadlineMs = 250;

private:
    // open() on the calling thread, and its steps.
    bool openHere(const QString &path, QString *error);
    bool checkTables(QSqlDatabase &db, QString *error);
    bool readMetadata(QSqlDatabase &db, QString *error);
    // Runs a query under a deadline; false (with the reason) when it fails or runs out.
    bool run(QSqlQuery &query, const QString &sql, int deadlineMs, QString *error);

    QString connection;
    std::unique_ptr<QSqlQuery> tileQuery;
    // When the query under way must end (ms since 1970; 0: none), read by SQLite's progress
    // handler, which holds its address: the object is neither copied nor moved.
    mutable qint64 deadlineEnd = 0;
};

// Serves the current offline map's tiles to the map page at
// "mbtiles:Z/X/Y". Anything else, and tiles the file lacks, fail.
class MbTilesSchemeHandler : public QWebEngineUrlSchemeHandler
{
    Q_OBJECT

public:
    static const QByteArray Scheme;
    // Must run before the application object exists.
    static void registerScheme();
    // Z/X/Y of a tile path, each a small non-negative integer in range; false otherwise.
    static bool parseTilePath(const QString &path, int *z, int *x, int *y);

    using QWebEngineUrlSchemeHandler::QWebEngineUrlSchemeHandler;
    void setFile(std::shared_ptr<MbTilesFile> file) { current = std::move(file); }
    void requestStarted(QWebEngineUrlRequestJob *job) override;

private:
    std::shared_ptr<MbTilesFile> current;
};

#endif // MBTILES_H
