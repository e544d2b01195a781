#ifndef FILEFORMAT_H
#define FILEFORMAT_H

#include "model/trackrecords.h"

#include <QList>
#include <QString>
#include <QVector>

// A track file format. `read` appends the file's tracks to `tracks` and leaves
// the list untouched when it fails; `write` writes the tracks at the indexes
// of `selection`, in that order, optionally only their mark points. Writers
// replace a file only once everything is written, so a failed save keeps
// what was there. Both say why they failed through errorString().
class FileFormat
{
public:
    virtual ~FileFormat();
    virtual bool read(QVector<Track> &tracks, const QString &fileName) = 0;
    virtual bool write(const QVector<Track> &tracks, const QString &fileName,
                       const QList<int> &selection, bool markedOnly) = 0;

    QString errorString() const { return error; }
    // After a successful read: what the file held that is not shown, if anything.
    QString readNote() const { return note; }

protected:
    bool fail(const QString &message);
    // False (with a message) when an index of `selection` is not a track.
    bool checkSelection(const QVector<Track> &tracks, const QList<int> &selection);

    void addSkippedNote(int skipped);
    // Ends a read that succeeded: notes the points left out and hands the tracks
    // over (moved, not copied, into an empty list: a big file's points are held once).
    bool deliver(QVector<Track> &tracks, QVector<Track> &found, int skipped);

    QString error;
    QString note;
};

#endif // FILEFORMAT_H
