#ifndef TRACKLIBRARY_H
#define TRACKLIBRARY_H

#include "model/trackrecords.h"

#include <QHash>
#include <QSet>
#include <QString>
#include <QVector>

// The user's archive of tracks: a folder of TKR files, one track each, named by the track's
// start in UTC ("2009/2009-04-11_081500.tkr"), and beside them an index (library.sqlite)
// that caches each file's figures. The files are the truth: the index is brought up to date
// with them on opening, and made again from them when it is missing or damaged. A file that
// cannot be read is listed as damaged and never touched.
//
// One object per folder, used from one thread (the index's connection is that thread's);
// writeFile() alone may run on any thread.
class TrackLibrary
{
public:
    struct Entry
    {
        QString file; // relative to the folder, with '/'
        quint32 start = 0, end = 0;
        qint64 points = 0;
        int marks = 0;
        double distanceM = 0;
        qint64 durationS = 0, movingTimeS = 0;
        bool hasAltitude = false;
        double ascentM = 0, descentM = 0;
        double south = 0, west = 0, north = 0, east = 0;
        // The logger's listing of the track it came from: its start and block count (0 when
        // not known, as for a file added by hand or an index made again from the files).
        quint32 loggerStart = 0;
        int loggerBlocks = 0;
        QString name, note;
        qint64 archivedAt = 0; // seconds since 1970; 0 when not known
        bool damaged = false;
    };

    // What writeFile() did: the file written and read back equal, or why not.
    struct Written
    {
        QString file; // relative
        bool ok = false;
        QString reason;
        Track track; // as read back
    };

    explicit TrackLibrary(const QString &folder);
    ~TrackLibrary();
    TrackLibrary(const TrackLibrary &) = delete;
    TrackLibrary &operator=(const TrackLibrary &) = delete;

    // Creates the folder if need be, opens the index and brings it up to date with the files
    // (`rebuild`: makes it again from them). False with errorString() when the folder or
    // the index cannot be used.
    bool open(bool rebuild = false);
    // Brings the index up to date with the files again (a file added or removed by hand
    // since): before anything is decided from the list.
    bool update() { return refresh(false) && loadEntries(); }
    QString folder() const { return root; }
    QString errorString() const { return error; }
    const QVector<Entry> &entries() const { return list; }

    // The entry of a logger's track listed with this start and block count, or null.
    const Entry *find(quint32 loggerStart, int loggerBlocks) const;

    // A new file's name for a track starting at `start`, distinct from every file and every
    // name handed out before ("-2", "-3" after a start second taken).
    QString reserveName(quint32 start);
    // Writes `track` as the file `relative` (through a temporary file, so a failed write
    // leaves nothing), reads it back and compares it with what was given, point by point.
    // Touches no index: safe on another thread.
    static Written writeFile(const QString &folder, const QString &relative, const Track &track);
    // Enters a file writeFile() wrote and verified, as the logger's track (start, blocks).
    bool add(const Written &written, quint32 loggerStart, int loggerBlocks);
    // Reserves, writes, verifies and enters in one step.
    Written archive(const Track &track, quint32 loggerStart, int loggerBlocks);

    // A track's name and note, in the index and in its file's name and description.
    bool setText(const QString &file, const QString &name, const QString &note);

    // A folder in the user's documents, for a first library.
    static QString defaultFolder();

private:
    bool openIndex();
    bool createTables();
    bool refresh(bool all);
    bool store(const Entry &e, qint64 size, qint64 modified);
    bool loadEntries();
    static Entry describe(const QString &relative, const Track *track);

    QString root;
    QString connection;
    QString error;
    QVector<Entry> list;
    QSet<QString> reserved;
};

#endif // TRACKLIBRARY_H
