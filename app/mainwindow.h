#ifndef MAINWINDOW_H
#define MAINWINDOW_H

#include "formats/fileformats.h"
#include "model/trackrecords.h"
#include "model/units.h"

#include <QMainWindow>
#include <QMessageBox>
#include <QPointer>
#include <QString>
#include <QStringList>
#include <QVector>

class QAction;
class QActionGroup;
class QCloseEvent;
class QComboBox;
class QHBoxLayout;
class QMenu;
class QProgressDialog;
class QPushButton;
class QSlider;
class QToolBar;
class DetectDeviceThread;
class DeviceLX300;
class MapWidget;
class QDialog;
struct StartOptions;

class MainWindow : public QMainWindow, public DisplayUnits
{
    Q_OBJECT

public:
    explicit MainWindow(QWidget *parent = nullptr);
    ~MainWindow() override;

    // Opens one track file of any of the formats and adds its tracks to those shown;
    // a file that cannot be read is named in a warning and changes nothing.
    bool openFile(const QString &fileName);
    // Opens several track files of any of the four formats; their tracks are
    // added to those shown. Each file is read whole or not at all; the ones
    // that fail are named in one warning. True when every file was read.
    bool openFiles(const QStringList &fileNames);

    // A port offered first in the port box whatever detection finds, such as
    // a simulated logger's pseudo-terminal; empty for none.
    void setGivenPort(const QString &portName);
    // What the command line asks for: the given port, then the track file.
    void applyStartOptions(const StartOptions &options);

    // The preferences the views and the CSV export follow.
    SpeedUnit speed = SpeedUnit::Kmh;
    HeightUnit height = HeightUnit::Metres;
    TimeShown timeChoice = TimeShown::Local;

    QVector<Track> tracks;

    // What the CSV export and the views read at the moment they need it.
    SpeedUnit speedUnit() const override { return speed; }
    HeightUnit heightUnit() const override { return height; }
    TimeShown timeShown() const override { return timeChoice; }

public slots:
    void open();
    void save();
    void filter();
    void toggled();
    void about();
    void showStatistics();
    void openOfflineMap();
    void editMapSources();
    void DownloadDeviceTrackPoints();
    void DeleteDeviceTrackPoints();
    void DeviceSetting();
    void playOrPause();
    void rewind();
    void connectDevice();
    void OnRecvTrackFileHeader(QVector<TrackFileHeader> trackFileHeaderList);
    void OnRecvStatus(int cmd, int status);
    void onDeviceDiscovered(QStringList portList);
    void playThreadFinished();

protected:
    void closeEvent(QCloseEvent *event) override;
    void dragEnterEvent(QDragEnterEvent *event) override;
    void dropEvent(QDropEvent *event) override;

private:
    friend class TestWindow;

    void setupForm();
    void createActions();
    void createMenus();
    void createToolBars();
    void readSettings();
    void writeSettings();
    void onTrackBlockReceived();
    void finishDownload(bool keepWhatArrived);
    void cancelDownload();
    void exitProgram();
    // Asks about downloaded tracks not saved since; false when the user keeps the window.
    bool mayDropTracks();
    void startPortDetection();
    // The base maps: the Map menu lists them; a key is a network source's
    // name or an offline map's file path.
    void rebuildMapMenu();
    // `tell` reports a failure in a message; `remember` keeps the choice for the next start.
    bool chooseMap(const QString &key, bool tell, bool remember);
    void restoreMap();
    void rebuildRecentMenu();
    void addRecentFile(const QString &fileName);
    bool mayReplace(const QString &fileName);
    // Asks before tracks that came in part only are saved as they are.
    bool mayWriteIncomplete(const QList<int> &selection);
    void endConnecting();
    // The logger's line went away: disconnects as a pulled cable does, keeping what arrived.
    void lineLost(bool commandWaiting);
    // TKR keeps no point without a time: asks before such points are dropped.
    bool mayDropUntimedPoints(const QList<int> &selection, bool markedOnly);
    void showMessage(QMessageBox::Icon icon, const QString &text,
                     const QString &detail = QString());

    MapWidget *mapWidget = nullptr;

    QAction *openAct = nullptr;
    QAction *saveAct = nullptr;
    QAction *exitAct = nullptr;
    QAction *filterAct = nullptr;
    QAction *playAct = nullptr;
    QAction *rewindAct = nullptr;
    QSlider *speedSlider = nullptr;
    QAction *downloadAct = nullptr;
    QAction *deleteAct = nullptr;
    QAction *deviceSettingAct = nullptr;
    QAction *kilometersAct = nullptr;
    QAction *milesAct = nullptr;
    QAction *feetAct = nullptr;
    QAction *meterAct = nullptr;
    QAction *utcTimeAct = nullptr;
    QAction *localTimeAct = nullptr;
    QAction *aboutAct = nullptr;
    QAction *zoomToTracksAct = nullptr;
    QAction *statisticsAct = nullptr;
    QDialog *statisticsDialog = nullptr;
    QMenu *mapMenu = nullptr;
    QMenu *recentMenu = nullptr;
    QString mapKey;
    double mapLat = 0.0, mapLng = 0.0;
    int mapZoom = -1; // none reported yet

    QActionGroup *deviceActionGroup = nullptr;
    QActionGroup *speedUnitGroup = nullptr;
    QActionGroup *heightUnitGroup = nullptr;
    QActionGroup *timeGroup = nullptr;

    QMenu *fileMenu = nullptr;
    QMenu *deviceMenu = nullptr;
    QMenu *unitMenu = nullptr;
    QMenu *speedMenu = nullptr;
    QMenu *heightMenu = nullptr;
    QMenu *timeMenu = nullptr;
    QMenu *helpMenu = nullptr;
    QMenu *viewMenu = nullptr;

    QComboBox *portComboBox = nullptr;
    QPushButton *connectButton = nullptr;
    QHBoxLayout *toolBarLayout = nullptr;
    QToolBar *fileToolBar = nullptr;

    QProgressDialog *progressDialog = nullptr;
    QPointer<QDialog> choiceDialog; // the track choice, while it is open
    DeviceLX300 *device = nullptr;
    DetectDeviceThread *detectThread = nullptr;
    FileFormats fileFormats{this};

    QVector<int> downloadBlockIndexes;
    int receivedBlockCount = 0;
    QVector<Track> downloaded; // the download under way; `tracks` changes when it ends
    bool downloading = false;
    bool connecting = false; // from Connect until the greeting's outcome
    bool unsavedDownload = false;
    bool quitting = false;
    int currentTrackIndex = -1;
    const QString buildCode = QStringLiteral("S-ANX-21-0904113");
    bool playing = false;
    QString directory;
    QString givenPort;
};

#endif // MAINWINDOW_H
