#include "view/mapwidget.h"

#include "model/units.h"
#include "view/googlemapoperator.h"
#include "view/googlemappage.h"
#include "view/maptransport.h"
#include "view/mbtiles.h"
#include "view/playbackthread.h"
#include "view/pointformat.h"
#include "view/pointlistmodel.h"
#include "view/profilechart.h"
#include "view/statisticstable.h"
#include "view/treecheckstate.h"

#include <QComboBox>
#include <QFutureWatcher>
#include <QHeaderView>
#include <QLabel>
#include <QSplitter>
#include <QStyle>
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
    setupForm();

    googleMapOperator = new GoogleMapOperator(this);
    transport = new MapTransport(googleMapOperator, this);
    profile = GoogleMapPage::createProfile(this);
    page = new GoogleMapPage(profile, this);
    channel = new QWebChannel(this);
    page->setWebChannel(channel);
    view->setPage(page);
    addJSObject();
    connect(page, &QWebEnginePage::loadStarted, transport, &MapTransport::pageGone);
    connect(transport, &MapTransport::mapViewChanged, this, &MapWidget::mapViewChanged);
    tileHandler = new MbTilesSchemeHandler(this);
    profile->installUrlSchemeHandler(MbTilesSchemeHandler::Scheme, tileHandler);
    setNetworkSource(MapSources::builtIn().first());
    view->load(QUrl(QStringLiteral("qrc:/map.html")));

    treeWidget->setColumnCount(3);
    treeWidget->setHeaderLabels(QStringList{QString(), tr("Distance"), tr("Duration")});

    rootItem = new QTreeWidgetItem;
    rootItem->setText(0, QStringLiteral("LX-300 Data Logger"));
    rootItem->setFlags(Qt::ItemIsUserCheckable | Qt::ItemIsEnabled);
    rootItem->setCheckState(0, Qt::Unchecked);
    treeWidget->addTopLevelItem(rootItem);

    connect(treeWidget, &QTreeWidget::itemChanged, this, &MapWidget::TreeWidgetItemChanged);
    connect(treeWidget, &QTreeWidget::itemDoubleClicked, this,
            &MapWidget::TreeWidgetItemDoubleClicked);
    connect(treeWidget_2, &QTreeView::doubleClicked, this,
            &MapWidget::TreeWidget2ItemDoubleClicked);

    playbackThread = new PlaybackThread;

    statsTable = new StatisticsTable;
    statsWatcher = new QFutureWatcher<QVector<TripStats>>(this);
    connect(profileView, &ProfileChart::pointPicked, this, &MapWidget::pickPoint);
    // A row chosen by hand or by playback moves the graph's cursor.
    connect(treeWidget_2->selectionModel(), &QItemSelectionModel::selectionChanged, this, [this] {
        const QModelIndexList rows = treeWidget_2->selectionModel()->selectedRows();
        profileView->setCursorRow(rows.isEmpty() ? -1 : rows.first().row());
    });
    connect(profileAxis, &QComboBox::currentIndexChanged, this,
            [this](int i) { profileView->setAgainstDistance(i == 1); });
}

MapWidget::~MapWidget()
{
    stopPlayback();
    delete playbackThread;
    delete statsTable.data(); // unless a window's dialog took it and went first
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

    // The profile of the listed points, beside the list.
    auto *listAndProfile = new QSplitter(Qt::Horizontal, layoutWidget1);
    listAndProfile->setObjectName(QStringLiteral("listAndProfile"));
    listAndProfile->addWidget(treeWidget_2);
    auto *profilePane = new QWidget(listAndProfile);
    auto *profileLayout = new QVBoxLayout(profilePane);
    profileLayout->setContentsMargins(0, 0, 0, 0);
    profileAxis = new QComboBox(profilePane);
    profileAxis->addItems({tr("Profile against time"), tr("Profile against distance")});
    profileLayout->addWidget(profileAxis);
    profileView = new ProfileChart(units, profilePane);
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

QString MapWidget::trackLabel(quint32 startTime, int index) const
{
    return PointFormat::trackLabel(startTime, index);
}

void MapWidget::rebuildTrackViews()
{
    treeWidget->clear();
    pointModel->clear();
    // Left open elsewhere: the old list would stand for tracks that are gone.
    playPoints.clear();
    playStart = 0;
    emit googleMapOperator->deleteAllObject();
    markedPoints.clear();
    linesShown = false;
    profileView->setPoints({}, 0);

    rootItem = new QTreeWidgetItem;
    rootItem->setText(0, QStringLiteral("LX-300 Data Logger"));
    rootItem->setFlags(Qt::ItemIsUserCheckable | Qt::ItemIsEnabled);
    rootItem->setCheckState(0, Qt::Unchecked);
    rootItem->setExpanded(true);
    treeWidget->addTopLevelItem(rootItem);
    rootItem->setExpanded(true);

    markedPoints.resize(tracks->size());
    for (int i = 0; i < tracks->size(); ++i) {
        const Track &track = tracks->at(i);
        const QString label = trackLabel(track.startTime, i);
        emit googleMapOperator->addPolyline();
        auto *item = new QTreeWidgetItem(rootItem);
        item->setText(0, label);
        item->setFlags(Qt::ItemIsSelectable | Qt::ItemIsUserCheckable | Qt::ItemIsEnabled);
        item->setCheckState(0, Qt::Unchecked);
        if (track.isIncomplete()) {
            // A download that stopped early: the track must not pass for whole.
            item->setIcon(0, style()->standardIcon(QStyle::SP_MessageBoxWarning));
            item->setToolTip(0, tr("incomplete: %1 points in %2 of %3 blocks")
                                    .arg(QLocale().toString(track.points.size()))
                                    .arg(track.blocksReceived)
                                    .arg(track.blocksListed));
        }
        for (const TrackPoint &p : track.points) {
            if (p.marked != 0)
                markedPoints[i].append(p);
            emit googleMapOperator->addLatLng(p.position.x, p.position.y, i);
        }
    }
    startStatistics();
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

void MapWidget::refreshStatistics()
{
    const SpeedUnit speedUnit = units->speedUnit();
    if (rootItem && trackStats.size() == rootItem->childCount()) {
        // Texts set here must not come back as check changes.
        const QSignalBlocker quiet(treeWidget);
        for (int i = 0; i < rootItem->childCount(); ++i) {
            rootItem->child(i)->setText(
                1, TripAnalysis::distanceText(trackStats[i].distanceM, speedUnit));
            rootItem->child(i)->setText(2, TripAnalysis::durationText(trackStats[i].durationS));
        }
        for (int c = 0; c < treeWidget->columnCount(); ++c)
            treeWidget->resizeColumnToContents(c);
    }
    QStringList labels;
    QVector<TripStats> ticked;
    if (trackStats.size() == tracks->size())
        for (int i : checkedTrackIndexes()) {
            // Named in the time the window shows, like the figures beside it.
            labels << PointFormat::pointLabel(i, tracks->at(i).startTime, units->timeShown());
            ticked << trackStats[i];
        }
    statsTable->showStats(labels, ticked, *units);
}

void MapWidget::TreeWidgetItemChanged(QTreeWidgetItem *item, int)
{
    QTreeWidgetItem *parent = item->parent() ? item->parent() : item;
    const TimeShown shown = units->timeShown();

    emit googleMapOperator->deleteMarked();
    bool anyShown = false;
    for (int i = 0; i < parent->childCount(); ++i) {
        const Qt::CheckState state = parent->child(i)->checkState(0);
        if (state == Qt::Checked) {
            anyShown = true;
            emit googleMapOperator->showPolyline(i);
            if (i < markedPoints.size()) {
                // Newest first, as they always came: the last mark point is #0.
                const QVector<TrackPoint> &marks = markedPoints.at(i);
                int j = 0;
                for (auto it = marks.crbegin(); it != marks.crend(); ++it, ++j)
                    emit googleMapOperator->addMarker(
                        it->position.x, it->position.y,
                        PointFormat::markLabel(i, it->time, shown, j));
            }
        } else if (state == Qt::Unchecked) {
            emit googleMapOperator->clearPolyline(i);
        }
    }
    emit googleMapOperator->showMarked();
    // Tracks that come into view where none were are brought into view.
    if (anyShown && !linesShown && !keepView)
        emit googleMapOperator->fitTracks();
    linesShown = anyShown;
    refreshStatistics();

    const Qt::CheckState state = item->checkState(0);
    if (state == Qt::PartiallyChecked)
        return;
    if (item->childCount() > 0) {
        for (int i = 0; i < item->childCount(); ++i)
            item->child(i)->setCheckState(0, state);
    } else {
        updateParentCheckState(item);
    }
}

void MapWidget::TreeWidgetItemDoubleClicked(QTreeWidgetItem *item, int)
{
    stopPlayback();
    playStart = 0;
    rebuildPointList(-1.0f, -1);
    keepView = true;
    item->setCheckState(0, Qt::Checked);
    keepView = false;
}

void MapWidget::setNetworkSource(const MapSource &network)
{
    source = network;
    // The built-in attributions carry links; a user's text is shown as text.
    const bool builtIn = MapSources::builtIn().contains(network);
    emit googleMapOperator->setTileSource(
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
    emit googleMapOperator->setTileSource(
        QStringLiteral("%1:{z}/{x}/{y}?map=%2")
            .arg(QString::fromLatin1(MbTilesSchemeHandler::Scheme))
            .arg(++offlineMaps),
        (file->attribution.isEmpty() ? file->name : file->attribution).toHtmlEscaped(),
        file->minZoom, file->maxZoom, QString());
    if (!linesShown && !file->bounds.isEmpty())
        emit googleMapOperator->fitArea(file->bounds.top(), file->bounds.left(),
                                        file->bounds.bottom(), file->bounds.right());
    return true;
}

void MapWidget::setMapView(double lat, double lng, int zoom)
{
    emit googleMapOperator->setView(lat, lng, zoom);
}

void MapWidget::zoomToTracks()
{
    emit googleMapOperator->fitTracks();
}

void MapWidget::rebuildPointList(float threshold, int rule)
{
    refreshStatistics(); // the units may have changed
    pointModel->clear();
    profileView->setPoints({}, 0);
    playPoints.clear();

    QTreeWidgetItem *current = treeWidget->currentItem();
    if (!current)
        return;
    const int k = current->parent() ? current->parent()->indexOfChild(current)
                                    : treeWidget->indexOfTopLevelItem(current);
    if (k < 0 || k >= tracks->size())
        return;
    const Track &track = tracks->at(k);

    if (rule != 0) {
        // Kept in single precision: 10.1 km/h is 1010.0000610..., just above 1010.
        filterThreshold = threshold * 100.0f;
        filterRule = rule;
    }
    const double t = double(filterThreshold);
    QVector<TrackPoint> kept;
    if (filterRule == -1) {
        kept = track.points;
    } else {
        for (const TrackPoint &p : track.points) {
            const double speed = double(p.speed);
            bool keep = false;
            switch (filterRule) {
            case 1:
                keep = speed > t;
                break;
            case 2:
                keep = speed >= t;
                break;
            case 3:
                keep = speed == t;
                break;
            case 4:
                keep = speed < t;
                break;
            case 5:
                keep = speed <= t;
                break;
            case 6:
                keep = p.marked != 0;
                break;
            default:
                break;
            }
            if (keep)
                kept.append(p);
        }
    }
    playPoints = kept;
    fillPointList(playPoints, track.format);
}

void MapWidget::fillPointList(const QVector<TrackPoint> &points, int format)
{
    if (!points.isEmpty())
        emit googleMapOperator->setCenter(points.first().position.x, points.first().position.y);
    pointModel->setPoints(points, format);
    profileView->setPoints(points, format);
    for (int c = 0; c < pointModel->columnCount(); ++c)
        treeWidget_2->resizeColumnToContents(c);
}

void MapWidget::TreeWidget2ItemDoubleClicked(const QModelIndex &index)
{
    stopPlayback();
    playStart = 0;
    const int j = index.isValid() ? index.row() : treeWidget_2->currentIndex().row();
    if (j < 0 || j >= playPoints.size())
        return;
    playStart = j;
    const TrackPoint &p = playPoints.at(j);
    emit googleMapOperator->viewPoint(p.position.x, p.position.y,
                                      PointFormat::pointLabel(j, p.time, units->timeShown()));
}

void MapWidget::showPointAndSelectInfo(int index)
{
    if (index < 0 || index >= playPoints.size())
        return;
    const TrackPoint &p = playPoints.at(index);
    emit googleMapOperator->viewPoint(p.position.x, p.position.y,
                                      PointFormat::pointLabel(index, p.time, units->timeShown()));
    treeWidget_2->clearSelection();
    if (index < pointModel->rowCount()) {
        const QModelIndex row = pointModel->index(index, 0);
        treeWidget_2->selectionModel()->select(row, QItemSelectionModel::Select |
                                                        QItemSelectionModel::Rows);
        treeWidget_2->scrollTo(row);
    }
    playStart = index;
}

QList<int> MapWidget::checkedTrackIndexes() const
{
    QList<int> checked;
    if (!rootItem)
        return checked;
    for (int i = 0; i < rootItem->childCount(); ++i)
        if (rootItem->child(i)->checkState(0) == Qt::Checked)
            checked.append(i);
    return checked;
}

void MapWidget::startPlayback()
{
    delete playbackThread; // never running here: a run is stopped before the next starts
    playbackThread = new PlaybackThread;
    connect(playbackThread, &PlaybackThread::currentPoint, this, &MapWidget::showPointAndSelectInfo,
            Qt::QueuedConnection);
    // Only the current run's end counts: a stopped run's queued finish must not
    // turn Play back while the next run plays.
    const int run = ++playbackRun;
    connect(
        playbackThread, &QThread::finished, this,
        [this, run] {
            if (run == playbackRun)
                emit playThreadFinished();
        },
        Qt::QueuedConnection);
    connect(playbackThread, &PlaybackThread::playEnd, this, &MapWidget::playEnd,
            Qt::QueuedConnection);
    playbackThread->setCount(int(playPoints.size()));
    playbackThread->setStart(playStart);
    playbackThread->setSpeed(playSpeed);
    playbackThread->start();
}

void MapWidget::stopPlayback()
{
    playbackThread->stop();
}

void MapWidget::rewindPlayback()
{
    stopPlayback();
    playStart = 0;
    showPointAndSelectInfo(0);
}

void MapWidget::pickPoint(int row, bool clicked)
{
    // A click goes to the point as a double-click in the list does; passing over
    // the graph only moves the marker and the row, and leaves the map and a
    // running playback alone.
    if (clicked) {
        stopPlayback();
        showPointAndSelectInfo(row);
        return;
    }
    if (row < 0 || row >= playPoints.size() || row >= pointModel->rowCount())
        return;
    const TrackPoint &p = playPoints.at(row);
    emit googleMapOperator->markPoint(p.position.x, p.position.y,
                                      PointFormat::pointLabel(row, p.time, units->timeShown()));
    treeWidget_2->selectionModel()->select(
        pointModel->index(row, 0), QItemSelectionModel::ClearAndSelect | QItemSelectionModel::Rows);
    treeWidget_2->scrollTo(pointModel->index(row, 0));
}

void MapWidget::playEnd()
{
    playStart = 0;
}

void MapWidget::setSpeed(int speed)
{
    playSpeed = speed;
    playbackThread->setSpeed(speed);
}
