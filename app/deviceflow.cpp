#include "app/deviceflow.h"

#include "app/devicesettingdialog.h"
#include "app/trackfileheaderdialog.h"
#include "device/detectdevicethread.h"
#include "library/tracklibrary.h"

#include <QAction>
#include <QActionGroup>
#include <QApplication>
#include <QComboBox>
#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QMainWindow>
#include <QMessageBox>
#include <QProgressDialog>
#include <QPushButton>
#include <QStatusBar>
#include <QtConcurrent>

namespace {
QString tr(const char *text)
{
    return QCoreApplication::translate("MainWindow", text);
}

QAction *deviceAction(const char *icon, const char *text, const char *name, QObject *parent)
{
    auto *action = new QAction(QIcon(QStringLiteral(":/images/%1.png").arg(QLatin1String(icon))),
                               tr(text), parent);
    action->setObjectName(QLatin1String(name));
    return action;
}
} // namespace

DeviceFlow::DeviceFlow(QMainWindow *window)
    : QObject(window), window(window), session(new LoggerSession(this))
{
    box = new QWidget(window);
    auto *layout = new QHBoxLayout(box);
    // Narrow enough that every control stays in view at the default 800 x 600.
    layout->setContentsMargins(4, 0, 4, 0);
    layout->addWidget(new QLabel(tr("Serial Port :"), box));
    portComboBox = new QComboBox(box);
    portComboBox->setObjectName(QStringLiteral("portComboBox"));
    portComboBox->setFixedWidth(140);
    // A port detection does not name (no "USB" in it) can be typed; it is used as typed.
    portComboBox->setEditable(true);
    portComboBox->setInsertPolicy(QComboBox::NoInsert);
    connect(portComboBox, &QComboBox::editTextChanged, this, [this](const QString &text) {
        connectButton->setEnabled(!text.isEmpty() || session->isConnected());
    });
    layout->addWidget(portComboBox);
    connectButton = new QPushButton(tr("Connect"), box);
    connectButton->setObjectName(QStringLiteral("connectButton"));
    connectButton->setEnabled(false);
    layout->addWidget(connectButton);
    connect(connectButton, &QPushButton::clicked, this, &DeviceFlow::connectDevice);
    connectButton->installEventFilter(this);
    connectAct = new QAction(tr("&Connect"), this);
    connectAct->setObjectName(QStringLiteral("connectAct"));
    connectAct->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_K));
    connect(connectAct, &QAction::triggered, connectButton, &QPushButton::click);

    downloadAct = deviceAction("download", "Download all track points", "downloadAct", this);
    downloadNewAct = deviceAction("downloadnew", "Download new tracks", "downloadNewAct", this);
    downloadNewAct->setToolTip(tr("Download the tracks not yet in the library, and archive them"));
    deleteAct = deviceAction("clean", "Delete all track points", "deleteAct", this);
    deviceSettingAct = deviceAction("setting", "Device setting", "deviceSettingAct", this);
    connect(downloadAct, &QAction::triggered, this, [this] { download(false); });
    connect(downloadNewAct, &QAction::triggered, this, [this] { download(true); });
    connect(deleteAct, &QAction::triggered, this, &DeviceFlow::deleteAll);
    connect(deviceSettingAct, &QAction::triggered, session, &LoggerSession::readConfig);
    deviceActionGroup = new QActionGroup(this);
    deviceActionGroup->setExclusive(false);
    for (QAction *a : {downloadAct, downloadNewAct, deleteAct, deviceSettingAct})
        deviceActionGroup->addAction(a);
    deviceActionGroup->setEnabled(false);

    progressDialog = new QProgressDialog(window);
    progressDialog->setObjectName(QStringLiteral("progressDialog"));
    progressDialog->setLabelText(QString());
    progressDialog->setCancelButtonText(tr("Cancel"));
    progressDialog->setRange(0, 50);
    progressDialog->setWindowModality(Qt::WindowModal);
    // A QProgressDialog shows itself after its minimum duration once a value is
    // set; keep it hidden until a download runs it.
    progressDialog->reset();
    progressDialog->hide();
    // Cancel, Escape and the close box all cancel the download.
    connect(progressDialog, &QProgressDialog::canceled, session, &LoggerSession::cancelDownload);
    connect(progressDialog, &QDialog::rejected, session, &LoggerSession::cancelDownload);

    connect(session, &LoggerSession::trackListReady, this, &DeviceFlow::onTrackList);
    connect(session, &LoggerSession::progress, progressDialog, &QProgressDialog::setValue);
    connect(session, &LoggerSession::finished, this, &DeviceFlow::onFinished);
    connect(session, &LoggerSession::trackReceived, this, &DeviceFlow::storeWhole);

    detectThread = new DetectDeviceThread;
    connect(detectThread, &DetectDeviceThread::deviceDiscovered, this,
            &DeviceFlow::onDeviceDiscovered);
    detectThread->startDetection();
}

DeviceFlow::~DeviceFlow()
{
    // The busy cursor belongs to the application, not to the window (whose status bar may be
    // gone already).
    if (connecting)
        QApplication::restoreOverrideCursor();
    // Stopped here rather than left to the end of the process, so no thread outlives the
    // objects it reports to.
    delete detectThread;
}

void DeviceFlow::inform(const QString &text)
{
    QMessageBox box(QMessageBox::Information, QString(), text, QMessageBox::Ok, window);
    box.exec();
}

void DeviceFlow::warn(const QString &text, const QString &detail)
{
    QMessageBox box(QMessageBox::Warning, QString(), text, QMessageBox::Ok, window);
    box.setInformativeText(detail);
    box.exec();
}

void DeviceFlow::setGivenPort(const QString &portName)
{
    givenPort = portName;
    onDeviceDiscovered({}); // offered at once, not at the next detection round
    portComboBox->setCurrentIndex(0);
}

void DeviceFlow::onDeviceDiscovered(QStringList portList)
{
    if (!givenPort.isEmpty() && !portList.contains(givenPort, Qt::CaseSensitive)) {
        if (portComboBox->findText(givenPort, Qt::MatchExactly | Qt::MatchCaseSensitive) < 0)
            portComboBox->insertItem(0, givenPort);
        portList.prepend(givenPort);
    }
    for (const QString &name : qAsConst(portList)) {
        if (portComboBox->findText(name, Qt::MatchExactly | Qt::MatchCaseSensitive) < 0)
            portComboBox->addItem(name);
    }
    bool connectedPortGone = false;
    for (int i = 0; i < portComboBox->count();) {
        const QString name = portComboBox->itemText(i);
        if (portList.contains(name, Qt::CaseSensitive)) {
            ++i;
            continue;
        }
        connectedPortGone |= session->portName() == name && session->isConnected();
        portComboBox->removeItem(i);
    }
    connectButton->setEnabled(portComboBox->count() > 0 || !portComboBox->currentText().isEmpty());
    const QString plugIn = tr("Plug in the logger");
    if (portComboBox->count() == 0 && !session->isConnected() && !connecting &&
        window->statusBar()->currentMessage().isEmpty())
        window->statusBar()->showMessage(plugIn);
    else if (portComboBox->count() > 0 && window->statusBar()->currentMessage() == plugIn)
        window->statusBar()->clearMessage();
    // A connection on a vanished port ends as a lost line does (after the box is up to
    // date: the message it may bring runs an event loop).
    if (connectedPortGone)
        session->portVanished();
}

bool DeviceFlow::eventFilter(QObject *watched, QEvent *event)
{
    if (watched == connectButton && event->type() == QEvent::ShortcutOverride &&
        static_cast<QKeyEvent *>(event)->key() == Qt::Key_Space) {
        event->accept(); // the button's own key press follows
        return true;
    }
    if (watched == connectButton && event->type() == QEvent::KeyPress) {
        const int key = static_cast<QKeyEvent *>(event)->key();
        if (key == Qt::Key_Return || key == Qt::Key_Enter) { // as Space does
            connectButton->click();
            return true;
        }
    }
    return QObject::eventFilter(watched, event);
}

void DeviceFlow::connectDevice()
{
    if (session->isConnected()) {
        session->disconnectFrom();
        toIdle();
        return;
    }
    connectButton->setText(tr("Disconnect"));
    connectAct->setText(tr("&Disconnect"));
    // The greeting may take five seconds before it fails: show that something goes on.
    connecting = true;
    QApplication::setOverrideCursor(Qt::BusyCursor);
    window->statusBar()->showMessage(tr("Connecting…"));
    session->connectTo(portComboBox->currentText());
    portComboBox->setEnabled(false);
}

void DeviceFlow::toIdle()
{
    endConnecting();
    connectButton->setText(tr("Connect"));
    connectAct->setText(tr("&Connect"));
    deviceActionGroup->setEnabled(false);
    portComboBox->setEnabled(true);
}

void DeviceFlow::endConnecting()
{
    if (!connecting)
        return;
    connecting = false;
    QApplication::restoreOverrideCursor();
    window->statusBar()->clearMessage();
}

void DeviceFlow::download(bool newOnly)
{
    if (newOnly && !(library && library(true)))
        return; // no library: nothing to compare with (the user was told why)
    if (const int unsaved = unsavedCount ? unsavedCount() : 0) {
        QMessageBox box(QMessageBox::Question, QString(),
                        tr("Replace the %n unsaved tracks shown?", nullptr, unsaved),
                        QMessageBox::Yes | QMessageBox::No, window);
        box.setInformativeText(tr("A download replaces the tracks shown."));
        box.setDefaultButton(QMessageBox::No);
        box.setEscapeButton(QMessageBox::No);
        if (box.exec() != QMessageBox::Yes)
            return; // nothing sent to the logger
    }
    emit downloadStarting();
    listing = newOnly ? Listing::DownloadNew : Listing::Download;
    session->listTracks();
}

void DeviceFlow::onTrackList(const QVector<TrackFileHeader> &headers)
{
    if (listing == Listing::DeleteAll)
        askDeleteAll(headers);
    else
        chooseTracks(headers);
}

void DeviceFlow::chooseTracks(const QVector<TrackFileHeader> &headers)
{
    TrackFileHeaderDialog dialog(headers, window);
    // The tracks in the library shown as such and left unticked, the new ones ticked.
    TrackLibrary *archive = listing == Listing::DownloadNew && library ? library(true) : nullptr;
    if (archive && !archive->update())
        warn(tr("The library's index cannot be brought up to date."), archive->errorString());
    if (archive)
        dialog.markArchived([archive](const TrackFileHeader &h) {
            return archive->find(TrackFileHeaderDialog::startOf(h), int(h.blockIndexes.size())) !=
                   nullptr;
        });
    choiceDialog = &dialog;
    const int answer = dialog.exec();
    choiceDialog = nullptr;
    // The tracks shown stay until blocks arrive; a line lost meanwhile ends it here.
    if (answer != QDialog::Accepted || !session->isConnected())
        return;
    progressDialog->setLabelText(tr("Downloading track files..."));
    progressDialog->setRange(0, int(dialog.blockIndexes().size()));
    downloading = dialog.chosenHeaders();
    writes = QVector<QFuture<TrackLibrary::Written>>(downloading.size());
    session->download(downloading);
    if (session->task() == LoggerSession::Task::Download)
        progressDialog->exec();
}

void DeviceFlow::deleteAll()
{
    // With a library, the logger's list is compared with it first; without one chosen,
    // Delete all does not ask for one.
    if (library && library(false)) {
        listing = Listing::DeleteAll;
        session->listTracks();
        return;
    }
    askDeleteAll({});
}

void DeviceFlow::askDeleteAll(const QVector<TrackFileHeader> &headers)
{
    listing = Listing::Download;
    QMessageBox box;
    box.setText(tr("Delete device all track points."));
    box.setInformativeText(tr("Do you want to delete all track points?"));
    box.setStandardButtons(QMessageBox::Yes | QMessageBox::No);
    // Enter must not empty the logger, unless every track on it is safe in the library.
    box.setDefaultButton(QMessageBox::No);
    if (TrackLibrary *archive = library ? library(false) : nullptr; archive && !headers.isEmpty()) {
        // A file removed by hand since must not pass for archived.
        QStringList missing;
        if (!archive->update())
            missing << archive->errorString();
        for (const TrackFileHeader &h : headers)
            if (!archive->find(TrackFileHeaderDialog::startOf(h), int(h.blockIndexes.size())))
                missing << QDateTime::fromSecsSinceEpoch(TrackFileHeaderDialog::startOf(h))
                               .toString(QStringLiteral("yyyy-MM-dd hh:mm:ss"));
        if (missing.isEmpty()) {
            box.setText(tr("All %n tracks on the logger are in the library.", nullptr,
                           int(headers.size())));
            box.setDefaultButton(QMessageBox::Yes);
        } else {
            box.setText(tr("%n tracks on the logger are not in the library: %1.", nullptr,
                           int(missing.size()))
                            .arg(missing.join(QStringLiteral(", "))));
        }
    }
    if (box.exec() == QMessageBox::Yes) {
        deviceActionGroup->setEnabled(false);
        session->deleteAll();
    }
}

void DeviceFlow::onConfigRead()
{
    DeviceConfig config = session->config();
    DeviceSettingDialog dialog(&config);
    if (dialog.exec() == QDialog::Accepted)
        session->writeConfig(dialog.editedConfig());
}

void DeviceFlow::onDownloadFinished(LoggerSession::Outcome outcome, const QVector<Track> &tracks)
{
    progressDialog->reset();
    progressDialog->hide();
    // What arrived before the logger went silent or its line went is kept and shown.
    if (!tracks.isEmpty())
        emit tracksDownloaded(tracks);
    if (listing == Listing::DownloadNew)
        archive(tracks);
    listing = Listing::Download;
    if (outcome == LoggerSession::Outcome::Cancelled)
        inform(LoggerSession::describe(LoggerSession::Task::Download, outcome));
    // What does not match the logger's list, or was left out, is said.
    QString odd = session->downloadMismatch();
    if (session->impossiblePoints() > 0)
        odd += (odd.isEmpty() ? QString() : QStringLiteral(" ")) +
               tr("Records with an impossible position, left out: %1.")
                   .arg(session->impossiblePoints());
    if (!odd.isEmpty())
        warn(odd);
}

void DeviceFlow::storeWhole(int index, const Track &track)
{
    if (listing != Listing::DownloadNew || index < 0 || index >= writes.size() ||
        writes[index].isValid() ||
        track.startTime != TrackFileHeaderDialog::startOf(downloading[index]))
        return;
    if (TrackLibrary *archive = library ? library(false) : nullptr)
        writes[index] = QtConcurrent::run(TrackLibrary::writeFile, archive->folder(),
                                          archive->reserveName(track.startTime), track);
}

bool DeviceFlow::archiveOne(TrackLibrary *archive, int k, const QVector<Track> &tracks,
                            QStringList *failed)
{
    const quint32 start = TrackFileHeaderDialog::startOf(downloading[k]);
    const bool whole = k < tracks.size() && tracks[k].startTime == start &&
                       !tracks[k].isIncomplete() && session->downloadMismatch().isEmpty();
    const QFuture<TrackLibrary::Written> written =
        k < writes.size() ? writes[k] : QFuture<TrackLibrary::Written>();
    if (!whole) {
        // Written, but the download as a whole is at odds with the logger's list.
        if (written.isValid() && written.result().ok)
            QFile::remove(QDir(archive->folder()).filePath(written.result().file));
        if (k < tracks.size() && !tracks[k].isIncomplete())
            *failed << tr("a track that does not match the logger's list");
        return false;
    }
    const TrackLibrary::Written w =
        written.isValid()
            ? written.result()
            : TrackLibrary::writeFile(archive->folder(), archive->reserveName(start), tracks[k]);
    if (archive->add(w, start, int(downloading[k].blockIndexes.size())))
        return true;
    *failed << (w.ok ? archive->errorString() : w.reason);
    return false;
}

void DeviceFlow::archive(const QVector<Track> &tracks)
{
    TrackLibrary *archive = library ? library(false) : nullptr;
    if (!archive)
        return;
    // The tracks come in the order asked for; one cut short is not archived, and the next
    // Download new tracks offers it again. Most were written while the next one downloaded.
    int stored = 0;
    QStringList failed;
    for (int k = 0; k < downloading.size(); ++k)
        stored += archiveOne(archive, k, tracks, &failed);
    writes.clear();
    const int notArchived = int(downloading.size()) - stored;
    if (stored > 0)
        emit archived(notArchived == 0 && stored == tracks.size());
    window->statusBar()->showMessage(
        notArchived == 0 ? tr("%n tracks archived in the library.", nullptr, stored)
                         : tr("%1 tracks archived in the library; %2 not (the next Download new "
                              "tracks offers them again).")
                               .arg(stored)
                               .arg(notArchived));
    if (!failed.isEmpty())
        warn(tr("Some tracks could not be archived in the library."),
             failed.join(QLatin1Char('\n')));
}

void DeviceFlow::onFinished(LoggerSession::Task task, LoggerSession::Outcome outcome,
                            const QVector<Track> &tracks)
{
    using Task = LoggerSession::Task;
    using Outcome = LoggerSession::Outcome;
    if (task == Task::Download)
        onDownloadFinished(outcome, tracks);
    switch (outcome) {
    case Outcome::Done:
        if (task == Task::Connect) {
            endConnecting();
            deviceActionGroup->setEnabled(true);
        } else if (task == Task::ReadConfig) {
            onConfigRead();
        } else if (task == Task::WriteConfig) {
            inform(LoggerSession::describe(task, outcome));
        } else if (task == Task::DeleteAll) {
            inform(LoggerSession::describe(task, outcome));
            deviceActionGroup->setEnabled(true);
        }
        break;
    case Outcome::HandshakeFailed:
        endConnecting();
        warn(LoggerSession::describe(task, outcome), session->openErrorText());
        // Back to idle on whatever port is selected now; the port may have
        // changed while the message was up, and nothing connects by itself.
        if (session->isConnected()) {
            session->disconnectFrom();
            toIdle();
        }
        break;
    case Outcome::TimedOut:
        warn(LoggerSession::describe(task, outcome));
        break;
    case Outcome::Refused:
        // The logger kept its tracks or settings: the actions come back.
        deviceActionGroup->setEnabled(true);
        warn(LoggerSession::describe(task, outcome));
        break;
    case Outcome::LineLost: {
        // As a pulled cable: disconnected quietly, what arrived kept. The user is told only
        // when something was under way.
        const bool busy = task != Task::None || choiceDialog;
        if (choiceDialog)
            choiceDialog->reject();
        if (session->isConnected()) // the session lets go of a lost line itself; be sure
            session->disconnectFrom();
        toIdle();
        if (busy)
            warn(tr("The logger's line was lost; the tracks shown are kept."));
        else // no message box for an idle line, but a word where the user looks
            window->statusBar()->showMessage(tr("The logger's line was lost."));
        break;
    }
    case Outcome::Cancelled:
        break;
    }
}
