#include "formats/fileformat.h"

#include <QCoreApplication>

FileFormat::~FileFormat() = default;

bool FileFormat::fail(const QString &message)
{
    error = message;
    return false;
}

bool FileFormat::checkSelection(const QVector<Track> &tracks, const QList<int> &selection)
{
    for (int index : selection) {
        if (index < 0 || index >= tracks.size())
            return fail(
                QCoreApplication::translate("FileFormat", "There is no track %1.").arg(index + 1));
    }
    error.clear();
    return true;
}

bool FileFormat::failXml(const QString &fileName, bool foreign, const char *kind,
                         const QString &failure)
{
    if (foreign)
        return fail(QCoreApplication::translate("FileFormat", "%1 is not a %2 file.")
                        .arg(fileName, QLatin1String(kind)));
    return fail(
        QCoreApplication::translate("FileFormat", "%1 cannot be read: %2").arg(fileName, failure));
}

void FileFormat::addNote(const QString &sentence)
{
    if (!note.isEmpty())
        note += QLatin1Char(' ');
    note += sentence;
}

void FileFormat::addSkippedNote(int skipped)
{
    if (skipped > 0)
        addNote(QCoreApplication::translate(
                    "FileFormat", "Points with an impossible position or value, left out: %1.")
                    .arg(skipped));
}

bool ReadOnlyFileFormat::write(const QVector<Track> &, const QString &fileName, const QList<int> &,
                               const WriteOptions &)
{
    return fail(
        QCoreApplication::translate("FileFormat", "Cannot write %1: %2 files are only read.")
            .arg(fileName, QLatin1String(kind)));
}

qint64 FileFormat::descriptionsLeftOut(const QVector<Track> &tracks,
                                       const QList<int> &selection) const
{
    qint64 n = 0;
    for (int i : selection)
        n +=
            !keepsDescriptions() && i >= 0 && i < tracks.size() && !tracks[i].description.isEmpty();
    return n;
}

bool FileFormat::anySensors(const QVector<Track> &tracks, const QList<int> &selection)
{
    for (int i : selection)
        if (i >= 0 && i < tracks.size())
            for (const TrackPoint &p : tracks[i].points)
                if (p.hasSensors())
                    return true;
    return false;
}

qint64 FileFormat::sensorsLeftOut(const QVector<Track> &tracks, const QList<int> &selection,
                                  bool markedOnly) const
{
    qint64 n = 0;
    if (keepsSensors())
        return 0;
    for (int i : selection)
        if (i >= 0 && i < tracks.size())
            for (const TrackPoint &p : tracks[i].points)
                n += p.hasSensors() && (!markedOnly || p.marked != 0);
    return n;
}

bool FileFormat::deliver(QVector<Track> &tracks, QVector<Track> &found, int skipped,
                         const QString &fileName)
{
    qint64 points = 0;
    for (const Track &t : qAsConst(found))
        points += t.points.size();
    if (points == 0) {
        const QString why =
            skipped > 0
                ? QCoreApplication::translate("FileFormat",
                                              "%1 cannot be read: none of its %2 points has a "
                                              "possible position and values.")
                      .arg(fileName)
                      .arg(skipped)
                : QCoreApplication::translate("FileFormat", "%1 holds no track points.")
                      .arg(fileName);
        return fail(note.isEmpty() ? why : why + QLatin1Char(' ') + note);
    }
    addSkippedNote(skipped);
    if (tracks.isEmpty())
        tracks = std::move(found);
    else
        tracks += found;
    error.clear();
    return true;
}
