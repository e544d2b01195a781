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

void FileFormat::addSkippedNote(int skipped)
{
    if (skipped <= 0)
        return;
    if (!note.isEmpty())
        note += QLatin1Char(' ');
    note += QCoreApplication::translate(
                "FileFormat", "Points with an impossible position or value, left out: %1.")
                .arg(skipped);
}

bool FileFormat::deliver(QVector<Track> &tracks, QVector<Track> &found, int skipped)
{
    addSkippedNote(skipped);
    if (tracks.isEmpty())
        tracks = std::move(found);
    else
        tracks += found;
    error.clear();
    return true;
}
