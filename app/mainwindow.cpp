#include "app/mainwindow.h"

#include "analysis/pieces.h"
#include "app/deviceflow.h"
#include "app/fileflow.h"
#include "app/filterdialog.h"
#include "app/geotagdialog.h"
#include "app/librarywindow.h"
#include "app/mapmenu.h"
#include "app/startoptions.h"
#include "app/windowplace.h"
#include "edit/trackedit.h"
#include "library/tracklibrary.h"
#include "view/mapwidget.h"
#include "view/statisticstable.h"

#include <QAction>
#include <QActionGroup>
#include <QApplication>
#include <QCloseEvent>
#include <QDialog>
#include <QDialogButtonBox>
#include <QDir>
#include <QDragEnterEvent>
#include <QDropEvent>
#include <QFileDialog>
#include <QFormLayout>
#include <QHeaderView>
#include <QInputDialog>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QMenuBar>
#include <QMessageBox>
#include <QMimeData>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QRegularExpression>
#include <QScrollBar>
#include <QSlider>
#include <QStatusBar>
#include <QTimer>
#include <QToolBar>
#include <QToolButton>
#include <QUrl>
#include <QVBoxLayout>

// The resources live in a static library; make sure the linker keeps them.
static void initResources()
{
    Q_INIT_RESOURCE(icons);
    Q_INIT_RESOURCE(map);
}

MainWindow::MainWindow(QWidget *parent) : QMainWindow(parent)
{
    initResources();
    registerTrackRecordTypes();
    setupForm();
    setAcceptDrops(true); // track files dropped on the window open
    prefs = store.read();

    mapWidget = new MapWidget(&tracks, this, this);
    setCentralWidget(mapWidget);
    connect(mapWidget, &MapWidget::pointsSelected, this, &MainWindow::showSelectionFigures);
    files = new FileFlow(&tracks, this, &store, &prefs.directory, this);
    device = new DeviceFlow(this);
    maps = new MapMenu(mapWidget, &store, &prefs.directory, this);
    connect(files, &FileFlow::waypointsChanged, mapWidget, &MapWidget::setWaypoints);
    connect(files, &FileFlow::tracksAdded, this, [this](int first) {
        // The tracks ticked stay ticked; files dropped or given at start are ticked and shown.
        QList<int> ticked = mapWidget->checkedTrackIndexes();
        for (int i = first; tickOpened && i < tracks.size(); ++i)
            ticked << i;
        mapWidget->rebuildTrackViews(ticked);
        tellArrived(int(tracks.size()) - first, first, tr("opened"));
        if (geotagDialog)
            geotagDialog->tracksChanged();
    });
    connect(files, &FileFlow::note, statusBar(), [this](const QString &text) {
        statusBar()->showMessage(statusBar()->currentMessage() + QLatin1Char(' ') + text);
    });
    connect(device, &DeviceFlow::downloadStarting, mapWidget, &MapWidget::stopPlayback);
    device->setUnsavedCount([this] { return unsavedDownload ? int(tracks.size()) : 0; });
    device->setLibrary([this](bool ask) { return library(ask); });
    connect(device, &DeviceFlow::archived, this, [this](bool all) {
        // Tracks safe in the library need no saving.
        if (all) {
            unsavedDownload = false;
            setWindowModified(false);
        }
        if (libraryWindow)
            libraryWindow->refresh();
    });
    connect(device, &DeviceFlow::tracksDownloaded, this, [this](const QVector<Track> &got) {
        tracks = got;
        files->clearWaypoints(); // they were the files' whose tracks are gone
        mapWidget->setWaypoints({}, {});
        unsavedDownload = true;
        history.clear(); // the edits were of the tracks that are gone
        updateEditActions();
        mapWidget->rebuildTrackViews();
        tellArrived(int(tracks.size()), 0, tr("downloaded"));
        if (geotagDialog)
            geotagDialog->tracksChanged();
    });
    connect(mapWidget, &MapWidget::playThreadFinished, this, [this] { showPlaying(false); });
    connect(mapWidget, &MapWidget::mapViewChanged, this, [this](double lat, double lng, int zoom) {
        prefs.mapLat = lat;
        prefs.mapLng = lng;
        prefs.mapZoom = zoom;
    });

    createActions();
    createMenus();
    createContextMenus();
    createToolBars();
    setWindowTitle(QStringLiteral("LX-300 ") + buildCode + QStringLiteral("[*]"));
    applyPreferences();
}

MainWindow::~MainWindow()
{
    // The views read the units from this window: they go while it is still whole (the base
    // destructor would hide them, and a list then lays itself out one last time).
    delete mapWidget;
}

void MainWindow::setupForm()
{
    if (objectName().isEmpty())
        setObjectName(QStringLiteral("MainWindow"));
    resize(800, 600);
    auto *bar = new QMenuBar(this);
    bar->setObjectName(QStringLiteral("menuBar"));
    bar->setGeometry(0, 0, 800, 22);
    setMenuBar(bar);
    auto *status = new QStatusBar(this);
    status->setObjectName(QStringLiteral("statusBar"));
    setStatusBar(status);
}

QAction *MainWindow::action(const char *name, const QString &text, const char *icon)
{
    auto *a = icon ? new QAction(QIcon(QStringLiteral(":/images/%1.png").arg(QLatin1String(icon))),
                                 text, this)
                   : new QAction(text, this);
    a->setObjectName(QLatin1String(name));
    return a;
}

void MainWindow::createActions()
{
    openAct = action("openAct", tr("&Open"), "open");
    openAct->setShortcut(QKeySequence::Open);
    connect(openAct, &QAction::triggered, this, [this] {
        mapWidget->stopPlayback();
        files->open();
    });
    saveAct = action("saveAct", tr("&Save"), "save");
    saveAct->setShortcut(QKeySequence::Save);
    connect(saveAct, &QAction::triggered, this, &MainWindow::save);
    geotagAct = action("geotagAct", tr("&Geotag photos…"));
    geotagAct->setStatusTip(tr("Write the ticked tracks' positions into photos"));
    connect(geotagAct, &QAction::triggered, this, &MainWindow::geotagPhotos);
    exitAct = action("exitAct", tr("E&xit"));
    exitAct->setShortcut(QKeySequence::Quit);
    // Exit stores no preferences; closing the window does.
    connect(exitAct, &QAction::triggered, this, &MainWindow::exitProgram);
    filterAct = action("filterAct", tr("Filter"), "search");
    filterAct->setShortcut(QKeySequence::Find);
    connect(filterAct, &QAction::triggered, this, &MainWindow::filter);

    // Space plays and pauses wherever the focus is but in a text field, which takes it first.
    playAct = action("playAct", tr("play"), "play");
    playAct->setShortcut(Qt::Key_Space);
    connect(playAct, &QAction::triggered, this, &MainWindow::playOrPause);
    rewindAct = action("rewindAct", tr("rewind"), "rewind");
    rewindAct->setShortcut(Qt::Key_Home);
    connect(rewindAct, &QAction::triggered, mapWidget, &MapWidget::rewindPlayback);

    zoomToTracksAct = action("zoomToTracksAct", tr("&Zoom to tracks"));
    zoomToTracksAct->setStatusTip(tr("Fit the map to the ticked tracks"));
    connect(zoomToTracksAct, &QAction::triggered, mapWidget, &MapWidget::zoomToTracks);
    libraryAct = action("libraryAct", tr("&Library"));
    libraryAct->setStatusTip(tr("The tracks archived in the library"));
    connect(libraryAct, &QAction::triggered, this, &MainWindow::showLibrary);
    libraryFolderAct = action("libraryFolderAct", tr("Library &folder…"));
    connect(libraryFolderAct, &QAction::triggered, this, [this] {
        const QString start =
            prefs.libraryFolder.isEmpty() ? TrackLibrary::defaultFolder() : prefs.libraryFolder;
        const QString folder =
            QFileDialog::getExistingDirectory(this, tr("The library's folder"), start);
        if (!folder.isEmpty())
            useLibrary(folder);
    });
    statisticsAct = action("statisticsAct", tr("&Statistics"));
    statisticsAct->setStatusTip(tr("Distance, times, speeds and climbing of the ticked tracks"));
    connect(statisticsAct, &QAction::triggered, this, &MainWindow::showStatistics);
    aboutAct = action("aboutAct", tr("&About"));
    aboutAct->setShortcut(Qt::Key_F1);
    aboutAct->setStatusTip(tr("Show the application's About box"));
    connect(aboutAct, &QAction::triggered, this, &MainWindow::about);

    kilometersAct = action("kilometersAct", tr("Kilometers"));
    milesAct = action("milesAct", tr("Miles"));
    feetAct = action("feetAct", tr("Feet"));
    meterAct = action("meterAct", tr("Meter"));
    utcTimeAct = action("utcTimeAct", tr("UTC time"));
    localTimeAct = action("localTimeAct", tr("Local time"));
    createEditActions();

    // The lines' colours: the track's own, or a value along it.
    auto *colourGroup = new QActionGroup(this);
    const QList<QPair<const char *, QString>> colourings{{"colourTrackAct", tr("&Track")},
                                                         {"colourSpeedAct", tr("&Speed")},
                                                         {"colourAltitudeAct", tr("&Altitude")},
                                                         {"colourSlopeAct", tr("S&lope (%)")},
                                                         {"colourTimeAct", tr("T&ime")}};
    for (const auto &c : colourings) {
        QAction *a = action(c.first, c.second);
        a->setCheckable(true);
        colourGroup->addAction(a);
        colourActs << a;
        connect(a, &QAction::toggled, this, [this](bool on) {
            if (on)
                colouringChanged();
        });
    }
    colourRangeAct = action("colourRangeAct", tr("Colour &range…"));
    colourRangeAct->setStatusTip(tr("A fixed range for the colours, or the 2nd to 98th "
                                    "percentile of the ticked tracks"));
    connect(colourRangeAct, &QAction::triggered, this, &MainWindow::askColourRange);

    const QList<QList<QAction *>> groups{
        {kilometersAct, milesAct}, {feetAct, meterAct}, {localTimeAct, utcTimeAct}};
    for (const QList<QAction *> &members : groups) {
        auto *group = new QActionGroup(this);
        for (QAction *a : members) {
            a->setCheckable(true);
            group->addAction(a);
            connect(a, &QAction::toggled, this, &MainWindow::unitsChanged);
        }
    }
}

void MainWindow::createMenus()
{
    QMenu *fileMenu = menuBar()->addMenu(tr("&File"));
    fileMenu->addAction(openAct);
    fileMenu->addAction(saveAct);
    fileMenu->addMenu(files->recentMenu());
    fileMenu->addSeparator();
    fileMenu->addAction(geotagAct);
    fileMenu->addAction(libraryFolderAct);
    fileMenu->addSeparator();
    fileMenu->addAction(exitAct);

    QMenu *deviceMenu = menuBar()->addMenu(tr("&Device"));
    deviceMenu->addAction(device->connectAction());
    deviceMenu->addSeparator();
    deviceMenu->addActions({device->downloadAction(), device->downloadNewAction(),
                            device->deleteAction(), device->settingsAction()});

    QMenu *editMenu = menuBar()->addMenu(tr("&Edit"));
    editMenu->addActions({undoAct, redoAct});
    editMenu->addSeparator();
    editMenu->addActions(editActs);

    QMenu *unitMenu = menuBar()->addMenu(tr("&Unit"));
    unitMenu->addMenu(tr("&Speed"))->addActions({kilometersAct, milesAct});
    unitMenu->addMenu(tr("&Height"))->addActions({meterAct, feetAct});

    QMenu *viewMenu = menuBar()->addMenu(tr("&View"));
    viewMenu->addActions({zoomToTracksAct, statisticsAct, libraryAct});
    QMenu *colourMenu = viewMenu->addMenu(tr("&Colour lines by"));
    colourMenu->addActions(colourActs);
    colourMenu->addSeparator();
    colourMenu->addAction(colourRangeAct);
    menuBar()->addMenu(maps->menu());
    menuBar()->addMenu(tr("&Time"))->addActions({localTimeAct, utcTimeAct});
    menuBar()->addMenu(tr("&Help"))->addAction(aboutAct);
}

void MainWindow::createToolBars()
{
    QToolBar *bar = addToolBar(tr("File"));
    bar->setToolButtonStyle(Qt::ToolButtonIconOnly);
    bar->setFloatable(false);
    bar->setMovable(false);
    bar->addActions({openAct, saveAct});
    bar->addSeparator();
    bar->addAction(filterAct);
    bar->addSeparator();
    bar->addActions({device->downloadAction(), device->downloadNewAction(), device->deleteAction(),
                     device->settingsAction()});
    bar->addSeparator();
    bar->addWidget(device->portBox());
    bar->addSeparator();
    bar->addActions({rewindAct, playAct});

    bar->addWidget(new QLabel(QStringLiteral("Speed:"), bar));
    auto *speedSlider = new QSlider(Qt::Horizontal, bar);
    speedSlider->setObjectName(QStringLiteral("speedSlider"));
    speedSlider->setRange(0, 2);
    speedSlider->setTickInterval(1);
    speedSlider->setTickPosition(QSlider::TicksBelow);
    speedSlider->setFixedWidth(80);
    speedSlider->setValue(0);
    connect(speedSlider, &QSlider::valueChanged, mapWidget, &MapWidget::setSpeed);
    bar->addWidget(speedSlider);

    bar->addSeparator();
    auto *mapButton = new QToolButton(bar);
    mapButton->setObjectName(QStringLiteral("mapButton"));
    mapButton->setText(tr("Map"));
    mapButton->setToolTip(tr("Choose the base map"));
    mapButton->setMenu(maps->menu());
    mapButton->setPopupMode(QToolButton::InstantPopup);
    bar->addWidget(mapButton);
}

void MainWindow::applyPreferences()
{
    if (!prefs.geometry.isEmpty() && restoreGeometry(prefs.geometry))
        WindowPlace::keepOnScreen(this); // stored on a larger screen, say
    else
        setWindowState(windowState() | Qt::WindowMaximized);
    // The preferences come back through the menus, as if the user had chosen them (each
    // choice reads all three menus back into the preferences: take them first).
    const Preferences stored = prefs;
    (stored.speed == SpeedUnit::Mph ? milesAct : kilometersAct)->setChecked(true);
    (stored.height == HeightUnit::Feet ? feetAct : meterAct)->setChecked(true);
    (stored.time == TimeShown::Local ? localTimeAct : utcTimeAct)->setChecked(true);
    unitsChanged();
    colourActs.at(int(stored.colourBy))->setChecked(true);
    colouringChanged();
    const QString note = maps->restoreMap();
    if (!note.isEmpty())
        statusBar()->showMessage(note);
    if (prefs.mapZoom >= 0)
        mapWidget->setMapView(prefs.mapLat, prefs.mapLng, prefs.mapZoom);
}

void MainWindow::unitsChanged()
{
    prefs.speed = milesAct->isChecked() ? SpeedUnit::Mph : SpeedUnit::Kmh;
    prefs.height = feetAct->isChecked() ? HeightUnit::Feet : HeightUnit::Metres;
    prefs.time = utcTimeAct->isChecked() ? TimeShown::Utc : TimeShown::Local;
    // Rule 0 keeps the filter in force; the rows follow the new units and time.
    mapWidget->rebuildPointList();
}

void MainWindow::createContextMenus()
{
    // The edits as context menus: a track's in the tree, a selection's in the list and graph.
    const auto menuOf = [this](const char *widget, const QStringList &names) {
        QWidget *w = mapWidget->findChild<QWidget *>(QLatin1String(widget));
        if (!w)
            return;
        w->setContextMenuPolicy(Qt::ActionsContextMenu);
        for (QAction *a : qAsConst(editActs))
            if (names.contains(a->objectName()))
                w->addAction(a);
    };
    const QStringList pointEdits{"deletePointsAct", "cropAct", "trimBeforeAct", "trimAfterAct",
                                 "splitHereAct"};
    menuOf("treeWidget", {"renameAct", "splitPausesAct", "splitDayAct", "mergeAct"});
    menuOf("treeWidget_2", pointEdits);
    menuOf("profileView", pointEdits);
}

namespace {
// The name and description of track `index`, as the user types them; false when cancelled.
bool askNameAndDescription(QWidget *parent, int index, QString *name, QString *description)
{
    QDialog dialog(parent);
    dialog.setWindowTitle(MainWindow::tr("Rename track %1").arg(index + 1));
    auto *form = new QFormLayout(&dialog);
    auto *nameEdit = new QLineEdit(*name, &dialog);
    nameEdit->setObjectName(QStringLiteral("nameEdit"));
    auto *descriptionEdit = new QPlainTextEdit(*description, &dialog);
    descriptionEdit->setObjectName(QStringLiteral("descriptionEdit"));
    descriptionEdit->setTabChangesFocus(true);
    form->addRow(MainWindow::tr("&Name:"), nameEdit);
    form->addRow(MainWindow::tr("&Description:"), descriptionEdit);
    auto *buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel);
    QObject::connect(buttons, &QDialogButtonBox::accepted, &dialog, &QDialog::accept);
    QObject::connect(buttons, &QDialogButtonBox::rejected, &dialog, &QDialog::reject);
    form->addRow(buttons);
    if (dialog.exec() != QDialog::Accepted)
        return false;
    *name = nameEdit->text();
    *description = descriptionEdit->toPlainText();
    return true;
}
} // namespace

void MainWindow::createEditActions()
{
    undoAct = action("undoAct", tr("&Undo"));
    undoAct->setShortcut(QKeySequence::Undo);
    connect(undoAct, &QAction::triggered, this, [this] { undoRedo(true); });
    redoAct = action("redoAct", tr("&Redo"));
    redoAct->setShortcuts(
        {QKeySequence(Qt::CTRL | Qt::SHIFT | Qt::Key_Z), QKeySequence(Qt::CTRL | Qt::Key_Y)});
    connect(redoAct, &QAction::triggered, this, [this] { undoRedo(false); });
    // Each works on the listed track's selected points, or the ticked tracks.
    const auto listed = [this] { return mapWidget->listedTrackIndex(); };
    const auto selected = [this] { return mapWidget->selectedPoints(); };
    const auto add = [this](const char *name, const QString &text, auto make) {
        QAction *a = action(name, text);
        connect(a, &QAction::triggered, this, make);
        editActs << a;
        return a;
    };
    add("deletePointsAct", tr("&Delete selected points"), [=] {
        const QVector<int> s = selected();
        edit(s.isEmpty() ? TrackEdit::Result{std::nullopt, tr("Select points in the list first.")}
                         : TrackEdit::deletePoints(tracks, listed(), s),
             listed());
    })->setShortcut(QKeySequence::Delete);
    add("cropAct", tr("&Crop to selection"), [=] {
        const QVector<int> s = selected();
        edit(s.isEmpty() ? TrackEdit::Result{std::nullopt, tr("Select points in the list first.")}
                         : TrackEdit::crop(tracks, listed(), s.first(), s.last() + 1),
             listed());
    });
    add("trimBeforeAct", tr("Trim &before this point"),
        [=] { edit(TrackEdit::trimBefore(tracks, listed(), selected().value(0, -1)), listed()); });
    add("trimAfterAct", tr("Trim &after this point"), [=] {
        const QVector<int> s = selected();
        edit(TrackEdit::trimAfter(tracks, listed(), s.isEmpty() ? 1 << 30 : s.last()), listed());
    });
    add("splitHereAct", tr("&Split here"),
        [=] { edit(TrackEdit::splitAt(tracks, listed(), selected().value(0, -1)), listed()); });
    // Whole-track edits: the tree's current track, else the listed one.
    const auto chosen = [this] {
        const int current = mapWidget->currentTrackIndex();
        return current >= 0 ? current : mapWidget->listedTrackIndex();
    };
    add("splitPausesAct", tr("Split at &pauses…"), [=] {
        bool ok = false;
        const int minutes = QInputDialog::getInt(
            this, tr("Split at pauses"), tr("A new track after each pause longer than (minutes):"),
            10, 1, 100000, 1, &ok);
        if (ok)
            edit(TrackEdit::splitAtPauses(tracks, chosen(), minutes), chosen());
    });
    add("splitDayAct", tr("Split by &day"),
        [=] { edit(TrackEdit::splitByDay(tracks, chosen(), timeShown()), chosen()); });
    add("mergeAct", tr("&Merge ticked tracks…"), [=] {
        const QStringList ways{tr("Each track a segment of its own"),
                               tr("One line through all of them")};
        bool ok = false;
        const QString way = QInputDialog::getItem(this, tr("Merge ticked tracks"),
                                                  tr("The ticked tracks become one track, in "
                                                     "time order:"),
                                                  ways, 0, false, &ok);
        if (ok)
            edit(TrackEdit::merge(tracks, mapWidget->checkedTrackIndexes(), way == ways[1]), -1);
    });
    add("renameAct", tr("Re&name…"), [=] {
        const int t = chosen();
        if (t < 0 || t >= tracks.size())
            return edit({std::nullopt, tr("Choose a track in the tree first.")}, -1);
        QString name = tracks[t].name, description = tracks[t].description;
        if (askNameAndDescription(this, t, &name, &description))
            edit(TrackEdit::rename(tracks, t, name, description), t);
    });
    updateEditActions();
}

void MainWindow::edit(const TrackEdit::Result &result, int listed)
{
    if (!result.change) {
        statusBar()->showMessage(result.refusal.isEmpty()
                                     ? tr("List a track and select its points first.")
                                     : result.refusal);
        return;
    }
    // Large removals are said before they are made (they can be undone all the same).
    qint64 removed = 0;
    bool wholeTrack = false;
    for (const TrackEdit::Step &s : result.change->steps) {
        removed += s.kind == TrackEdit::Step::RemovePoints ? s.points.size() : 0;
        wholeTrack |= s.kind == TrackEdit::Step::RemoveTrack;
    }
    if ((removed > 1000 || wholeTrack) &&
        QMessageBox::question(this, QString(),
                              wholeTrack
                                  ? tr("%1 removes a whole track. Go on?").arg(result.change->name)
                                  : tr("%1 removes %2 points. Go on?")
                                        .arg(result.change->name)
                                        .arg(QLocale().toString(removed))) != QMessageBox::Yes)
        return;
    mapWidget->stopPlayback();
    const int before = int(tracks.size());
    QList<int> ticked = mapWidget->checkedTrackIndexes();
    mapWidget->releaseForEdit();
    history.push(tracks, *result.change);
    // The ticks stay on their tracks: those after the edited one move with the tracks added
    // or removed, the pieces of a ticked track that was split are ticked, and a merge leaves
    // the merged track ticked.
    const int added = int(tracks.size()) - before;
    QList<int> now;
    if (listed < 0 && !ticked.isEmpty())
        now << *std::min_element(ticked.cbegin(), ticked.cend());
    for (int t : ticked) {
        if (listed < 0 || (t == listed && added < 0))
            continue;
        now << (t > listed ? t + added : t);
        for (int i = 1; t == listed && i <= added; ++i)
            now << listed + i;
    }
    ticked = now;
    afterEdit(ticked, listed);
}

void MainWindow::undoRedo(bool undo)
{
    mapWidget->stopPlayback();
    const int listed = mapWidget->listedTrackIndex();
    const QList<int> ticked = mapWidget->checkedTrackIndexes();
    if (undo ? history.undoName().isEmpty() : history.redoName().isEmpty())
        return;
    mapWidget->releaseForEdit();
    if (undo)
        history.undo(tracks);
    else
        history.redo(tracks);
    afterEdit(ticked, listed);
}

void MainWindow::afterEdit(const QList<int> &ticked, int listed)
{
    // Unsaved until the next save of every track; the views follow at once.
    unsavedDownload = true;
    setWindowModified(true);
    mapWidget->refreshAfterEdit(ticked, listed);
    updateEditActions();
    if (geotagDialog)
        geotagDialog->tracksChanged();
}

void MainWindow::showSelectionFigures()
{
    const auto stretch = mapWidget->selectedStretch();
    if (!stretch)
        return;
    if (!mapWidget->selectionFigures()) {
        statusBar()->showMessage(
            tr("points %1-%2: …").arg(stretch->first + 1).arg(stretch->second + 1));
        return;
    }
    const TripStats &s = *mapWidget->selectionFigures();
    QString text =
        tr("points %1-%2: %3, %4")
            .arg(stretch->first + 1)
            .arg(stretch->second + 1)
            .arg(TripAnalysis::distanceText(s.distanceM, speedUnit()),
                 s.hasTime ? TripAnalysis::durationText(s.durationS) : QStringLiteral("\u2013"));
    if (s.hasAltitude)
        text += QStringLiteral(", +") + TripAnalysis::heightText(s.ascentM, heightUnit());
    statusBar()->showMessage(text);
}

void MainWindow::updateEditActions()
{
    undoAct->setEnabled(!history.undoName().isEmpty());
    undoAct->setText(undoAct->isEnabled() ? tr("&Undo %1").arg(history.undoName()) : tr("&Undo"));
    redoAct->setEnabled(!history.redoName().isEmpty());
    redoAct->setText(redoAct->isEnabled() ? tr("&Redo %1").arg(history.redoName()) : tr("&Redo"));
}

void MainWindow::colouringChanged()
{
    for (int i = 0; i < colourActs.size(); ++i)
        if (colourActs[i]->isChecked())
            prefs.colourBy = ColourBy(i);
    colourRangeAct->setEnabled(prefs.colourBy != ColourBy::Track);
    mapWidget->setColouring(prefs.colourBy, colourRange);
}

void MainWindow::askColourRange()
{
    // Typed in the unit shown; empty for the ticked tracks' own range.
    const bool miles = prefs.speed == SpeedUnit::Mph, feet = prefs.height == HeightUnit::Feet;
    double perUnit = 1; // the values' own units per unit typed
    QString unit;
    switch (prefs.colourBy) {
    case ColourBy::Speed:
        perUnit = miles ? Units::KmPerMile : 1;
        unit = miles ? tr("mph") : tr("km/h");
        break;
    case ColourBy::Altitude:
        perUnit = feet ? 1 / Units::FeetPerMetre : 1;
        unit = feet ? tr("ft") : tr("m");
        break;
    case ColourBy::Slope:
        unit = tr("%");
        break;
    case ColourBy::Time:
        perUnit = 3600;
        unit = tr("hours since the start");
        break;
    case ColourBy::Track:
        return;
    }
    const QString now = colourRange ? QStringLiteral("%1 - %2")
                                          .arg(colourRange->first / perUnit)
                                          .arg(colourRange->second / perUnit)
                                    : QString();
    bool ok = false;
    const QString text = QInputDialog::getText(
        this, tr("Colour range"),
        tr("From and to, in %1 (\"0 - 40\"); empty for the 2nd to 98th percentile of the "
           "ticked tracks:")
            .arg(unit),
        QLineEdit::Normal, now, &ok);
    if (!ok)
        return;
    static const QRegularExpression pair(QStringLiteral(
        "^\\s*(-?[0-9]+(?:[.,][0-9]+)?)\\s*(?:-|–|to)\\s*(-?[0-9]+(?:[.,][0-9]+)?)\\s*$"));
    const QRegularExpressionMatch m = pair.match(text);
    if (text.trimmed().isEmpty()) {
        colourRange.reset();
    } else if (m.hasMatch()) {
        const double lo = m.captured(1).replace(QLatin1Char(','), QLatin1Char('.')).toDouble();
        const double hi = m.captured(2).replace(QLatin1Char(','), QLatin1Char('.')).toDouble();
        if (!(hi > lo)) {
            QMessageBox::warning(this, QString(),
                                 tr("The range must run from a lower value to a "
                                    "higher one."));
            return;
        }
        colourRange = std::make_pair(lo * perUnit, hi * perUnit);
    } else {
        QMessageBox::warning(this, QString(), tr("Type two numbers, as \"0 - 40\"."));
        return;
    }
    mapWidget->setColouring(prefs.colourBy, colourRange);
}

void MainWindow::closeEvent(QCloseEvent *event)
{
    // Quitting closes the window too; Exit has asked already and stores nothing.
    if (!quitting) {
        if (!mayDropTracks()) {
            event->ignore();
            return;
        }
        prefs.geometry = saveGeometry();
        if (geotagDialog && geotagDialog->isVisible())
            prefs.geotagGeometry = geotagDialog->saveGeometry();
        store.write(prefs);
        if (!store.cannotSave().isEmpty())
            QMessageBox::warning(
                this, QString(),
                tr("Your preferences were not saved: %1.").arg(store.cannotSave()));
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
    case QMessageBox::Save: // every unsaved track, whatever is ticked
        saveTracks(allTracks());
        return !unsavedDownload;
    case QMessageBox::Discard:
        return true;
    default:
        return false;
    }
}

void MainWindow::about()
{
    QMessageBox::about(
        this, tr("About LX300 Tool"),
        tr("LX-300 ") + buildCode + tr("\nCopyright (C) Trekmont. All rights reserved.") +
            tr("\n\nVersion %1. Built with Qt %2, Leaflet, GeographicLib, exiv2, "
               "libzip and SQLite; photos are written by ExifTool. Map data "
               "\u00a9 OpenStreetMap contributors.")
                .arg(QCoreApplication::applicationVersion(), QLatin1String(qVersion())));
}

bool MainWindow::openFile(const QString &fileName)
{
    mapWidget->stopPlayback();
    return files->openFiles({fileName});
}

void MainWindow::tellArrived(int count, int first, const QString &how)
{
    qint64 points = 0;
    for (int i = first; i < tracks.size(); ++i)
        points += tracks[i].points.size();
    QString text = (count == 1 ? tr("1 track %2, %3 points") : tr("%1 tracks %2, %3 points"))
                       .replace(QLatin1String("%1"), QString::number(count))
                       .arg(how, QLocale().toString(points));
    if (!(tickOpened && how == tr("opened")))
        text += tr("; tick them to show them on the map");
    statusBar()->showMessage(text + QLatin1Char('.'));
}

bool MainWindow::openFiles(const QStringList &fileNames)
{
    // Files dropped on the window or given at start: exactly those were asked for.
    mapWidget->stopPlayback();
    tickOpened = true;
    const bool ok = files->openFiles(fileNames);
    tickOpened = false;
    return ok;
}

void MainWindow::save()
{
    QList<int> selection = mapWidget->checkedTrackIndexes();
    if (selection.isEmpty()) { // the usual case after a download or an open: never an empty file
        if (tracks.isEmpty()) {
            QMessageBox::information(this, QString(), tr("There are no tracks to save."));
            return;
        }
        QMessageBox box(QMessageBox::Question, QString(),
                        tr("No track is ticked. Save all %n tracks?", nullptr, int(tracks.size())),
                        QMessageBox::Cancel, this);
        QPushButton *all = box.addButton(tr("Save all"), QMessageBox::AcceptRole);
        box.setDefaultButton(all);
        box.exec();
        if (box.clickedButton() != static_cast<QAbstractButton *>(all))
            return;
        selection = allTracks();
    }
    saveTracks(selection);
}

void MainWindow::saveTracks(const QList<int> &selection)
{
    // Only a save of every track, every point, keeps the download safe.
    if (files->save(selection) == FileFlow::Saved::Everything)
        unsavedDownload = false;
    setWindowModified(unsavedDownload); // the edits stay undoable after a save
}

QList<int> MainWindow::allTracks() const
{
    QList<int> all;
    for (int i = 0; i < tracks.size(); ++i)
        all << i;
    return all;
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
    QStringList names;
    for (const QUrl &url : event->mimeData()->urls())
        if (url.isLocalFile())
            names << url.toLocalFile();
    event->acceptProposedAction();
    // Opened once the drop has finished, so the source application is not kept waiting.
    QTimer::singleShot(0, this, [this, names] { openFiles(names); });
}

void MainWindow::filter()
{
    // The value is typed in the unit shown; the list compares the logger's own steps.
    const bool miles = speedUnit() == SpeedUnit::Mph;
    FilterDialog dialog(miles ? tr("mph") : tr("km/h"), this);
    dialog.setCurrent(mapWidget->filter(), speedUnit());
    if (dialog.exec() != QDialog::Accepted || !dialog.isValid())
        return;
    mapWidget->rewindPlayback();
    mapWidget->rebuildPointList(dialog.filter(speedUnit()));
    showFilter();
}

void MainWindow::showFilter()
{
    const PointFilter &f = mapWidget->filter();
    const QPair<int, int> counts = mapWidget->listedPointCounts();
    if (f.rule == PointFilter::Rule::All || counts.second == 0) {
        statusBar()->clearMessage();
        return;
    }
    const bool miles = speedUnit() == SpeedUnit::Mph;
    const QString what = f.rule == PointFilter::Rule::Marks
                             ? tr("mark points")
                             : tr("speed %1 %2 %3")
                                   .arg(QLatin1String(f.sign()))
                                   .arg(f.speedIn(speedUnit()), 0, 'g', 6)
                                   .arg(miles ? tr("mph") : tr("km/h"));
    statusBar()->showMessage(
        tr("Filtered: %1 (%2 of %3 points)").arg(what).arg(counts.first).arg(counts.second));
}

TrackLibrary *MainWindow::library(bool ask)
{
    if (trackLibrary)
        return trackLibrary.get();
    QString folder = prefs.libraryFolder;
    if (folder.isEmpty() && !ask)
        return nullptr;
    if (folder.isEmpty()) { // first use: a folder in the documents is suggested
        QDir().mkpath(TrackLibrary::defaultFolder());
        folder = QFileDialog::getExistingDirectory(
            this, tr("Where should the track library be kept?"), TrackLibrary::defaultFolder());
        if (folder.isEmpty())
            return nullptr;
    }
    return useLibrary(folder) ? trackLibrary.get() : nullptr;
}

bool MainWindow::useLibrary(const QString &folder)
{
    auto opened = std::make_unique<TrackLibrary>(folder);
    if (!opened->open()) {
        QMessageBox::warning(this, QString(),
                             tr("The track library cannot be used: %1").arg(opened->errorString()));
        return false;
    }
    delete libraryWindow.data(); // it showed the other library
    trackLibrary = std::move(opened);
    prefs.libraryFolder = trackLibrary->folder();
    store.write(prefs);
    return true;
}

void MainWindow::showLibrary()
{
    if (!library())
        return;
    if (!libraryWindow) {
        libraryWindow = new LibraryWindow(trackLibrary.get(), this, this);
        connect(libraryWindow, &LibraryWindow::openRequested, this, &MainWindow::openFiles);
    }
    libraryWindow->show();
    libraryWindow->raise();
    libraryWindow->activateWindow();
}

void MainWindow::showStatistics()
{
    // One window beside the map that follows the ticks, units and tracks.
    if (!statisticsDialog) {
        statisticsDialog = new QDialog(this);
        statisticsDialog->setObjectName(QStringLiteral("statisticsDialog"));
        statisticsDialog->setWindowTitle(tr("Trip statistics"));
        auto *layout = new QVBoxLayout(statisticsDialog);
        layout->addWidget(mapWidget->statisticsTable());
        layout->addWidget(mapWidget->piecesPane(), 1);
    }
    if (!statisticsDialog->isVisible()) {
        mapWidget->refreshStatistics(true); // not kept up to date while hidden
        // Wide enough for every column where the screen has room; the table scrolls
        // sideways where it has not.
        QTableWidget *table = mapWidget->statisticsTable();
        table->resizeColumnsToContents();
        int needed = table->verticalHeader()->width() + 2 * table->frameWidth() +
                     table->verticalScrollBar()->sizeHint().width() + 24;
        for (int c = 0; c < table->columnCount(); ++c)
            needed += table->columnWidth(c);
        statisticsDialog->resize(needed, 480); // the figures, then the laps or splits
        WindowPlace::keepOnScreen(statisticsDialog);
    }
    statisticsDialog->show();
    statisticsDialog->raise();
    statisticsDialog->activateWindow();
}

void MainWindow::geotagPhotos()
{
    if (geotagDialog && geotagDialog->isBusy()) {
        geotagDialog->raise();
        return;
    }
    if (tracks.isEmpty()) {
        QMessageBox::information(this, QString(),
                                 tr("Open or download the tracks the photos were taken on "
                                    "first."));
        return;
    }
    // The tracks ticked now (all when none is), for as long as the dialog is open.
    delete geotagDialog;
    geotagDialog = new GeotagDialog(&tracks, mapWidget->checkedTrackIndexes(), mapWidget, this);
    geotagDialog->setAttribute(Qt::WA_DeleteOnClose);
    // Where the user left it, else beside the map; on screen either way.
    const QWidget *area = mapWidget->mapArea();
    if (prefs.geotagGeometry.isEmpty() || !geotagDialog->restoreGeometry(prefs.geotagGeometry))
        WindowPlace::placeBeside(geotagDialog, QSize(900, 560),
                                 QRect(area->mapToGlobal(QPoint()), area->size()));
    WindowPlace::keepOnScreen(geotagDialog);
    connect(geotagDialog, &GeotagDialog::closed, this,
            [this](const QByteArray &geometry) { prefs.geotagGeometry = geometry; });
    geotagDialog->show();
}

void MainWindow::applyStartOptions(const StartOptions &options)
{
    if (!options.map.isEmpty())
        maps->chooseMap(options.map, true, false);
    if (!options.port.isEmpty())
        device->setGivenPort(options.port);
    if (!options.files.isEmpty())
        openFiles(options.files);
}

void MainWindow::playOrPause()
{
    showPlaying(!playing);
    if (playing)
        mapWidget->startPlayback();
    else
        mapWidget->stopPlayback();
}

void MainWindow::showPlaying(bool on)
{
    playing = on;
    playAct->setIcon(
        QIcon(on ? QStringLiteral(":/images/pause.png") : QStringLiteral(":/images/play.png")));
    playAct->setToolTip(on ? tr("pause") : tr("play"));
}
