// Offline map tiles: a 100 MB MBTiles file is made, then 2,000 tiles at
// random places are read as the map page's URL scheme handler reads them
// (on the GUI thread). Prints the median (target under 2 ms) and the slowest
// read (the GUI thread must never be held more than 10 ms by one request).
#include "view/mbtiles.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QRandomGenerator>
#include <QSqlDatabase>
#include <QSqlQuery>
#include <QTemporaryDir>

#include <algorithm>
#include <cstdio>
#include <vector>

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("big.mbtiles"));
    constexpr int TileBytes = 25 * 1024;
    constexpr int Tiles = 4096; // 100 MB
    {
        QSqlDatabase db =
            QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), QStringLiteral("make"));
        db.setDatabaseName(path);
        db.open();
        QSqlQuery q(db);
        q.exec(QStringLiteral("CREATE TABLE metadata (name TEXT, value TEXT)"));
        q.exec(QStringLiteral("INSERT INTO metadata VALUES ('name', 'bench'), ('format', 'png')"));
        q.exec(QStringLiteral("CREATE TABLE tiles (zoom_level INTEGER, tile_column INTEGER, "
                              "tile_row INTEGER, tile_data BLOB)"));
        q.exec(QStringLiteral("CREATE UNIQUE INDEX tile_index ON tiles (zoom_level, tile_column, "
                              "tile_row)"));
        db.transaction();
        q.prepare(QStringLiteral("INSERT INTO tiles VALUES (12, ?, ?, ?)"));
        QByteArray tile(TileBytes, '\0');
        tile.replace(0, 8, "\x89PNG\r\n\x1a\n");
        for (int i = 0; i < Tiles; ++i) {
            for (int k = 8; k < TileBytes; k += 4)
                *reinterpret_cast<quint32 *>(tile.data() + k) =
                    QRandomGenerator::global()->generate();
            q.bindValue(0, 2000 + i % 64);
            q.bindValue(1, 1000 + i / 64);
            q.bindValue(2, tile);
            q.exec();
        }
        db.commit();
        db.close();
    }
    QSqlDatabase::removeDatabase(QStringLiteral("make"));

    MbTilesFile file;
    QString error;
    if (!file.open(path, &error)) {
        std::fprintf(stderr, "bench_tiles: %s\n", qPrintable(error));
        return 1;
    }
    std::vector<double> ms;
    for (int i = 0; i < 2000; ++i) {
        const int n = int(QRandomGenerator::global()->bounded(Tiles));
        const int x = 2000 + n % 64;
        const int y = (1 << 12) - 1 - (1000 + n / 64); // the map's rows, counted from the north
        QElapsedTimer t;
        t.start();
        const QByteArray data = file.tile(12, x, y);
        const QByteArray mime = MbTilesFile::mimeType(data);
        ms.push_back(t.nsecsElapsed() / 1e6);
        if (data.size() != TileBytes || mime != "image/png") {
            std::fprintf(stderr, "bench_tiles: tile %d/%d not found\n", x, y);
            return 1;
        }
    }
    std::sort(ms.begin(), ms.end());
    std::printf("tile from a %d MB MBTiles file: median %.3f ms (target < 2), slowest %.3f ms "
                "(target < 10)\n",
                Tiles * TileBytes / (1024 * 1024), ms[ms.size() / 2], ms.back());
    return 0;
}
