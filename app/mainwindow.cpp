#include "app/mainwindow.h"

#include "app/devicesettingdialog.h"
#include "app/filterdialog.h"
#include "app/myfiledialog.h"
#include "app/startoptions.h"
#include "app/trackfileheaderdialog.h"
#include "device/detectdevicethread.h"
#include "device/devicelx300.h"
#include "model/trackblock.h"
#include "view/mapwidget.h"
#include "view/statisticstable.h"

#include <QAction>
#include <QActionGroup>
#include <QApplication>
#include <QCloseEvent>
#include <QComboBox>
#include <QDebug>
#include <QDialog>
#include <QDir>
#include <QDragEnterEvent>
#include <QDropEvent>
#include <QFileDialog>
#include <QFileInfo>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QLoggingCategory>
#include <QMenu>
#include <QMenuBar>
#include <QMessageBox>
#include <QMimeData>
#include <QProgressDialog>
#include <QPushButton>
#include <QSettings>
#include <QSlider>
#include <QStatusBar>
#include <QTimer>
#include <QToolBar>
#include <QToolButton>
#include <QUrl>
#include <QVBoxLayout>
#include <QVariant>

// The resources live in a static library; make sure the linker keeps them.
static void initResources()
{
    Q_INIT_RESOURCE(icons);
    Q_INIT_RESOURCE(map);
}

Q_LOGGING_CATEGORY(lcApp, "lx300.app", QtWarningMsg)

namespace {
const char *const Organisation = "Trekmont";
const char *const Application = "LX-300";
} // namespace

MainWindow::MainWindow(QWidget *parent) : QMainWindow(parent)
{
    initResources();
    setupForm();
    setAcceptDrops(true); // track files dropped on the window open

    mapWidget = new MapWidget(&tracks, this, this);

    progressDialog = new QProgressDialog(this);
    progressDialog->setLabelText(QString());
    progressDialog->setCancelButtonText(tr("Cancel"));
    progressDialog->setRange(0, 50);
    progressDialog->setWindowModality(Qt::WindowModal);
    // A QProgressDialog shows itself after its minimum duration once a value is
    // set; keep it hidden until a download runs it.
    progressDialog->reset();
    progressDialog->hide();
    // Cancel, Escape and the close box all cancel the download.
    connect(progressDialog, &QProgressDialog::canceled, this, &MainWindow::cancelDownload);
    connect(progressDialog, &QDialog::rejected, this, &MainWindow::cancelDownload);

    createActions();
    createMenus();
    createToolBars();

    setCentralWidget(mapWidget);
    connect(mapWidget, &MapWidget::playThreadFinished, this, &MainWindow::playThreadFinished);

    startPortDetection();

    setWindowTitle(QStringLiteral("LX-300 ") + buildCode);

    device = new DeviceLX300;

    registerTrackRecordTypes();
    connect(device, &DeviceLX300::FireRecvTrackFileHeader, this, &MainWindow::OnRecvTrackFileHeader,
            Qt::QueuedConnection);
    connect(device, &DeviceLX300::FireRecvStatus, this, &MainWindow::OnRecvStatus,
            Qt::QueuedConnection);

    playing = false;
    readSettings();
    connect(mapWidget, &MapWidget::mapViewChanged, this, [this](double lat, double lng, int zoom) {
        mapLat = lat;
        mapLng = lng;
        mapZoom = zoom;
    });
    restoreMap();
}

MainWindow::~MainWindow()
{
    endConnecting(); // the busy cursor belongs to the application, not to the window
    delete device;   // disconnects first
    // Stopped here rather than left to the end of the process, so no thread
    // outlives the objects it reports to.
    delete detectThread;
}

void MainWindow::startPortDetection()
{
    connectButton->setEnabled(false);
    detectThread = new DetectDeviceThread;
    connect(detectThread, &DetectDeviceThread::deviceDiscovered, this,
            &MainWindow::onDeviceDiscovered);
    detectThread->startDetection();
}

void MainWindow::showMessage(QMessageBox::Icon icon, const QString &text, const QString &detail)
{
    QMessageBox box(icon, QString(), text, QMessageBox::Ok, this);
    box.setInformativeText(detail);
    box.exec();
}

void MainWindow::setupForm()
{
    if (objectName().isEmpty())
        setObjectName(QStringLiteral("MainWindow"));
    setEnabled(true);
    resize(800, 600);
    setSizePolicy(QSizePolicy::Preferred, QSizePolicy::Preferred);

    auto *placeholder = new QWidget(this);
    placeholder->setObjectName(QStringLiteral("centralWidget"));
    setCentralWidget(placeholder);

    auto *bar = new QMenuBar(this);
    bar->setObjectName(QStringLiteral("menuBar"));
    bar->setGeometry(0, 0, 800, 22);
    setMenuBar(bar);

    auto *status = new QStatusBar(this);
    status->setObjectName(QStringLiteral("statusBar"));
    setStatusBar(status);

    setWindowTitle(QStringLiteral("MainWindow"));
}

void MainWindow::createActions()
{
    openAct = new QAction(QIcon(QStringLiteral(":/images/open.png")), tr("&Open"), this);
    openAct->setShortcut(QKeySequence::Open);
    connect(openAct, &QAction::triggered, this, &MainWindow::open);

    saveAct = new QAction(QIcon(QStringLiteral(":/images/save.png")), tr("&Save"), this);
    saveAct->setShortcut(QKeySequence::Save);
    connect(saveAct, &QAction::triggered, this, &MainWindow::save);

    exitAct = new QAction(tr("E&xit"), this);
    exitAct->setShortcut(QKeySequence::Quit);
    // Exit stores no preferences; closing the window does.
    connect(exitAct, &QAction::triggered, this, &MainWindow::exitProgram);

    filterAct = new QAction(QIcon(QStringLiteral(":/images/search.png")), tr("Filter"), this);
    filterAct->setShortcut(QKeySequence::Find);
    connect(filterAct, &QAction::triggered, this, &MainWindow::filter);

    downloadAct = new QAction(QIcon(QStringLiteral(":/images/download.png")),
                              tr("Download all track points"), this);
    connect(downloadAct, &QAction::triggered, this, &MainWindow::DownloadDeviceTrackPoints);

    deleteAct = new QAction(QIcon(QStringLiteral(":/images/clean.png")),
                            tr("Delete all track points"), this);
    connect(deleteAct, &QAction::triggered, this, &MainWindow::DeleteDeviceTrackPoints);

    deviceSettingAct =
        new QAction(QIcon(QStringLiteral(":/images/setting.png")), tr("Device setting"), this);
    connect(deviceSettingAct, &QAction::triggered, this, &MainWindow::DeviceSetting);

    playAct = new QAction(QIcon(QStringLiteral(":/images/play.png")), tr("play"), this);
    playAct->setShortcut(Qt::Key_Space);
    connect(playAct, &QAction::triggered, this, &MainWindow::playOrPause);

    rewindAct = new QAction(QIcon(QStringLiteral(":/images/rewind.png")), tr("rewind"), this);
    rewindAct->setShortcut(Qt::Key_Home);
    connect(rewindAct, &QAction::triggered, this, &MainWindow::rewind);

    zoomToTracksAct = new QAction(tr("&Zoom to tracks"), this);
    zoomToTracksAct->setStatusTip(tr("Fit the map to the ticked tracks"));
    connect(zoomToTracksAct, &QAction::triggered, this, [this] { mapWidget->zoomToTracks(); });

    statisticsAct = new QAction(tr("&Statistics"), this);
    statisticsAct->setStatusTip(tr("Distance, times, speeds and climbing of the ticked tracks"));
    connect(statisticsAct, &QAction::triggered, this, &MainWindow::showStatistics);

    aboutAct = new QAction(tr("&About"), this);
    aboutAct->setShortcut(Qt::Key_F1);
    aboutAct->setStatusTip(tr("Show the application's About box"));
    connect(aboutAct, &QAction::triggered, this, &MainWindow::about);

    kilometersAct = new QAction(tr("Kilometers"), this);
    milesAct = new QAction(tr("Miles"), this);
    feetAct = new QAction(tr("Feet"), this);
    meterAct = new QAction(tr("Meter"), this);
    utcTimeAct = new QAction(tr("UTC time"), this);
    localTimeAct = new QAction(tr("Local time"), this);

    deviceActionGroup = new QActionGroup(this);
    deviceActionGroup->setExclusive(false);
    deviceActionGroup->addAction(downloadAct);
    deviceActionGroup->addAction(deleteAct);
    deviceActionGroup->addAction(deviceSettingAct);

    speedUnitGroup = new QActionGroup(this);
    heightUnitGroup = new QActionGroup(this);
    timeGroup = new QActionGroup(this);
    const struct
    {
        QAction *action;
        QActionGroup *group;
    } preferenceActions[] = {{kilometersAct, speedUnitGroup}, {milesAct, speedUnitGroup},
                             {feetAct, heightUnitGroup},      {meterAct, heightUnitGroup},
                             {localTimeAct, timeGroup},       {utcTimeAct, timeGroup}};
    for (const auto &entry : preferenceActions) {
        entry.action->setCheckable(true);
        entry.group->addAction(entry.action);
    }

    // The defaults are checked before the connections, so they call no slot.
    kilometersAct->setChecked(true);
    meterAct->setChecked(true);
    localTimeAct->setChecked(true);

    for (const auto &entry : preferenceActions)
        connect(entry.action, &QAction::toggled, this, &MainWindow::toggled);

    deviceActionGroup->setEnabled(false);
}

void MainWindow::createMenus()
{
    fileMenu = menuBar()->addMenu(tr("&File"));
    fileMenu->addAction(openAct);
    fileMenu->addAction(saveAct);
    recentMenu = fileMenu->addMenu(tr("Recent files"));
    rebuildRecentMenu();
    fileMenu->addSeparator();
    fileMenu->addAction(exitAct);

    deviceMenu = menuBar()->addMenu(tr("Device"));
    deviceMenu->addAction(downloadAct);
    deviceMenu->addAction(deleteAct);
    deviceMenu->addAction(deviceSettingAct);

    unitMenu = menuBar()->addMenu(tr("Unit"));
    speedMenu = unitMenu->addMenu(tr("Speed"));
    speedMenu->addAction(kilometersAct);
    speedMenu->addAction(milesAct);
    heightMenu = unitMenu->addMenu(tr("Height"));
    heightMenu->addAction(meterAct);
    heightMenu->addAction(feetAct);

    viewMenu = menuBar()->addMenu(tr("View"));
    viewMenu->addAction(zoomToTracksAct);
    viewMenu->addAction(statisticsAct);

    mapMenu = menuBar()->addMenu(tr("Map"));
    rebuildMapMenu();

    timeMenu = menuBar()->addMenu(tr("Time"));
    timeMenu->addAction(localTimeAct);
    timeMenu->addAction(utcTimeAct);

    helpMenu = menuBar()->addMenu(tr("Help"));
    helpMenu->addAction(aboutAct);
}

void MainWindow::createToolBars()
{
    fileToolBar = addToolBar(tr("File"));
    fileToolBar->setToolButtonStyle(Qt::ToolButtonIconOnly);
    fileToolBar->setFloatable(false);
    fileToolBar->setMovable(false);

    fileToolBar->addAction(openAct);
    fileToolBar->addAction(saveAct);
    fileToolBar->addSeparator();
    fileToolBar->addAction(filterAct);
    fileToolBar->addSeparator();
    fileToolBar->addAction(downloadAct);
    fileToolBar->addAction(deleteAct);
    fileToolBar->addAction(deviceSettingAct);
    fileToolBar->addSeparator();

    auto *portBox = new QWidget(fileToolBar);
    toolBarLayout = new QHBoxLayout(portBox);
    // Narrow enough that every control stays in view at the default 800 x 600.
    toolBarLayout->setContentsMargins(4, 0, 4, 0);
    toolBarLayout->addWidget(new QLabel(tr("Serial Port :"), portBox));
    portComboBox = new QComboBox(portBox);
    portComboBox->setObjectName(QStringLiteral("portComboBox"));
    portComboBox->setFixedWidth(140);
    toolBarLayout->addWidget(portComboBox);
    connectButton = new QPushButton(tr("Connect"), portBox);
    connectButton->setObjectName(QStringLiteral("connectButton"));
    toolBarLayout->addWidget(connectButton);
    connect(connectButton, &QPushButton::clicked, this, &MainWindow::connectDevice);
    fileToolBar->addWidget(portBox);

    fileToolBar->addSeparator();
    fileToolBar->addAction(rewindAct);
    fileToolBar->addAction(playAct);

    fileToolBar->addWidget(new QLabel(QStringLiteral("Speed:"), fileToolBar));
    speedSlider = new QSlider(Qt::Horizontal, fileToolBar);
    speedSlider->setObjectName(QStringLiteral("speedSlider"));
    speedSlider->setRange(0, 2);
    speedSlider->setTickInterval(1);
    speedSlider->setTickPosition(QSlider::TicksBelow);
    speedSlider->setFixedWidth(80);
    speedSlider->setValue(0);
    connect(speedSlider, &QSlider::valueChanged, mapWidget, &MapWidget::setSpeed);
    fileToolBar->addWidget(speedSlider);

    fileToolBar->addSeparator();
    auto *mapButton = new QToolButton(fileToolBar);
    mapButton->setObjectName(QStringLiteral("mapButton"));
    mapButton->setText(tr("Map"));
    mapButton->setToolTip(tr("Choose the base map"));
    mapButton->setMenu(mapMenu);
    mapButton->setPopupMode(QToolButton::InstantPopup);
    fileToolBar->addWidget(mapButton);
}

void MainWindow::readSettings()
{
    QSettings settings(QString::fromLatin1(Organisation), QString::fromLatin1(Application));

    if (settings.contains(QStringLiteral("geometry")))
        restoreGeometry(settings.value(QStringLiteral("geometry")).toByteArray());
    else
        setWindowState(windowState() | Qt::WindowMaximized);

    directory = settings.value(QStringLiteral("directory"), QDir::homePath()).toString();

    // Any other stored number counts as miles, feet and UTC.
    if (settings.value(QStringLiteral("speedUnit"), 0).toInt() != 0)
        milesAct->setChecked(true);
    else
        kilometersAct->setChecked(true);
    if (settings.value(QStringLiteral("heightUnit"), 0).toInt() != 0)
        feetAct->setChecked(true);
    else
        meterAct->setChecked(true);
    if (settings.value(QStringLiteral("timeSwitch"), 1).toInt() == 1)
        localTimeAct->setChecked(true);
    else
        utcTimeAct->setChecked(true);
    toggled();
}

void MainWindow::writeSettings()
{
    QSettings settings(QString::fromLatin1(Organisation), QString::fromLatin1(Application));
    settings.setValue(QStringLiteral("geometry"), saveGeometry());
    settings.setValue(QStringLiteral("directory"), directory);
    settings.setValue(QStringLiteral("speedUnit"), int(speed));
    settings.setValue(QStringLiteral("heightUnit"), int(height));
    settings.setValue(QStringLiteral("timeSwitch"), int(timeChoice));
    if (mapZoom >= 0) {
        settings.setValue(QStringLiteral("map/lat"), mapLat);
        settings.setValue(QStringLiteral("map/lng"), mapLng);
        settings.setValue(QStringLiteral("map/zoom"), mapZoom);
    }
}

void MainWindow::closeEvent(QCloseEvent *event)
{
    // Quitting closes the window too; Exit has asked already and stores nothing.
    if (!quitting) {
        if (!mayDropTracks()) {
            event->ignore();
            return;
        }
        writeSettings();
    }
    QMainWindow::closeEvent(event);
}

void MainWindow::exitProgram()
{
    if (!mayDropTracks())
        return;
    quitting = true;
    QCoreApplication::quit();
}

bool MainWindow::mayDropTracks()
{
    if (!unsavedDownload)
        return true;
    QMessageBox box(QMessageBox::Question, QString(),
                    tr("The downloaded tracks have not been saved."),
                    QMessageBox::Save | QMessageBox::Discard | QMessageBox::Cancel, this);
    box.setInformativeText(tr("Do you want to save them?"));
    box.setDefaultButton(QMessageBox::Save);
    switch (box.exec()) {
    case QMessageBox::Save:
        save();
        return !unsavedDownload;
    case QMessageBox::Discard:
        return true;
    default:
        return false;
    }
}

void MainWindow::toggled()
{
    speed = milesAct->isChecked() ? SpeedUnit::Mph : SpeedUnit::Kmh;
    height = feetAct->isChecked() ? HeightUnit::Feet : HeightUnit::Metres;
    timeChoice = utcTimeAct->isChecked() ? TimeShown::Utc : TimeShown::Local;

    // Rule 0 keeps the filter in force; the rows follow the new units and time.
    mapWidget->rebuildPointList(-1.0f, 0);
}

void MainWindow::about()
{
    QMessageBox::about(this, tr("About LX300 Tool"),
                       tr("LX-300 ") + buildCode +
                           tr("\nCopyright (C) Trekmont. All rights reserved."));
}

void MainWindow::open()
{
    mapWidget->stopPlayback();
    QFileDialog dialog(this, QString(), QString(), QString());
    dialog.setDirectory(directory);
    dialog.setFileMode(QFileDialog::ExistingFiles);
    dialog.setNameFilter(tr("Track files (*.tkr *.gpx *.kml *.csv);;TKR File (*.tkr);;GPX File "
                            "(*.gpx);;KML File (*.kml);;CSV File (*.csv)"));
    if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty())
        return;
    directory = dialog.directory().absolutePath();
    openFiles(dialog.selectedFiles());
}

bool MainWindow::openFile(const QString &fileName)
{
    return openFiles({fileName});
}

bool MainWindow::openFiles(const QStringList &fileNames)
{
    mapWidget->stopPlayback();
    QVector<Track> read;
    QStringList failures, notes;
    for (const QString &name : fileNames) {
        // The extension in any case: trip.GPX is a GPX file.
        const QFileInfo info(name);
        FileFormat *format = fileFormats.forName(info.fileName(), Qt::CaseInsensitive);
        if (!format) {
            failures << tr("Cannot open %1: only .tkr, .gpx, .kml and .csv track files can be "
                           "opened.")
                            .arg(name);
            continue;
        }
        if (!format->read(read, name)) {
            failures << format->errorString();
            continue;
        }
        if (!format->readNote().isEmpty())
            notes << info.fileName() + QStringLiteral(": ") + format->readNote();
        addRecentFile(info.absoluteFilePath());
    }
    if (!read.isEmpty() || failures.size() < fileNames.size()) {
        tracks += read;
        mapWidget->rebuildTrackViews();
    }
    if (!notes.isEmpty())
        statusBar()->showMessage(notes.join(QLatin1Char(' ')));
    if (!failures.isEmpty())
        showMessage(QMessageBox::Warning, failures.join(QLatin1Char('\n')));
    return failures.isEmpty();
}

void MainWindow::addRecentFile(const QString &fileName)
{
    QSettings settings(QString::fromLatin1(Organisation), QString::fromLatin1(Application));
    QStringList recent = settings.value(QStringLiteral("recentFiles")).toStringList();
    recent.removeAll(fileName);
    recent.prepend(fileName);
    settings.setValue(QStringLiteral("recentFiles"), recent.mid(0, 10));
    rebuildRecentMenu();
}

void MainWindow::rebuildRecentMenu()
{
    recentMenu->clear();
    QSettings settings(QString::fromLatin1(Organisation), QString::fromLatin1(Application));
    const QStringList recent = settings.value(QStringLiteral("recentFiles")).toStringList();
    for (const QString &file : recent)
        recentMenu->addAction(QDir::toNativeSeparators(file), this,
                              [this, file] { openFiles({file}); });
    recentMenu->addSeparator();
    QAction *clear = recentMenu->addAction(tr("Clear recent files"), this, [this] {
        QSettings store(QString::fromLatin1(Organisation), QString::fromLatin1(Application));
        store.remove(QStringLiteral("recentFiles"));
        rebuildRecentMenu();
    });
    clear->setEnabled(!recent.isEmpty());
}

void MainWindow::dragEnterEvent(QDragEnterEvent *event)
{
    const QList<QUrl> urls = event->mimeData()->urls();
    if (!urls.isEmpty() &&
        std::all_of(urls.begin(), urls.end(), [](const QUrl &u) { return u.isLocalFile(); }))
        event->acceptProposedAction();
}

void MainWindow::dropEvent(QDropEvent *event)
{
    QStringList files;
    for (const QUrl &url : event->mimeData()->urls())
        if (url.isLocalFile())
            files << url.toLocalFile();
    event->acceptProposedAction();
    // Opened once the drop has finished, so the source application is not kept waiting.
    QTimer::singleShot(0, this, [this, files] { openFiles(files); });
}

bool MainWindow::mayDropUntimedPoints(const QList<int> &selection, bool markedOnly)
{
    qint64 untimed = 0;
    for (int i : selection)
        for (const TrackPoint &p : tracks.value(i).points)
            untimed += p.time == 0 && (!markedOnly || p.marked != 0);
    if (untimed == 0)
        return true;
    QMessageBox box(QMessageBox::Warning, QString(),
                    tr("%1 points have no time. A TKR file cannot keep them: they will be "
                       "missing when the file is opened again.")
                        .arg(untimed),
                    QMessageBox::Save | QMessageBox::Cancel, this);
    box.setDefaultButton(QMessageBox::Cancel);
    return box.exec() == QMessageBox::Save;
}

bool MainWindow::mayReplace(const QString &fileName)
{
    QMessageBox box(QMessageBox::Warning, QString(),
                    tr("%1 already exists. Replace it?").arg(QFileInfo(fileName).fileName()),
                    QMessageBox::Yes | QMessageBox::No, this);
    box.setInformativeText(QDir::toNativeSeparators(QFileInfo(fileName).absolutePath()));
    box.setDefaultButton(QMessageBox::No);
    box.setEscapeButton(QMessageBox::No);
    return box.exec() == QMessageBox::Yes;
}

bool MainWindow::mayWriteIncomplete(const QList<int> &selection)
{
    QStringList cut;
    for (int i : selection) {
        const Track &t = tracks.value(i);
        if (t.isIncomplete())
            cut << tr("Track %1 is incomplete: %2 points in %3 of %4 blocks.")
                       .arg(i + 1)
                       .arg(t.points.size())
                       .arg(t.blocksReceived)
                       .arg(t.blocksListed);
    }
    if (cut.isEmpty())
        return true;
    QMessageBox box(QMessageBox::Warning, QString(), cut.join(QLatin1Char('\n')),
                    QMessageBox::Save | QMessageBox::Cancel, this);
    box.setInformativeText(tr("The download stopped early; only what arrived is saved."));
    box.setDefaultButton(QMessageBox::Save);
    return box.exec() == QMessageBox::Save;
}

void MainWindow::save()
{
    const QList<int> selection = mapWidget->checkedTrackIndexes();
    MyFileDialog dialog(this);
    dialog.setOption(QFileDialog::DontUseNativeDialog, true);
    dialog.setOption(QFileDialog::DontConfirmOverwrite, true);
    dialog.setAcceptMode(QFileDialog::AcceptSave);
    dialog.setNameFilter(
        tr("TKR File (*.tkr);;GPX File (*.gpx);;KML File (*.kml);;CSV File (*.csv)"));
    dialog.setDirectory(directory);
    if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty())
        return;

    const QString filter = dialog.selectedNameFilter();
    QString extension;
    if (filter == tr("TKR File (*.tkr)"))
        extension = QStringLiteral(".tkr");
    else if (filter == tr("GPX File (*.gpx)"))
        extension = QStringLiteral(".gpx");
    else if (filter == tr("KML File (*.kml)"))
        extension = QStringLiteral(".kml");
    else if (filter == tr("CSV File (*.csv)"))
        extension = QStringLiteral(".csv");
    QString fileName = dialog.selectedFiles().first();
    const bool markedOnly = dialog.isMarkedOnlyChecked();
    qCDebug(lcApp) << "marked only:" << markedOnly;
    // A name that holds the extension anywhere keeps its own ending.
    if (!fileName.contains(extension))
        fileName += extension;
    directory = dialog.directory().absolutePath();

    FileFormat *format = fileFormats.forName(fileName);
    if (!format) {
        showMessage(
            QMessageBox::Warning,
            tr("Nothing was saved: %1 does not end in .tkr, .gpx, .kml or .csv.").arg(fileName));
        return;
    }
    if (QFileInfo::exists(fileName) && !mayReplace(fileName))
        return;
    if (!mayWriteIncomplete(selection))
        return;
    if (format == fileFormats.byExtension(QStringLiteral(".tkr")) &&
        !mayDropUntimedPoints(selection, markedOnly))
        return;
    if (!format->write(tracks, fileName, selection, markedOnly)) {
        showMessage(QMessageBox::Warning, tr("Nothing was saved: %1").arg(format->errorString()));
        return;
    }
    // Only a save of every track, every point, keeps the download safe.
    if (!markedOnly && selection.size() == tracks.size())
        unsavedDownload = false;
}

void MainWindow::filter()
{
    FilterDialog dialog;
    if (dialog.exec() == QDialog::Accepted && dialog.isValid()) {
        mapWidget->rewindPlayback();
        mapWidget->rebuildPointList(dialog.value(), dialog.rule());
    }
}

void MainWindow::DownloadDeviceTrackPoints()
{
    mapWidget->stopPlayback();
    device->ReadTrackFileHeaders();
}

void MainWindow::DeleteDeviceTrackPoints()
{
    QMessageBox box;
    box.setText(tr("Delete device all track points."));
    box.setInformativeText(tr("Do you want to delete all track points?"));
    box.setStandardButtons(QMessageBox::Yes | QMessageBox::No);
    // Enter must not empty the logger.
    box.setDefaultButton(QMessageBox::No);
    if (box.exec() == QMessageBox::Yes) {
        deviceActionGroup->setEnabled(false);
        device->DeleteAllTrackFiles();
    }
}

void MainWindow::DeviceSetting()
{
    device->ReadDeviceConfig();
}

void MainWindow::connectDevice()
{
    if (device->isConnected()) {
        endConnecting();
        connectButton->setText(tr("Connect"));
        device->Disconnect();
        deviceActionGroup->setEnabled(false);
        portComboBox->setEnabled(true);
    } else {
        connectButton->setText(tr("Disconnect"));
        // The greeting may take five seconds before it fails: show that something goes on.
        connecting = true;
        QApplication::setOverrideCursor(Qt::BusyCursor);
        statusBar()->showMessage(tr("Connecting…"));
        device->Connect(portComboBox->currentText());
        portComboBox->setEnabled(false);
    }
}

void MainWindow::endConnecting()
{
    if (!connecting)
        return;
    connecting = false;
    QApplication::restoreOverrideCursor();
    statusBar()->clearMessage();
}

void MainWindow::lineLost(bool commandWaiting)
{
    // As a pulled cable: disconnected quietly, what arrived kept. The user is told only
    // when something was under way.
    const bool busy = commandWaiting || downloading || choiceDialog;
    if (choiceDialog)
        choiceDialog->reject();
    if (downloading)
        finishDownload(receivedBlockCount > 0);
    connectDevice();
    if (busy)
        showMessage(QMessageBox::Warning,
                    tr("The logger's line was lost; the tracks shown are kept."));
}

void MainWindow::OnRecvTrackFileHeader(QVector<TrackFileHeader> trackFileHeaderList)
{
    TrackFileHeaderDialog dialog(trackFileHeaderList, this);
    choiceDialog = &dialog;
    const int answer = dialog.exec();
    choiceDialog = nullptr;
    // The tracks shown stay until blocks arrive; a line lost meanwhile ends it here.
    if (answer != QDialog::Accepted || !device->isConnected())
        return;
    downloadBlockIndexes = dialog.blockIndexes();
    downloaded = dialog.tracks();
    downloading = true;
    currentTrackIndex = -1;
    receivedBlockCount = 0;
    progressDialog->setLabelText(tr("Downloading track files..."));
    progressDialog->setRange(0, int(downloadBlockIndexes.size()));
    device->ReadTrackBlock(quint16(downloadBlockIndexes.first()));
    progressDialog->setValue(0);
    progressDialog->exec();
}

void MainWindow::finishDownload(bool keepWhatArrived)
{
    downloading = false;
    if (keepWhatArrived) {
        // A track no block reached has nothing to show; one cut short shows as incomplete.
        downloaded.erase(std::remove_if(downloaded.begin(), downloaded.end(),
                                        [](const Track &t) { return t.points.isEmpty(); }),
                         downloaded.end());
        tracks = downloaded;
        unsavedDownload = true;
        mapWidget->rebuildTrackViews();
    }
    downloaded.clear();
    progressDialog->reset();
    progressDialog->hide();
}

void MainWindow::cancelDownload()
{
    if (!downloading)
        return;
    finishDownload(false);
    device->EndTrackDownload();
    showMessage(QMessageBox::Information,
                tr("The download was cancelled; the tracks shown before are kept."));
}

void MainWindow::onTrackBlockReceived()
{
    // A late block after the download was over or given up has nowhere to go.
    if (!downloading || receivedBlockCount >= downloadBlockIndexes.size())
        return;
    ++receivedBlockCount;
    appendTrackBlock(downloaded, currentTrackIndex, device->currentBlock());
    if (receivedBlockCount == downloadBlockIndexes.size()) {
        device->EndTrackDownload();
        finishDownload(true);
    } else {
        progressDialog->setValue(receivedBlockCount);
        device->ReadTrackBlock(quint16(downloadBlockIndexes.at(receivedBlockCount)));
    }
}

void MainWindow::OnRecvStatus(int cmd, int status)
{
    switch (cmd) {
    case DeviceProtocol::ReadBlock:
        onTrackBlockReceived();
        break;
    case DeviceProtocol::ReadConfig: {
        DeviceConfig config = device->deviceConfig();
        DeviceSettingDialog dialog(&config);
        if (dialog.exec() == QDialog::Accepted) {
            config = dialog.editedConfig();
            device->WriteDeviceConfig(config);
        }
        break;
    }
    case DeviceProtocol::WriteConfig:
        showMessage(QMessageBox::Information, tr("Set device configuration ok."));
        break;
    case DeviceProtocol::DeleteAll:
        showMessage(QMessageBox::Information, tr("Delete all track files ok."));
        deviceActionGroup->setEnabled(true);
        break;
    case DeviceProtocol::LineLostStatus:
        if (device->isConnected())
            lineLost(status == 1);
        break;
    case DeviceProtocol::HandshakeStatus:
        endConnecting();
        if (status == 1) {
            deviceActionGroup->setEnabled(true);
        } else {
            showMessage(QMessageBox::Warning, tr("Failed connect device."),
                        device->openErrorText());
            // Back to idle on whatever port is selected now; the port may have
            // changed while the message was up, and nothing connects by itself.
            if (device->isConnected())
                connectDevice();
        }
        break;
    case DeviceProtocol::TimeoutStatus:
        // What arrived before the logger went silent is kept and shown.
        if (downloading)
            finishDownload(receivedBlockCount > 0);
        showMessage(QMessageBox::Warning, tr("Read device data timeout."));
        break;
    default:
        break;
    }
}

void MainWindow::showStatistics()
{
    // One window beside the map that follows the ticks, units and tracks.
    if (!statisticsDialog) {
        statisticsDialog = new QDialog(this);
        statisticsDialog->setWindowTitle(tr("Trip statistics"));
        auto *layout = new QVBoxLayout(statisticsDialog);
        layout->addWidget(mapWidget->statisticsTable());
        // No wider than the window: the table scrolls sideways when its columns need more.
        statisticsDialog->resize(qMin(960, width() - 40), 220);
    }
    statisticsDialog->show();
    statisticsDialog->raise();
    statisticsDialog->activateWindow();
}

void MainWindow::applyStartOptions(const StartOptions &options)
{
    if (!options.map.isEmpty())
        chooseMap(options.map, true, false);
    if (!options.port.isEmpty())
        setGivenPort(options.port);
    if (!options.file.isEmpty())
        openFile(options.file);
}

void MainWindow::setGivenPort(const QString &portName)
{
    givenPort = portName;
    onDeviceDiscovered({}); // offered at once, not at the next detection round
    portComboBox->setCurrentIndex(0);
}

void MainWindow::onDeviceDiscovered(QStringList portList)
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
    for (int i = 0; i < portComboBox->count();) {
        const QString name = portComboBox->itemText(i);
        if (portList.contains(name, Qt::CaseSensitive)) {
            ++i;
            continue;
        }
        // The port vanished: a connection on it ends, without a word when nothing was under way.
        if (device->portName() == name && device->isConnected())
            lineLost(false);
        portComboBox->removeItem(i);
    }
    connectButton->setEnabled(portComboBox->count() > 0);
}

void MainWindow::playOrPause()
{
    if (playing) {
        playing = false;
        playAct->setIcon(QIcon(QStringLiteral(":/images/play.png")));
        playAct->setToolTip(tr("play"));
        mapWidget->stopPlayback();
    } else {
        playing = true;
        playAct->setIcon(QIcon(QStringLiteral(":/images/pause.png")));
        playAct->setToolTip(tr("pause"));
        mapWidget->startPlayback();
    }
}

void MainWindow::rewind()
{
    mapWidget->rewindPlayback();
}
void MainWindow::playThreadFinished()
{
    playing = false;
    playAct->setIcon(QIcon(QStringLiteral(":/images/play.png")));
    playAct->setToolTip(tr("play"));
}
