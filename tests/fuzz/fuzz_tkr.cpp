// Reads arbitrary bytes as a TKR file. A refused file must leave the list as
// it was; an accepted one must write and read back to the same tracks.
#include "formats/fileformattkr.h"

#include <QFile>
#include <QLoggingCategory>

#include <cstdint>
#include <cstdlib>
#include <unistd.h>

namespace {
QString scratch(const char *name)
{
    // Memory-backed where there is /dev/shm, so the fuzzer is not held up by a disk.
    static const QString dir = QFile::exists(QStringLiteral("/dev/shm"))
                                   ? QStringLiteral("/dev/shm")
                                   : QStringLiteral("/tmp");
    return QStringLiteral("%1/lx300-fuzz-%2-%3").arg(dir).arg(getpid()).arg(QLatin1String(name));
}
} // namespace

extern "C" int LLVMFuzzerInitialize(int *, char ***)
{
    QLoggingCategory::setFilterRules(QStringLiteral("lx300.*=false"));
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    const QString in = scratch("in.tkr");
    {
        QFile f(in);
        if (!f.open(QIODevice::WriteOnly))
            abort();
        f.write(reinterpret_cast<const char *>(data), qint64(size));
    }
    FileFormatTKR tkr;
    Track sentinel;
    sentinel.startTime = 42;
    QVector<Track> tracks{sentinel};
    if (!tkr.read(tracks, in)) {
        if (tracks.size() != 1 || tracks[0].startTime != 42 || tkr.errorString().isEmpty())
            abort();
        return 0;
    }
    tracks.removeFirst();
    QList<int> all;
    for (int i = 0; i < tracks.size(); ++i)
        all.append(i);
    const QString out = scratch("out.tkr");
    if (!tkr.write(tracks, out, all, false))
        abort();
    QVector<Track> again;
    if (!tkr.read(again, out) || again.size() != tracks.size())
        abort();
    for (int t = 0; t < tracks.size(); ++t) {
        if (again[t].points.size() != tracks[t].points.size() ||
            again[t].startTime != tracks[t].startTime || again[t].format != tracks[t].format)
            abort();
    }
    return 0;
}
