#include "geotag/exiftool.h"

#include <QDeadlineTimer>
#include <QFileInfo>
#include <QStandardPaths>

QString ExifTool::program()
{
    if (qEnvironmentVariableIsSet("LX300_EXIFTOOL")) {
        const QString given = qEnvironmentVariable("LX300_EXIFTOOL");
        return !given.isEmpty() && QFileInfo(given).isExecutable() ? given : QString();
    }
    return QStandardPaths::findExecutable(QStringLiteral("exiftool"));
}

QString ExifTool::missingHint()
{
    return QStringLiteral("ExifTool is not installed: positions go into XMP sidecars only. "
                          "Install it (Debian: apt-get install libimage-exiftool-perl; "
                          "Windows: exiftool.exe on the PATH) to write them into the photos.");
}

ExifTool::~ExifTool()
{
    stop();
}

void ExifTool::stop()
{
    if (process.state() == QProcess::NotRunning)
        return;
    process.write("-stay_open\nFalse\n");
    process.closeWriteChannel();
    if (!process.waitForFinished(3000)) {
        process.kill();
        process.waitForFinished(1000);
    }
}

bool ExifTool::run(const QStringList &args, QString *output, int timeoutMs)
{
    output->clear();
    if (process.state() == QProcess::NotRunning) {
        const QString exe = program();
        if (exe.isEmpty()) {
            *output = QStringLiteral("ExifTool is not installed");
            return false;
        }
        // Messages and results in one stream, in the order ExifTool gives them.
        process.setProcessChannelMode(QProcess::MergedChannels);
        process.start(exe, {QStringLiteral("-stay_open"), QStringLiteral("True"),
                            QStringLiteral("-@"), QStringLiteral("-")});
        if (!process.waitForStarted(10000)) {
            *output = process.errorString();
            return false;
        }
    }
    const QByteArray ready = "{ready" + QByteArray::number(++serial) + '}';
    QByteArray command;
    // File names in UTF-8 on every system (Windows needs telling).
    for (const QString &a :
         QStringList{QStringLiteral("-charset"), QStringLiteral("filename=utf8")} + args)
        command += a.toUtf8() + '\n';
    command += "-execute" + QByteArray::number(serial) + '\n';
    process.write(command);
    QByteArray out;
    const QDeadlineTimer deadline(timeoutMs);
    while (!out.contains(ready)) {
        if (process.state() == QProcess::NotRunning || deadline.hasExpired()) {
            *output = QString::fromUtf8(out) + QStringLiteral("ExifTool did not answer");
            process.kill();
            process.waitForFinished(1000);
            return false;
        }
        process.waitForReadyRead(50);
        out += process.readAll();
    }
    *output = QString::fromUtf8(out.left(out.indexOf(ready))).trimmed();
    return true;
}
