#ifndef FILETARGET_H
#define FILETARGET_H

#include <QSaveFile>
#include <QString>

// Where the writers write: only over a regular file (or a link to one), never over a FIFO, a
// device node or what a link points to that is no file; and a failed write says why.
namespace FileTarget {

// False, with the reason, when `name` exists and is not a regular file (links followed).
bool writable(const QString &name, QString *why);
// Opens `file` for writing after writable(); false with the reason.
bool open(QSaveFile &file, QIODevice::OpenMode mode, QString *why);
// Why a write to `file` failed: its own words, or the system's where it has none.
QString cause(const QFileDevice &file);
// Gives up a write that failed: the old file stays; false, with the cause.
bool abandon(QSaveFile &file, QString *why);
// Flushes and commits `file`; false with the cause of the first failure (a full disk says
// so, not "Unknown error": the commit clears the error it met).
bool commit(QSaveFile &file, QString *why);

} // namespace FileTarget

#endif // FILETARGET_H
