#ifndef MAINWINDOW_H
#define MAINWINDOW_H

#include "app/settingsstore.h"
#include "edit/trackedit.h"
#include "model/trackrecords.h"
#include "model/units.h"

#include <QMainWindow>

#include <QPointer>
#include <QString>
#include <QStringList>
#include <QVector>
#include <memory>
#include <optional>
#include <utility>

class DeviceFlow;
class FileFlow;
class GeotagDialog;
class LibraryWindow;
class MapMenu;
class MapWidget;
class QAction;
class QDialog;
class QMenu;
class TrackLibrary;
struct StartOptions;

// The program's window: menus, the tool bar, the map widget in the middle and the
// statistics beside it. What is done with files, the logger and the maps lives in their
// flows; the window shows them and keeps the tracks and the preferences.
class MainWindow : public QMainWindow, public DisplayUnits
{
    Q_OBJECT

public:
    explicit MainWindow(QWidget *parent = nullptr);
    ~MainWindow() override;

    // Opens track files of any of the formats and adds their tracks to those shown; a file
    // that cannot be read is named in a warning and changes nothing. True when all were read.
    bool openFile(const QString &fileName);
    bool openFiles(const QStringList &fileNames);

    // What the command line asks for: the map, a port offered first whatever detection
    // finds (a simulated logger's pseudo-terminal, say), then a track file.
    void applyStartOptions(const StartOptions &options);

    const QVector<Track> &trackList() const { return tracks; }

    // The Unit and Time menus, which the views and the CSV export follow.
    SpeedUnit speedUnit() const override { return prefs.speed; }
    HeightUnit heightUnit() const override { return prefs.height; }
    TimeShown timeShown() const override { return prefs.time; }

protected:
    void closeEvent(QCloseEvent *event) override;
    void dragEnterEvent(QDragEnterEvent *event) override;
    void dropEvent(QDropEvent *event) override;

private:
    void setupForm();
    void createActions();
    void createMenus();
    void createToolBars();
    void applyPreferences();
    void unitsChanged();
    // View > Colour lines by, and its range.
    void colouringChanged();
    // Edit menu: the edit engine on the listed track's selection or the ticked tracks.
    void createEditActions();
    void createContextMenus();
    void edit(const TrackEdit::Result &result, int listed);
    void undoRedo(bool undo);
    void afterEdit(const QList<int> &ticked, int listed);
    void updateEditActions();
    // "points 120-480: 3.2 km, 0:42:10, +85 m" for a selection of several points.
    void showSelectionFigures();
    void askColourRange();
    void save();
    void showFilter(); // the filter in force, in the status bar
    // What arrived (`count` tracks from index `first`), in the status bar.
    void tellArrived(int count, int first, const QString &how);
    bool tickOpened = false; // while files dropped or given at start are read
    void saveTracks(const QList<int> &selection);
    QList<int> allTracks() const;
    void filter();
    void about();
    void showStatistics();
    void showLibrary();
    // The track library, opened on first use (its folder asked for the first time, only
    // when \a ask); null when there is none or it cannot be used (said).
    TrackLibrary *library(bool ask = true);
    bool useLibrary(const QString &folder);
    void geotagPhotos();
    void playOrPause();
    void showPlaying(bool on);
    void exitProgram();
    // Asks about downloaded tracks not saved since; false when the user keeps the window.
    bool mayDropTracks();
    QAction *action(const char *name, const QString &text, const char *icon = nullptr);

    SettingsStore store;
    Preferences prefs;
    QVector<Track> tracks;
    bool unsavedDownload = false;
    bool quitting = false;
    bool playing = false;

    MapWidget *mapWidget = nullptr;
    FileFlow *files = nullptr;
    DeviceFlow *device = nullptr;
    MapMenu *maps = nullptr;
    QDialog *statisticsDialog = nullptr;
    QPointer<GeotagDialog> geotagDialog;
    std::unique_ptr<TrackLibrary> trackLibrary;
    QPointer<LibraryWindow> libraryWindow;

    QAction *openAct = nullptr;
    QAction *saveAct = nullptr;
    QAction *geotagAct = nullptr;
    QAction *exitAct = nullptr;
    QAction *filterAct = nullptr;
    QAction *playAct = nullptr;
    QAction *rewindAct = nullptr;
    QAction *kilometersAct = nullptr;
    QAction *milesAct = nullptr;
    QAction *feetAct = nullptr;
    QAction *meterAct = nullptr;
    QAction *utcTimeAct = nullptr;
    QAction *localTimeAct = nullptr;
    QList<QAction *> colourActs; // in ColourBy order
    TrackEdit::History history{200};
    QAction *undoAct = nullptr, *redoAct = nullptr;
    QList<QAction *> editActs; // in the Edit menu after Undo and Redo
    QAction *colourRangeAct = nullptr;
    std::optional<std::pair<double, double>> colourRange; // typed; the values' own units
    QAction *aboutAct = nullptr;
    QAction *zoomToTracksAct = nullptr;
    QAction *statisticsAct = nullptr;
    QAction *libraryAct = nullptr;
    QAction *libraryFolderAct = nullptr;
    const QString buildCode = QStringLiteral("S-ANX-21-0904113");
};

#endif // MAINWINDOW_H
