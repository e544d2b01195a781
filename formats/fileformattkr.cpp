#include "formats/fileformattkr.h"
#include "formats/filetarget.h"
#include "formats/trackinput.h"

#include <QCoreApplication>
#include <QDateTime>
#include <QFile>
#include <QLoggingCategory>
#include <QSaveFile>
#include <QtEndian>

#include <cmath>
#include <cstring>

Q_LOGGING_CATEGORY(lcTkr, "lx300.formats.tkr")

namespace {

const char Magic[4] = {'T', 'R', 'K', 'F'};
const char DeviceTag[16] = "LX300-AA-XXXXXX";
// Names and descriptions follow the last track, where a reader that walks the index never
// looks: "TKRN", a count, then per named track its place in the file and two UTF-8 texts, each
// after its byte length (all little-endian 32-bit). Written only when a track has a name or a
// description, so a file of the logger's tracks stays byte for byte as before.
const char NamesMagic[4] = {'T', 'K', 'R', 'N'};
constexpr quint32 MaxTextBytes = 1 << 20;
constexpr int ChunkPoints = 4096; // points decoded or encoded per file access

QString tr(const char *text)
{
    return QCoreApplication::translate("FileFormatTKR", text);
}

double readDouble(const uchar *p)
{
    const quint64 bits = qFromLittleEndian<quint64>(p);
    double value;
    std::memcpy(&value, &bits, sizeof value);
    return value;
}

void writeDouble(uchar *p, double value)
{
    quint64 bits;
    std::memcpy(&bits, &value, sizeof bits);
    qToLittleEndian(bits, p);
}

} // namespace

FileFormatTKR::FileFormatTKR() : offset(computeUtcOffset()) {}

qint32 FileFormatTKR::computeUtcOffset()
{
    return qint32(QDateTime::currentDateTime().offsetFromUtc());
}

namespace {
// Byte 44 of a point record (zero in files from before it was used): what the speed is. A
// logger's speeds are measured and keep it zero, so its tracks' files stay as they were.
enum RecordFlag : quint32
{
    RecordSpeedComputed = 1, // worked out from the positions, not measured
    RecordNoSpeed = 2        // none given and none could be worked out
};

// Appends the `n` point records of `chunk`; false when one has no valid position (NaN or
// infinity): the file is damaged. Points with an impossible latitude, longitude or altitude
// are left out and counted in `skipped`.
bool readPoints(const QByteArray &chunk, quint32 n, quint32 shift, Track *track, int *skipped)
{
    const uchar *p = reinterpret_cast<const uchar *>(chunk.constData());
    const bool altitudes = track->hasAltitudes();
    for (quint32 k = 0; k < n; ++k, p += FileFormatTKR::PointSize) {
        const quint32 time = qFromLittleEndian<quint32>(p + 32) + shift;
        if (time == 0)
            continue; // never a real fix; dropped, its record still consumed
        TrackPoint point;
        point.position = Vec3(readDouble(p + 8), readDouble(p + 16), readDouble(p + 24) / 10000.0);
        if (!std::isfinite(point.position.x) || !std::isfinite(point.position.y) ||
            !std::isfinite(point.position.z))
            return false;
        if (!TrackInput::isLatitude(point.position.x) ||
            !TrackInput::isLongitude(point.position.y) ||
            (altitudes && !TrackInput::isAltitude(point.position.z))) {
            ++*skipped;
            continue;
        }
        if (!altitudes) {
            point.position.z = 0;
            point.flags |= TrackPoint::NoAltitude;
        }
        point.time = time;
        point.speed = qFromLittleEndian<quint32>(p + 36);
        point.marked = qint32(qFromLittleEndian<quint32>(p + 40));
        const quint32 flags = qFromLittleEndian<quint32>(p + 44);
        if (flags & RecordNoSpeed)
            point.flags |= TrackPoint::NoSpeed;
        else if (flags & RecordSpeedComputed)
            point.flags |= TrackPoint::SpeedComputed;
        track->points.append(point);
    }
    return true;
}
// The names after the tracks, if any; false when they are there but damaged.
bool readNames(QFile &file, QVector<Track> &tracks)
{
    const qint64 left = file.size() - file.pos();
    if (left < 8 || file.peek(4) != QByteArray::fromRawData(NamesMagic, 4))
        return true; // none (other bytes after the tracks were always left alone)
    if (left > 8 + qint64(tracks.size()) * (12 + 2 * qint64(MaxTextBytes)))
        return false; // more than the names of these tracks can take
    const QByteArray rest = file.read(left);
    const uchar *p = reinterpret_cast<const uchar *>(rest.constData());
    const qint64 size = rest.size();
    const quint32 count = qFromLittleEndian<quint32>(p + 4);
    qint64 at = 8;
    const auto text = [&](QString *out) {
        if (at + 4 > size)
            return false;
        const quint32 n = qFromLittleEndian<quint32>(p + at);
        at += 4;
        if (n > MaxTextBytes || at + n > size)
            return false;
        *out = QString::fromUtf8(rest.constData() + at, qsizetype(n));
        at += n;
        return true;
    };
    QVector<Track> named = tracks; // only whole when every entry reads
    for (quint32 k = 0; k < count; ++k) {
        if (at + 4 > size)
            return false;
        const quint32 track = qFromLittleEndian<quint32>(p + at);
        at += 4;
        QString name, description;
        if (!text(&name) || !text(&description) || track >= quint32(named.size()))
            return false;
        named[qsizetype(track)].name = name;
        named[qsizetype(track)].description = description;
    }
    tracks = std::move(named);
    return true;
}

QByteArray namesBlock(const QVector<const Track *> &written)
{
    QByteArray out(NamesMagic, 4);
    quint32 count = 0;
    out.append(4, '\0');
    const auto append32 = [&out](quint32 v) {
        uchar b[4];
        qToLittleEndian(v, b);
        out.append(reinterpret_cast<const char *>(b), 4);
    };
    for (int k = 0; k < written.size(); ++k) {
        const Track &t = *written[k];
        if (t.name.isEmpty() && t.description.isEmpty())
            continue;
        append32(quint32(k));
        for (const QString &s : {t.name, t.description}) {
            const QByteArray utf8 = s.toUtf8().left(MaxTextBytes);
            append32(quint32(utf8.size()));
            out += utf8;
        }
        ++count;
    }
    if (count == 0)
        return {};
    qToLittleEndian(count, reinterpret_cast<uchar *>(out.data()) + 4);
    return out;
}
} // namespace

bool FileFormatTKR::read(QVector<Track> &tracks, const QString &fileName)
{
    QFile file(fileName);
    if (!file.open(QIODevice::ReadOnly))
        return fail(tr("Cannot open %1: %2").arg(fileName, file.errorString()));
    const qint64 size = file.size();

    uchar header[HeaderSize];
    if (file.read(reinterpret_cast<char *>(header), HeaderSize) != HeaderSize ||
        std::memcmp(header, Magic, 4) != 0)
        return fail(tr("%1 is not a TKR track file.").arg(fileName));
    const quint16 version = qFromLittleEndian<quint16>(header + 4);
    const quint32 trackCount = qFromLittleEndian<quint32>(header + 40);
    qCDebug(lcTkr) << "version" << version;

    // Every count is checked against the file's size before anything is
    // allocated by it or read with it.
    const QString damaged = tr("%1 is damaged: it is shorter than its contents say.").arg(fileName);
    qint64 needed = HeaderSize + qint64(IndexEntrySize) * trackCount;
    if (needed > size)
        return fail(damaged);
    QByteArray index(qsizetype(IndexEntrySize) * trackCount, Qt::Uninitialized);
    if (file.read(index.data(), index.size()) != index.size())
        return fail(damaged);
    const uchar *entries = reinterpret_cast<const uchar *>(index.constData());
    for (quint32 i = 0; i < trackCount; ++i) {
        needed +=
            TrackHeaderSize + qint64(PointSize) * qFromLittleEndian<quint32>(entries + 12 * i + 8);
        if (needed > size)
            return fail(damaged);
    }

    const quint32 shift = version == 1 ? quint32(offset) : 0u;
    QVector<Track> read;
    read.reserve(qsizetype(trackCount));
    int skipped = 0, unknownFormats = 0;
    QByteArray chunk;
    for (quint32 i = 0; i < trackCount; ++i) {
        const quint32 pointCount = qFromLittleEndian<quint32>(entries + 12 * i + 8);
        uchar trackHeader[TrackHeaderSize];
        if (file.read(reinterpret_cast<char *>(trackHeader), TrackHeaderSize) != TrackHeaderSize)
            return fail(damaged);
        Track track;
        track.startTime = qFromLittleEndian<quint32>(trackHeader) + shift;
        track.format = qint32(qFromLittleEndian<quint32>(trackHeader + 4));
        if (track.format != 1 && track.format != 2) {
            ++unknownFormats; // read as the log format with altitudes, and said
            track.format = 2;
        }
        track.points.reserve(qsizetype(pointCount));

        for (quint32 done = 0; done < pointCount;) {
            const quint32 n = qMin<quint32>(ChunkPoints, pointCount - done);
            chunk.resize(qsizetype(n) * PointSize);
            if (file.read(chunk.data(), chunk.size()) != chunk.size())
                return fail(damaged);
            if (!readPoints(chunk, n, shift, &track, &skipped))
                return fail(tr("%1 is damaged: a point has no valid position.").arg(fileName));
            done += n;
        }
        read.append(track);
    }
    note.clear();
    if (!readNames(file, read))
        addNote(tr("The track names stored after the tracks are damaged: not read."));
    if (unknownFormats > 0)
        addNote(tr("Tracks of an unknown log format, read as tracks with altitudes: %1.")
                    .arg(unknownFormats));
    return deliver(tracks, read, skipped, fileName);
}

qint64 FileFormatTKR::unstorablePoints(const Track &track, bool markedOnly)
{
    qint64 n = 0;
    for (const TrackPoint &p : track.points)
        n += (!markedOnly || p.marked != 0) &&
             (!p.hasTime() || (track.hasAltitudes() && !p.hasAltitude()));
    return n;
}

bool FileFormatTKR::write(const QVector<Track> &tracks, const QString &fileName,
                          const QList<int> &selection, const WriteOptions &options)
{
    if (!checkSelection(tracks, selection))
        return false;
    QSaveFile file(fileName);
    QString why;
    if (!FileTarget::open(file, QIODevice::WriteOnly, &why))
        return fail(tr("Cannot write %1: %2").arg(fileName, why));

    const quint32 trackCount = quint32(selection.size());
    uchar header[HeaderSize] = {};
    std::memcpy(header, Magic, 4);
    qToLittleEndian(quint16(2), header + 4);
    std::memcpy(header + 6, DeviceTag, 16);
    std::memcpy(header + 22, DeviceTag, 16);
    qToLittleEndian(trackCount, header + 40);
    file.write(reinterpret_cast<const char *>(header), HeaderSize);

    // The index is written as zeros first and completed once the point
    // counts are known, so each track is walked only once.
    QByteArray index(qsizetype(IndexEntrySize) * trackCount, '\0');
    file.write(index);

    const quint32 dataStart = HeaderSize + IndexEntrySize * trackCount;
    quint32 r = 0;
    QByteArray buffer;
    buffer.reserve(ChunkPoints * PointSize);
    QVector<const Track *> written;
    for (quint32 k = 0; k < trackCount; ++k) {
        const Track &track = tracks.at(selection.at(int(k)));
        written << &track;
        uchar *entry = reinterpret_cast<uchar *>(index.data()) + IndexEntrySize * k;
        qToLittleEndian(k, entry);
        qToLittleEndian(dataStart + r, entry + 4);

        uchar trackHeader[TrackHeaderSize];
        qToLittleEndian(track.startTime, trackHeader);
        qToLittleEndian(quint32(track.format), trackHeader + 4);
        file.write(reinterpret_cast<const char *>(trackHeader), TrackHeaderSize);
        r += TrackHeaderSize;

        quint32 count = 0;
        for (const TrackPoint &point : track.points) {
            if ((options.markedOnly && point.marked == 0) ||
                (track.hasAltitudes() && !point.hasAltitude()))
                continue;
            uchar record[PointSize] = {};
            writeDouble(record + 8, point.position.x);
            writeDouble(record + 16, point.position.y);
            writeDouble(record + 24, point.position.z * 10000.0);
            qToLittleEndian(point.time, record + 32);
            qToLittleEndian(point.speed, record + 36);
            qToLittleEndian(quint32(point.marked), record + 40);
            const quint32 flags = !point.hasSpeed()                         ? RecordNoSpeed
                                  : point.flags & TrackPoint::SpeedComputed ? RecordSpeedComputed
                                                                            : 0u;
            qToLittleEndian(flags, record + 44);
            buffer.append(reinterpret_cast<const char *>(record), PointSize);
            if (buffer.size() >= ChunkPoints * PointSize) {
                file.write(buffer);
                buffer.clear();
            }
            r += PointSize;
            ++count;
        }
        file.write(buffer);
        buffer.clear();
        qToLittleEndian(count, entry + 8);
    }
    file.write(namesBlock(written));

    const bool indexed = file.error() == QFileDevice::NoError && file.seek(HeaderSize) &&
                         file.write(index) == index.size();
    if (!(indexed ? FileTarget::commit(file, &why) : FileTarget::abandon(file, &why)))
        return fail(tr("Cannot write %1: %2").arg(fileName, why));
    error.clear();
    return true;
}

QString FileFormatTKR::keeps() const
{
    return tr("TKR keeps times (whole seconds), altitudes, speeds, marks, names and "
              "descriptions; no segments. Every point needs a time, and in a track with altitudes "
              "an altitude.");
}
