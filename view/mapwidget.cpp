#include "view/mapwidget.h"

#include "analysis/pieces.h"
#include "model/units.h"
#include "view/googlemapoperator.h"
#include "view/googlemappage.h"
#include "view/maptransport.h"
#include "view/mbtiles.h"
#include "view/pointformat.h"
#include "view/pointlist.h"
#include "view/pointlistmodel.h"
#include "view/profilechart.h"
#include "view/statisticstable.h"
#include "view/tracktree.h"

#include <QClipboard>
#include <QComboBox>
#include <QFutureWatcher>
#include <QGuiApplication>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QPushButton>
#include <QSpinBox>
#include <QSplitter>
#include <QTreeView>
#include <QTreeWidget>
#include <QVBoxLayout>
#include <QWebChannel>
#include <QWebEngineProfile>
#include <QWebEngineView>
#include <QtConcurrent>

MapWidget::MapWidget(const QVector<Track> *tracks, const DisplayUnits *units, QWidget *parent)
    : QWidget(parent), tracks(tracks), units(units)
{
    googleMapOperator = new GoogleMapOperator(this);
    setupForm();

    transport = new MapTransport(googleMapOperator, this);
    profile = GoogleMapPage::createProfile(this);
    page = new GoogleMapPage(profile, this);
    channel = new QWebChannel(this);
    page->setWebChannel(channel);
    view->setPage(page);
    addJSObject();
    connect(page, &QWebEnginePage::loadStarted, transport, &MapTransport::pageGone);
    connect(transport, &MapTransport::mapViewChanged, this, &MapWidget::mapViewChanged);
    connect(transport, &MapTransport::mapLineClicked, this, &MapWidget::pickNearestPoint);
    tileHandler = new MbTilesSchemeHandler(this);
    profile->installUrlSchemeHandler(MbTilesSchemeHandler::Scheme, tileHandler);
    setNetworkSource(MapSources::builtIn().first());
    view->load(QUrl(QStringLiteral("qrc:/map.html")));

    trackTree = new TrackTree(treeWidget, tracks, units, googleMapOperator, this);
    pointList = new PointList(treeWidget_2, pointModel, profileView, profileAxis, units,
                              googleMapOperator, this);
    connect(trackTree, &TrackTree::ticksChanged, this, [this] { refreshStatistics(); });
    connect(treeWidget, &QTreeWidget::itemDoubleClicked, this,
            &MapWidget::TreeWidgetItemDoubleClicked);
    treeWidget->installEventFilter(this); // Return lists a track's points
    connect(pointList, &PointList::playThreadFinished, this, &MapWidget::playThreadFinished);
    connect(pointList, &PointList::selectionChanged, this, &MapWidget::showSelection);

    statsTable = new StatisticsTable;
    piecesWidget = new QWidget;
    piecesWidget->setObjectName(QStringLiteral("piecesPane"));
    auto *piecesLayout = new QVBoxLayout(piecesWidget);
    piecesLayout->setContentsMargins(0, 0, 0, 0);
    auto *piecesBar = new QHBoxLayout;
    piecesKind = new QComboBox;
    piecesKind->setObjectName(QStringLiteral("piecesKind"));
    piecesKind->addItems(
        {tr("Laps (mark to mark)"), tr("Splits by distance"), tr("Splits by time")});
    piecesMinutes = new QSpinBox;
    piecesMinutes->setObjectName(QStringLiteral("piecesMinutes"));
    piecesMinutes->setRange(1, 24 * 60);
    piecesMinutes->setValue(10);
    piecesMinutes->setSuffix(tr(" min"));
    piecesMinutes->setVisible(false); // for splits by time
    auto *copy = new QPushButton(tr("Copy as CSV"));
    copy->setObjectName(QStringLiteral("copyPieces"));
    piecesBar->addWidget(piecesKind);
    piecesBar->addWidget(piecesMinutes);
    piecesBar->addStretch(1);
    piecesBar->addWidget(copy);
    piecesLayout->addLayout(piecesBar);
    piecesTable = new StatisticsTable;
    piecesTable->setObjectName(QStringLiteral("piecesTable"));
    piecesLayout->addWidget(piecesTable);
    connect(piecesKind, &QComboBox::currentIndexChanged, this, [this](int kind) {
        piecesMinutes->setVisible(kind == 2);
        refreshPieces();
    });
    connect(piecesMinutes, &QSpinBox::valueChanged, this, &MapWidget::refreshPieces);
    connect(piecesTable, &QTableWidget::cellClicked, this, [this](int row) {
        if (row < shownPieces.size())
            pointList->selectPoints(shownPieces[row].from, shownPieces[row].to);
    });
    connect(copy, &QPushButton::clicked, this, [this] {
        QStringList lines;
        QStringList cells;
        for (int c = 0; c < piecesTable->columnCount(); ++c)
            cells << piecesTable->horizontalHeaderItem(c)->text().replace(QLatin1Char('\n'),
                                                                          QLatin1Char(' '));
        lines << cells.join(QLatin1Char(','));
        for (int r = 0; r < piecesTable->rowCount(); ++r) {
            cells.clear();
            for (int c = 0; c < piecesTable->columnCount(); ++c)
                cells << QLatin1Char('"') +
                             piecesTable->item(r, c)->text().replace(QLatin1Char('"'),
                                                                     QStringLiteral("\"\"")) +
                             QLatin1Char('"');
            lines << cells.join(QLatin1Char(','));
        }
        QGuiApplication::clipboard()->setText(lines.join(QLatin1Char('\n')) + QLatin1Char('\n'));
    });
    statsWatcher = new QFutureWatcher<QVector<TripStats>>(this);
    piecesWatcher = new QFutureWatcher<std::pair<QVector<Pieces::Piece>, QVector<TripStats>>>(this);
}

MapWidget::~MapWidget()
{
    stopPlayback();
    delete statsTable.data(); // unless a window's dialog took it and went first
    delete piecesWidget.data();
    // The page must go before the profile it was made with.
    view->setPage(nullptr);
    delete page;
}

void MapWidget::setupForm()
{
    setObjectName(QStringLiteral("MapWidget"));
    setWindowTitle(tr("Form"));
    resize(958, 431);
    setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Expanding);

    auto *verticalLayout_3 = new QVBoxLayout(this);
    verticalLayout_3->setObjectName(QStringLiteral("verticalLayout_3"));
    auto *splitter_2 = new QSplitter(Qt::Vertical, this);
    splitter_2->setObjectName(QStringLiteral("splitter_2"));
    verticalLayout_3->addWidget(splitter_2);

    auto *splitter = new QSplitter(Qt::Horizontal, splitter_2);
    splitter->setObjectName(QStringLiteral("splitter"));

    auto *layoutWidget = new QWidget(splitter);
    layoutWidget->setObjectName(QStringLiteral("layoutWidget"));
    auto *verticalLayout = new QVBoxLayout(layoutWidget);
    verticalLayout->setObjectName(QStringLiteral("verticalLayout"));
    verticalLayout->setContentsMargins(0, 0, 0, 0);
    auto *label_2 = new QLabel(tr("Solution Explorer"), layoutWidget);
    label_2->setObjectName(QStringLiteral("label_2"));
    label_2->setFrameShape(QFrame::Box);
    label_2->setFrameShadow(QFrame::Sunken);
    verticalLayout->addWidget(label_2);
    treeWidget = new QTreeWidget(layoutWidget);
    treeWidget->setObjectName(QStringLiteral("treeWidget"));
    treeWidget->setMouseTracking(false);
    treeWidget->setEditTriggers(QAbstractItemView::DoubleClicked |
                                QAbstractItemView::SelectedClicked |
                                QAbstractItemView::EditKeyPressed);
    treeWidget->setSelectionMode(QAbstractItemView::SingleSelection);
    verticalLayout->addWidget(treeWidget);

    view = new QWebEngineView(splitter);
    view->setObjectName(QStringLiteral("webView"));
    view->setFocusPolicy(Qt::NoFocus);
    splitter->setStretchFactor(1, 3);
    // Room for a track's label with its distance and duration beside it.
    splitter->setSizes({360, 840});

    auto *layoutWidget1 = new QWidget(splitter_2);
    layoutWidget1->setObjectName(QStringLiteral("layoutWidget1"));
    auto *verticalLayout_2 = new QVBoxLayout(layoutWidget1);
    verticalLayout_2->setObjectName(QStringLiteral("verticalLayout_2"));
    verticalLayout_2->setContentsMargins(0, 0, 0, 0);
    auto *label = new QLabel(tr("Properties Bar"), layoutWidget1);
    label->setObjectName(QStringLiteral("label"));
    label->setMinimumSize(0, 16);
    label->setMaximumSize(16777215, 16);
    label->setFrameShape(QFrame::Box);
    label->setFrameShadow(QFrame::Sunken);
    verticalLayout_2->addWidget(label);

    pointModel = new PointListModel(units, this);
    treeWidget_2 = new QTreeView(layoutWidget1);
    treeWidget_2->setObjectName(QStringLiteral("treeWidget_2"));
    treeWidget_2->setRootIsDecorated(false);
    treeWidget_2->setUniformRowHeights(true);
    treeWidget_2->setEditTriggers(QAbstractItemView::NoEditTriggers);
    treeWidget_2->setModel(pointModel);
    // Click, Shift+click and drag select the points an edit works on.
    treeWidget_2->setSelectionMode(QAbstractItemView::ExtendedSelection);

    // The profile of the listed points, beside the list.
    auto *listAndProfile = new QSplitter(Qt::Horizontal, layoutWidget1);
    listAndProfile->setObjectName(QStringLiteral("listAndProfile"));
    listAndProfile->addWidget(treeWidget_2);
    auto *profilePane = new QWidget(listAndProfile);
    auto *profileLayout = new QVBoxLayout(profilePane);
    profileLayout->setContentsMargins(0, 0, 0, 0);
    profileAxis = new QComboBox(profilePane);
    profileAxis->setObjectName(QStringLiteral("profileAxis"));
    profileAxis->addItems({tr("Profile against time"), tr("Profile against distance")});
    profileLayout->addWidget(profileAxis);
    profileView = new ProfileChart(units, profilePane);
    profileView->setObjectName(QStringLiteral("profileView"));
    // Beside the axis box, the choice of another device's values to draw, where there are any.
    auto *profileBoxes = new QHBoxLayout;
    profileLayout->removeWidget(profileAxis);
    profileBoxes->addWidget(profileAxis, 1);
    profileBoxes->addWidget(profileView->sensorBox());
    profileLayout->addLayout(profileBoxes);
    profileLayout->addWidget(profileView);
    listAndProfile->addWidget(profilePane);
    listAndProfile->setStretchFactor(0, 3);
    listAndProfile->setStretchFactor(1, 2);
    verticalLayout_2->addWidget(listAndProfile);
    splitter_2->setStretchFactor(0, 3);
}

void MapWidget::addJSObject()
{
    channel->registerObject(QStringLiteral("googleMapOperator"), googleMapOperator);
    channel->registerObject(QStringLiteral("mapTransport"), transport);
}

void MapWidget::rebuildTrackViews(const QList<int> &ticked)
{
    rebuildViews(ticked, false, -1);
}

void MapWidget::setWaypoints(const QVector<Waypoint> &places, const QStringList &files)
{
    googleMapOperator->setWaypoints(places);
    trackTree->setWaypoints(places, files);
}

void MapWidget::releaseForEdit()
{
    pointList->releasePoints();
}

void MapWidget::refreshAfterEdit(const QList<int> &ticked, int listed)
{
    rebuildViews(ticked, true, listed);
}

void MapWidget::rebuildViews(const QList<int> &ticked, bool keepMapView, int listed)
{
    listedTrack = listed >= 0 && listed < tracks->size() ? listed : -1;
    if (listedTrack < 0)
        pointList->clear();
    trackTree->rebuild(ticked, keepMapView);
    // The list and the profile are laid out once, for the new points.
    if (listedTrack >= 0)
        pointList->show(&tracks->at(listedTrack), std::nullopt, false, false);
    startStatistics();
    emit trackViewsRebuilt();
}

int MapWidget::currentTrackIndex() const
{
    return treeWidget->currentItem() && treeWidget->currentItem()->parent()
               ? trackTree->currentTrackIndex()
               : -1;
}

QVector<int> MapWidget::selectedPoints() const
{
    return pointList->selectedPointIndexes();
}

std::optional<std::pair<int, int>> MapWidget::selectedStretch() const
{
    if (listedTrack < 0 || listedTrack >= tracks->size())
        return std::nullopt;
    return pointList->selectedSpan();
}

void MapWidget::showSelection()
{
    // A selection of several points shows as a highlighted stretch of the line.
    const auto stretch = selectedStretch();
    if (!stretch) {
        googleMapOperator->showStretch({});
    } else {
        const QVector<TrackPoint> &p = tracks->at(listedTrack).points;
        googleMapOperator->showStretch(p.mid(stretch->first, stretch->second - stretch->first + 1));
    }
    if (stretch != shownStretch) { // playback selects a row a step: no new figures for that
        shownStretch = stretch;
        startSelectionFigures();
        refreshStatistics();
    }
    emit pointsSelected();
}

void MapWidget::startSelectionFigures()
{
    const int generation = ++selectionGeneration;
    selectionStats.reset();
    if (!shownStretch)
        return;
    const Track &t = tracks->at(listedTrack);
    const Pieces::Piece piece{shownStretch->first, shownStretch->second};
    // A drag across a long track changes the selection at every step: a long stretch's
    // figures are worked out off the GUI thread, the newest kept.
    if (piece.to - piece.from < 20000) {
        selectionStats = Pieces::stats(t, piece);
        return;
    }
    selectionWatcher->disconnect(this);
    connect(selectionWatcher, &QFutureWatcherBase::finished, this, [this, generation] {
        if (generation != selectionGeneration)
            return;
        selectionStats = selectionWatcher->result();
        refreshStatistics();
        emit pointsSelected();
    });
    selectionWatcher->setFuture(QtConcurrent::run(Pieces::stats, t, piece));
}

void MapWidget::startStatistics()
{
    const int generation = ++statsGeneration;
    trackStats.clear();
    qint64 total = 0;
    for (const Track &t : *tracks)
        total += t.points.size();
    // A few tens of thousands of points take a few tens of milliseconds: more
    // are worked out off the GUI thread, on a copy (shared, not duplicated).
    if (total < 20000) {
        trackStats = TripAnalysis::allTrackStats(*tracks);
        refreshStatistics();
        emit statisticsReady();
        return;
    }
    refreshStatistics();
    statsWatcher->disconnect(this);
    connect(statsWatcher, &QFutureWatcher<QVector<TripStats>>::finished, this, [this, generation] {
        if (generation != statsGeneration)
            return; // the tracks changed meanwhile; a newer run follows
        trackStats = statsWatcher->result();
        refreshStatistics();
        emit statisticsReady();
    });
    statsWatcher->setFuture(
        QtConcurrent::run(TripAnalysis::allTrackStats, QVector<Track>(*tracks)));
}

void MapWidget::refreshStatistics(bool evenIfHidden)
{
    trackTree->showFigures(trackStats);
    if (!evenIfHidden && !statsTable->isVisible())
        return;
    QStringList labels;
    QVector<TripStats> ticked;
    if (trackStats.size() == tracks->size())
        for (int i : checkedTrackIndexes()) {
            // Named in the time the window shows, like the figures beside it.
            labels << PointFormat::pointLabel(i, tracks->at(i).startTime, units->timeShown());
            ticked << trackStats[i];
        }
    // The points selected in the list: the same figures, from the same code.
    std::optional<std::pair<QString, TripStats>> selection;
    if (shownStretch && selectionStats)
        selection = std::make_pair(tr("Selection (points %1-%2)")
                                       .arg(shownStretch->first + 1)
                                       .arg(shownStretch->second + 1),
                                   *selectionStats);
    statsTable->showStats(labels, ticked, *units, selection);
    refreshPieces();
}

void MapWidget::refreshPieces()
{
    const int generation = ++piecesGeneration;
    showPieces({}, {}); // until worked out: no row stands for a stretch that may be gone
    if (listedTrack < 0 || listedTrack >= tracks->size())
        return;
    const bool miles = units->speedUnit() == SpeedUnit::Mph;
    const int kind = piecesKind->currentIndex();
    const int minutes = piecesMinutes->value();
    const auto work = [kind, miles, minutes](const Track &t) {
        const QVector<Pieces::Piece> pieces =
            kind == 0   ? Pieces::laps(t)
            : kind == 1 ? Pieces::byDistance(t, miles ? Units::MetresPerMile : 1000)
                        : Pieces::byTime(t, minutes * 60);
        QVector<TripStats> stats;
        for (const Pieces::Piece &p : pieces)
            stats << Pieces::stats(t, p);
        return std::make_pair(pieces, stats);
    };
    const Track &t = tracks->at(listedTrack);
    // A long track's laps are worked out off the GUI thread, on a shared copy.
    if (t.points.size() < 20000) {
        const auto [pieces, stats] = work(t);
        showPieces(pieces, stats);
        return;
    }
    piecesWatcher->disconnect(this);
    connect(piecesWatcher, &QFutureWatcherBase::finished, this, [this, generation] {
        if (generation == piecesGeneration)
            showPieces(piecesWatcher->result().first, piecesWatcher->result().second);
    });
    piecesWatcher->setFuture(QtConcurrent::run(work, t));
}

void MapWidget::showPieces(const QVector<Pieces::Piece> &pieces, const QVector<TripStats> &stats)
{
    shownPieces = pieces;
    const QString name = piecesKind->currentIndex() == 0 ? tr("Lap %1") : tr("Split %1");
    QStringList labels;
    for (int k = 0; k < pieces.size(); ++k)
        labels << name.arg(k + 1);
    piecesTable->showStats(labels, stats, *units);
}

QWidget *MapWidget::piecesPane() const
{
    return piecesWidget;
}

void MapWidget::showPhotos(const QJsonArray &photos)
{
    googleMapOperator->showPhotos(photos);
}

void MapWidget::clearPhotos()
{
    googleMapOperator->clearPhotos();
}

void MapWidget::setColouring(ColourBy by, std::optional<std::pair<double, double>> fixed)
{
    trackTree->setColouring(by, fixed);
}

QWidget *MapWidget::mapArea() const
{
    return view;
}

void MapWidget::focusPhoto(int id)
{
    googleMapOperator->focusPhoto(id);
}

void MapWidget::pickNearestPoint(double lat, double lng)
{
    const Vec3 at(lat, lng, 0);
    double best = INFINITY;
    int track = -1, point = -1;
    for (int t : checkedTrackIndexes()) {
        const QVector<TrackPoint> &points = tracks->at(t).points;
        for (int i = 0; i < points.size(); ++i) {
            const double d = TripAnalysis::roughDistance(at, points[i].position);
            if (d < best) {
                best = d;
                track = t;
                point = i;
            }
        }
    }
    if (track >= 0)
        emit trackPointPicked(track, point);
}

void MapWidget::TreeWidgetItemDoubleClicked(QTreeWidgetItem *item, int)
{
    // A place of its own: the map goes to it.
    if (const Waypoint *w = trackTree->waypointOf(item)) {
        googleMapOperator->viewPoint(w->latitude, w->longitude, w->name);
        return;
    }
    if (trackTree->isWaypointItem(item))
        return;
    stopPlayback();
    refreshStatistics();
    listedTrack = trackTree->currentTrackIndex();
    pointList->show(listedTrack >= 0 ? &tracks->at(listedTrack) : nullptr, PointFilter(), true);
    refreshPieces();
    trackTree->tickKeepingView(item);
}

void MapWidget::setNetworkSource(const MapSource &network)
{
    source = network;
    // The built-in attributions carry links; a user's text is shown as text.
    const bool builtIn = MapSources::builtIn().contains(network);
    googleMapOperator->setTileSource(
        network.urlTemplate, builtIn ? network.attribution : network.attribution.toHtmlEscaped(),
        network.minZoom, network.maxZoom, network.subdomains);
    tileHandler->setFile(nullptr);
    offlineFile.reset();
}

bool MapWidget::openOfflineMap(const QString &path, QString *error)
{
    auto file = std::make_shared<MbTilesFile>();
    if (!file->open(path, error))
        return false;
    offlineFile = file;
    tileHandler->setFile(file);
    source = MapSource();
    source.name = file->name;
    source.urlTemplate = path;
    source.offline = true;
    source.minZoom = file->minZoom;
    source.maxZoom = file->maxZoom;
    source.bounds = file->bounds;
    source.attribution = file->attribution;
    // A new address for each file, so no tile of the one before is reused.
    googleMapOperator->setTileSource(
        QStringLiteral("%1:{z}/{x}/{y}?map=%2")
            .arg(QString::fromLatin1(MbTilesSchemeHandler::Scheme))
            .arg(++offlineMaps),
        (file->attribution.isEmpty() ? file->name : file->attribution).toHtmlEscaped(),
        file->minZoom, file->maxZoom, QString());
    if (checkedTrackIndexes().isEmpty() && !file->bounds.isEmpty())
        googleMapOperator->fitArea(file->bounds.top(), file->bounds.left(), file->bounds.bottom(),
                                   file->bounds.right());
    return true;
}

void MapWidget::setMapView(double lat, double lng, int zoom)
{
    googleMapOperator->setView(lat, lng, zoom);
}

void MapWidget::zoomToTracks()
{
    googleMapOperator->fitTracks();
}

void MapWidget::rebuildPointList(std::optional<PointFilter> filter)
{
    refreshStatistics(); // the units may have changed
    trackTree->relabel();
    // The track listed is listed again (not the tree's current one), and the map stays where
    // the user has it.
    const bool listed = listedTrack >= 0 && listedTrack < tracks->size();
    pointList->show(listed ? &tracks->at(listedTrack) : nullptr, filter, false);
}

const PointFilter &MapWidget::filter() const
{
    return pointList->filter();
}

QPair<int, int> MapWidget::listedPointCounts() const
{
    return {int(pointList->listedPoints().size()), pointList->listedTrackPoints()};
}

bool MapWidget::eventFilter(QObject *watched, QEvent *event)
{
    // Return on a track lists its points, as a double-click does.
    if (watched == treeWidget && event->type() == QEvent::KeyPress) {
        const int key = static_cast<QKeyEvent *>(event)->key();
        if ((key == Qt::Key_Return || key == Qt::Key_Enter) && treeWidget->currentItem()) {
            TreeWidgetItemDoubleClicked(treeWidget->currentItem(), 0);
            return true;
        }
    }
    return QWidget::eventFilter(watched, event);
}

QList<int> MapWidget::checkedTrackIndexes() const
{
    return trackTree->checkedTrackIndexes();
}

void MapWidget::startPlayback()
{
    pointList->startPlayback();
}

void MapWidget::stopPlayback()
{
    pointList->stopPlayback();
}

void MapWidget::rewindPlayback()
{
    pointList->rewindPlayback();
}

void MapWidget::setSpeed(int speed)
{
    pointList->setSpeed(speed);
}

StatisticsTable *MapWidget::statisticsTable() const
{
    return statsTable;
}
