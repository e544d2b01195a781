#include "view/tracktree.h"

#include "model/units.h"
#include "view/googlemapoperator.h"
#include "view/pointformat.h"
#include "view/treecheckstate.h"

#include <QLocale>
#include <QSignalBlocker>
#include <QStyle>
#include <QTreeWidget>

TrackTree::TrackTree(QTreeWidget *tree, const QVector<Track> *tracks, const DisplayUnits *units,
                     GoogleMapOperator *map, QObject *parent)
    : QObject(parent), tree(tree), tracks(tracks), units(units), map(map)
{
    tree->setColumnCount(3);
    tree->setHeaderLabels(QStringList{QString(), tr("Distance"), tr("Duration")});
    addRoot();
    connect(tree, &QTreeWidget::itemChanged, this, &TrackTree::onItemChanged);
}

QString TrackTree::trackLabel(quint32 startTime, int index)
{
    return PointFormat::trackLabel(startTime, index);
}

void TrackTree::addRoot()
{
    rootItem = new QTreeWidgetItem;
    rootItem->setText(0, QStringLiteral("LX-300 Data Logger"));
    rootItem->setFlags(Qt::ItemIsUserCheckable | Qt::ItemIsEnabled);
    rootItem->setCheckState(0, Qt::Unchecked);
    tree->addTopLevelItem(rootItem);
    rootItem->setExpanded(true);
}

void TrackTree::rebuild()
{
    tree->clear();
    emit map->deleteAllObject();
    markedPoints.clear();
    linesShown = false;
    addRoot();
    markedPoints.resize(tracks->size());
    for (int i = 0; i < tracks->size(); ++i) {
        const Track &track = tracks->at(i);
        emit map->addPolyline();
        auto *item = new QTreeWidgetItem(rootItem);
        item->setText(0, trackLabel(track.startTime, i));
        item->setFlags(Qt::ItemIsSelectable | Qt::ItemIsUserCheckable | Qt::ItemIsEnabled);
        item->setCheckState(0, Qt::Unchecked);
        if (track.isIncomplete()) {
            // A download that stopped early: the track must not pass for whole.
            item->setIcon(0, tree->style()->standardIcon(QStyle::SP_MessageBoxWarning));
            item->setToolTip(0, tr("incomplete: %1 points in %2 of %3 blocks")
                                    .arg(QLocale().toString(track.points.size()))
                                    .arg(track.blocksReceived)
                                    .arg(track.blocksListed));
        }
        for (const TrackPoint &p : track.points) {
            if (p.marked != 0)
                markedPoints[i].append(p);
            emit map->addLatLng(p.position.x, p.position.y, i);
        }
    }
}

void TrackTree::showFigures(const QVector<TripStats> &stats)
{
    if (!rootItem || stats.size() != rootItem->childCount())
        return;
    // Texts set here must not come back as check changes.
    const QSignalBlocker quiet(tree);
    for (int i = 0; i < rootItem->childCount(); ++i) {
        rootItem->child(i)->setText(
            1, TripAnalysis::distanceText(stats[i].distanceM, units->speedUnit()));
        rootItem->child(i)->setText(2, TripAnalysis::durationText(stats[i].durationS));
    }
    for (int c = 0; c < tree->columnCount(); ++c)
        tree->resizeColumnToContents(c);
}

QList<int> TrackTree::checkedTrackIndexes() const
{
    QList<int> checked;
    for (int i = 0; rootItem && i < rootItem->childCount(); ++i)
        if (rootItem->child(i)->checkState(0) == Qt::Checked)
            checked.append(i);
    return checked;
}

int TrackTree::currentTrackIndex() const
{
    QTreeWidgetItem *current = tree->currentItem();
    if (!current)
        return -1;
    const int k = current->parent() ? current->parent()->indexOfChild(current)
                                    : tree->indexOfTopLevelItem(current);
    return k < tracks->size() ? k : -1;
}

void TrackTree::tickKeepingView(QTreeWidgetItem *item)
{
    keepView = true;
    item->setCheckState(0, Qt::Checked);
    keepView = false;
}

void TrackTree::drawTicked(QTreeWidgetItem *parent)
{
    const TimeShown shown = units->timeShown();
    emit map->deleteMarked();
    bool anyShown = false;
    for (int i = 0; i < parent->childCount(); ++i) {
        const Qt::CheckState state = parent->child(i)->checkState(0);
        if (state == Qt::Unchecked)
            emit map->clearPolyline(i);
        if (state != Qt::Checked)
            continue;
        anyShown = true;
        emit map->showPolyline(i);
        // Newest first, as they always came: the last mark point is #0.
        const QVector<TrackPoint> &marks = markedPoints.value(i);
        int j = 0;
        for (auto it = marks.crbegin(); it != marks.crend(); ++it, ++j)
            emit map->addMarker(it->position.x, it->position.y,
                                PointFormat::markLabel(i, it->time, shown, j));
    }
    emit map->showMarked();
    // Tracks that come into view where none were are brought into view.
    if (anyShown && !linesShown && !keepView)
        emit map->fitTracks();
    linesShown = anyShown;
}

void TrackTree::onItemChanged(QTreeWidgetItem *item)
{
    drawTicked(item->parent() ? item->parent() : item);
    emit ticksChanged();
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
