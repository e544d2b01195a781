#ifndef FILEFLOW_H
#define FILEFLOW_H

#include "formats/fileformats.h"
#include "model/trackrecords.h"

#include <QList>
#include <QObject>
#include <QStringList>
#include <QVector>

class DisplayUnits;
class QMenu;
class QWidget;
class SettingsStore;

// Opening and saving track files for the window: the file dialogs, the questions asked
// before a file is replaced or a track cannot be kept whole, and the Recent files menu.
// It changes the window's track list only by adding what it read.
class MyFileDialog;

class FileFlow : public QObject
{
    Q_OBJECT

public:
    FileFlow(QVector<Track> *tracks, const DisplayUnits *units, SettingsStore *store,
             QString *directory, QWidget *window);

    // "Recent files": the last ten opened, and Clear.
    QMenu *recentMenu() const { return recent; }

    void open();
    // Reads the files (any format, any number) and adds their tracks; a file that cannot be
    // read changes nothing and is named in one warning. True when every file was read.
    bool openFiles(const QStringList &fileNames);
    // The opened files' places of their own (waypoints), in the order read; a download,
    // which replaces the tracks, drops them.
    const QVector<Waypoint> &waypoints() const { return places; }
    void clearWaypoints()
    {
        places.clear();
        placeFiles.clear();
    }
    // Asks for a file and writes the tracks at `selection`. True when everything was
    // written: every track with every point.
    enum class Saved
    {
        Nothing,
        Part,
        Everything,
        Again // the dialog is shown again (an existing file not to be replaced)
    };
    Saved save(const QList<int> &selection);

signals:
    // Tracks were added to the list.
    // Tracks were appended to the list, from index `first` on.
    void tracksAdded(int first);
    // The opened files' places of their own changed.
    void waypointsChanged(const QVector<Waypoint> &places, const QStringList &files);
    // What a read left out, for the status bar.
    void note(const QString &text);

private:
    Saved saveOnce(MyFileDialog &dialog, const QList<int> &selection);
    void rebuildRecentMenu();
    bool mayReplace(const QString &fileName);
    bool mayWriteIncomplete(const QList<int> &selection);
    // TKR keeps no point without a time, nor one without an altitude in a track that has
    // altitudes: asks before such points are dropped.
    bool mayDropUnstorablePoints(const QList<int> &selection, bool markedOnly);
    // Asks before a save that leaves out what `text` says; Cancel by default.
    bool mayLeaveOut(const QString &text);
    void warn(const QString &text);

    QVector<Track> *tracks;
    QVector<Waypoint> places; // the opened files' places of their own, saved with the tracks
    QStringList placeFiles;   // the file name of each
    SettingsStore *store;
    QString *directory;
    QWidget *window;
    FileFormats formats;
    QMenu *recent = nullptr;
};

#endif // FILEFLOW_H
