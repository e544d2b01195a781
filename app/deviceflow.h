#ifndef DEVICEFLOW_H
#define DEVICEFLOW_H

#include "device/loggersession.h"
#include "library/tracklibrary.h"

#include <QFuture>
#include <QObject>

#include <QPointer>
#include <QStringList>
#include <QVector>
#include <functional>

class DetectDeviceThread;
class TrackLibrary;
class QAction;
class QActionGroup;
class QComboBox;
class QDialog;
class QMainWindow;
class QProgressDialog;
class QPushButton;
class QWidget;

// The logger in the window: the port box with its Connect button, the three device
// actions, and the dialogs and messages of connecting, downloading, the settings and a
// deletion. The session holds the state of each; this only shows it.
class DeviceFlow : public QObject
{
    Q_OBJECT

public:
    explicit DeviceFlow(QMainWindow *window);
    ~DeviceFlow() override;

    // "Serial Port :", the port box and Connect, for the tool bar.
    QWidget *portBox() const { return box; }
    QAction *downloadAction() const { return downloadAct; }
    // Device → Download new tracks: those not in the library, archived as they come.
    QAction *downloadNewAction() const { return downloadNewAct; }
    // Device → Connect / Disconnect (Ctrl+K): the Connect button from the keyboard.
    QAction *connectAction() const { return connectAct; }
    QAction *deleteAction() const { return deleteAct; }
    QAction *settingsAction() const { return deviceSettingAct; }

    // A port offered first whatever detection finds, such as a simulated logger's
    // pseudo-terminal.
    void setGivenPort(const QString &portName);
    // How many tracks shown are not saved: a download that would replace them asks first.
    void setUnsavedCount(std::function<int()> count) { unsavedCount = std::move(count); }
    // The user's track library, opened on first use (null when there is none to use).
    void setLibrary(std::function<TrackLibrary *(bool ask)> open) { library = std::move(open); }

public slots:
    // A new list of port names from detection.
    void onDeviceDiscovered(QStringList portList);

signals:
    // A download is about to start: playback must stop.
    void downloadStarting();
    // What a download brought, to replace the tracks shown.
    void tracksDownloaded(const QVector<Track> &tracks);
    // Tracks were written into the library: `all` of those just downloaded.
    void archived(bool all);

protected:
    // A focused Connect button takes Space (else the window's Play shortcut would).
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    void connectDevice();
    void download(bool newOnly);
    void deleteAll();
    void onTrackList(const QVector<TrackFileHeader> &headers);
    void chooseTracks(const QVector<TrackFileHeader> &headers);
    void askDeleteAll(const QVector<TrackFileHeader> &headers);
    // Writes each whole track downloaded into the library and says what became of them.
    void storeWhole(int index, const Track &track);
    bool archiveOne(TrackLibrary *archive, int k, const QVector<Track> &tracks,
                    QStringList *failed);
    void archive(const QVector<Track> &tracks);
    void onFinished(LoggerSession::Task task, LoggerSession::Outcome outcome,
                    const QVector<Track> &tracks);
    void onDownloadFinished(LoggerSession::Outcome outcome, const QVector<Track> &tracks);
    void onConfigRead();
    void toIdle();
    void endConnecting();
    void inform(const QString &text);
    void warn(const QString &text, const QString &detail = QString());

    QMainWindow *window;
    std::function<int()> unsavedCount;
    std::function<TrackLibrary *(bool ask)> library;
    // What the logger's list is asked for.
    enum class Listing
    {
        Download,
        DownloadNew,
        DeleteAll
    } listing = Listing::Download;
    QVector<TrackFileHeader> downloading; // the headers of the download under way
    // Download new tracks: each whole track written to the library while the next arrives.
    QVector<QFuture<TrackLibrary::Written>> writes;
    LoggerSession *session;
    DetectDeviceThread *detectThread = nullptr;
    QWidget *box = nullptr;
    QComboBox *portComboBox = nullptr;
    QAction *connectAct = nullptr;
    QPushButton *connectButton = nullptr;
    QAction *downloadAct = nullptr;
    QAction *downloadNewAct = nullptr;
    QAction *deleteAct = nullptr;
    QAction *deviceSettingAct = nullptr;
    QActionGroup *deviceActionGroup = nullptr;
    QProgressDialog *progressDialog = nullptr;
    QPointer<QDialog> choiceDialog; // the track choice, while it is open
    QString givenPort;
    bool connecting = false; // from Connect until the greeting's outcome
};

#endif // DEVICEFLOW_H
