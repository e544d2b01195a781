// Reads arbitrary bytes as a track file (the first byte chooses: below 240 one of GPX, KML,
// CSV and TKR; 240 to 241 FIT, 242 to 244 GeoJSON, 245 to 247 NMEA, 248 to 249 IGC, 250 to 252
// KMZ, 253 to 255 TCX). A refused file must leave the list as it was and say why; an accepted
// one writes out again (the read-only formats as GPX); the outside formats keep only possible
// positions, TKR reads back the same.
#include "formats/fileformats.h"
#include "model/units.h"

#include <QFile>
#include <QLoggingCategory>

#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <unistd.h>

extern "C" int LLVMFuzzerInitialize(int *, char ***)
{
    QLoggingCategory::setFilterRules(QStringLiteral("lx300.*=false"));
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    if (size < 1)
        return 0;
    static const char *const extensions[] = {".gpx", ".kml", ".csv", ".tkr"};
    const uint8_t c = data[0];
    const QString extension = QLatin1String(c >= 253   ? ".tcx"
                                            : c >= 250 ? ".kmz"
                                            : c >= 248 ? ".igc"
                                            : c >= 245 ? ".nmea"
                                            : c >= 242 ? ".geojson"
                                            : c >= 240 ? ".fit"
                                                       : extensions[c % 4]);
    // Memory-backed where there is /dev/shm, so the fuzzer is not held up by a disk.
    static const QString dir = QFile::exists(QStringLiteral("/dev/shm"))
                                   ? QStringLiteral("/dev/shm")
                                   : QStringLiteral("/tmp");
    const QString in =
        QStringLiteral("%1/lx300-fuzz-%2-in%3").arg(dir).arg(getpid()).arg(extension);
    {
        QFile f(in);
        if (!f.open(QIODevice::WriteOnly))
            abort();
        f.write(reinterpret_cast<const char *>(data + 1), qint64(size - 1));
    }
    FixedDisplayUnits settings;
    const FileFormats formats(&settings);
    FileFormat *format = formats.byExtension(extension);
    Track sentinel;
    sentinel.startTime = 42;
    QVector<Track> tracks{sentinel};
    if (!format->read(tracks, in)) {
        if (tracks.size() != 1 || tracks[0].startTime != 42 || format->errorString().isEmpty())
            abort();
    } else {
        // A TKR file is the program's own record and is kept as it is stored; the others
        // come from elsewhere and keep only possible positions.
        const bool tkr = extension == QLatin1String(".tkr");
        QList<int> all;
        for (int t = 1; t < tracks.size(); ++t) {
            all.append(t);
            for (const TrackPoint &p : tracks[t].points)
                if (!tkr && !(std::fabs(p.position.x) <= 90 && std::fabs(p.position.y) <= 180 &&
                              std::isfinite(p.position.z)))
                    abort();
        }
        FileFormat *writer =
            format->canWrite() ? format : formats.byExtension(QStringLiteral(".gpx"));
        const QString out =
            in + QStringLiteral(".out") + (format->canWrite() ? extension : QStringLiteral(".gpx"));
        // The file's waypoints go back out too (their names are the file's word).
        const QVector<Waypoint> places = format->waypoints();
        for (const Waypoint &w : places)
            if (!(std::fabs(w.latitude) <= 90 && std::fabs(w.longitude) <= 180 &&
                  std::isfinite(w.altitude)))
                abort();
        if (!writer->write(tracks, out, all, WriteOptions{false, true, &places}))
            abort();
        QVector<Track> again{sentinel};
        if (tkr && (!format->read(again, out) || again.size() != tracks.size()))
            abort();
        for (int t = 1; tkr && t < tracks.size(); ++t)
            if (again[t].points.size() != tracks[t].points.size() ||
                again[t].startTime != tracks[t].startTime)
                abort();
    }
    return 0;
}
