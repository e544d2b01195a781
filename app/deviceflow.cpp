#include "app/deviceflow.h"

#include "app/devicesettingdialog.h"
#include "app/trackfileheaderdialog.h"
#include "device/detectdevicethread.h"

#include <QAction>
#include <QActionGroup>
#include <QApplication>
#include <QComboBox>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QMainWindow>
#include <QMessageBox>
#include <QProgressDialog>
#include <QPushButton>
#include <QStatusBar>

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
    deleteAct = deviceAction("clean", "Delete all track points", "deleteAct", this);
    deviceSettingAct = deviceAction("setting", "Device setting", "deviceSettingAct", this);
    connect(downloadAct, &QAction::triggered, this, &DeviceFlow::download);
    connect(deleteAct, &QAction::triggered, this, &DeviceFlow::deleteAll);
    connect(deviceSettingAct, &QAction::triggered, session, &LoggerSession::readConfig);
    deviceActionGroup = new QActionGroup(this);
    deviceActionGroup->setExclusive(false);
    for (QAction *a : {downloadAct, deleteAct, deviceSettingAct})
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

    connect(session, &LoggerSession::trackListReady, this, &DeviceFlow::chooseTracks);
    connect(session, &LoggerSession::progress, progressDialog, &QProgressDialog::setValue);
    connect(session, &LoggerSession::finished, this, &DeviceFlow::onFinished);

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

void DeviceFlow::download()
{
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
    session->listTracks();
}

void DeviceFlow::chooseTracks(const QVector<TrackFileHeader> &headers)
{
    TrackFileHeaderDialog dialog(headers, window);
    choiceDialog = &dialog;
    const int answer = dialog.exec();
    choiceDialog = nullptr;
    // The tracks shown stay until blocks arrive; a line lost meanwhile ends it here.
    if (answer != QDialog::Accepted || !session->isConnected())
        return;
    progressDialog->setLabelText(tr("Downloading track files..."));
    progressDialog->setRange(0, int(dialog.blockIndexes().size()));
    session->download(dialog.chosenHeaders());
    if (session->task() == LoggerSession::Task::Download)
        progressDialog->exec();
}

void DeviceFlow::deleteAll()
{
    QMessageBox box;
    box.setText(tr("Delete device all track points."));
    box.setInformativeText(tr("Do you want to delete all track points?"));
    box.setStandardButtons(QMessageBox::Yes | QMessageBox::No);
    // Enter must not empty the logger.
    box.setDefaultButton(QMessageBox::No);
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
