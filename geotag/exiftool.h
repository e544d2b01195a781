#ifndef EXIFTOOL_H
#define EXIFTOOL_H

#include <QProcess>
#include <QString>
#include <QStringList>

// One ExifTool process kept open for a run (`exiftool -stay_open True -@ -`), fed one
// command at a time: starting Perl and ExifTool for each photo would cost more than the
// write. Used from the thread that made it.
class ExifTool
{
public:
    // The program: LX300_EXIFTOOL when set (empty or a missing file: none), else exiftool on
    // the PATH; empty when there is none.
    static QString program();
    // What to tell a user without it, once.
    static QString missingHint();

    ExifTool() = default;
    ~ExifTool();
    ExifTool(const ExifTool &) = delete;
    ExifTool &operator=(const ExifTool &) = delete;

    // Runs one command (its arguments; none may hold a line break) and gives what ExifTool
    // printed, its messages included. False when the process could not be run or did not
    // answer within `timeoutMs`; it is then ended and the next command starts a new one.
    bool run(const QStringList &args, QString *output, int timeoutMs = 120000);

private:
    void stop();
    QProcess process;
    int serial = 0;
};

#endif // EXIFTOOL_H
