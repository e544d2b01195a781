#include "formats/filetarget.h"

#include <QCoreApplication>
#include <QFileInfo>

#include <cerrno>
#include <cstring>

namespace FileTarget {

QString cause(const QFileDevice &file)
{
    // A write cut short (part of a block written, then the disk full) leaves the device an
    // error without its text; the system's last one is the cause then.
    const int code = errno;
    const QString said = file.errorString();
    if (!said.isEmpty() && said != QLatin1String("Unknown error"))
        return said;
    return code != 0 ? QString::fromLocal8Bit(std::strerror(code)) : said;
}

bool writable(const QString &name, QString *why)
{
    const QFileInfo info(name);
    if (!info.exists() || info.isFile() || info.isDir()) // a folder fails with its own reason
        return true;
    *why = QCoreApplication::translate("FileFormat", "it is not a regular file");
    return false;
}

bool open(QSaveFile &file, QIODevice::OpenMode mode, QString *why)
{
    if (!writable(file.fileName(), why))
        return false;
    if (file.open(mode))
        return true;
    *why = file.errorString();
    return false;
}

namespace {
bool giveUp(QSaveFile &file, QString *why, const QString &reason)
{
    *why = reason;
    file.cancelWriting();
    file.commit(); // removes the new file; the old one stays
    return false;
}
} // namespace

bool abandon(QSaveFile &file, QString *why)
{
    // errno is left as the failed write set it: the device may keep no text of its own.
    file.flush(); // meets the cause again, and keeps it (the commit clears it)
    return giveUp(file, why, cause(file));
}

bool commit(QSaveFile &file, QString *why)
{
    errno = 0;
    if (!file.flush() || file.error() != QFileDevice::NoError)
        return giveUp(file, why, cause(file));
    if (file.commit())
        return true;
    *why = file.errorString();
    return false;
}

} // namespace FileTarget
