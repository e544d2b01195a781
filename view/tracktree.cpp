#include "view/tracktree.h"

#include "model/units.h"
#include "view/googlemapoperator.h"
#include "view/pointformat.h"
#include "view/trackcolours.h"
#include "view/treecheckstate.h"

#include <QJsonArray>
#include <QLocale>
#include <QPainter>
#include <QSignalBlocker>
#include <QStyle>
#include <QTreeWidget>

TrackTree::TrackTree(QTreeWidget *tree, const QVector<Track> *tracks, const DisplayUnits *units,
                     GoogleMapOperator *map, QObject *parent)
    : QObject(parent), tree(tree), tracks(tracks), units(units), map(map)
{
    tree->setColumnCount(3);
    tree->setHeaderLabels(QStringList{QString(), tr("Distance"), tr("Duration")});
    tree->setIconSize(QSize(32, 16)); // a colour swatch, and room for a warning
    addRoot();
    connect(tree, &QTreeWidget::itemChanged, this, &TrackTree::onItemChanged);
}

void TrackTree::relabel()
{
    const QSignalBlocker quiet(tree); // no check change
    for (int i = 0; rootItem && i < rootItem->childCount() && i < tracks->size(); ++i)
        rootItem->child(i)->setText(
            0, PointFormat::trackLabel(tracks->at(i).startTime, i, units->timeShown()));
    tree->resizeColumnToContents(0);
}

QIcon TrackTree::swatch(int track, bool incomplete) const
{
    // The line's colour beside the track; a warning after it for a download that stopped.
    const int side = tree->iconSize().height();
    QPixmap pixmap(tree->iconSize());
    pixmap.fill(Qt::transparent);
    QPainter painter(&pixmap);
    painter.setRenderHint(QPainter::Antialiasing);
    painter.setPen(QPen(QColor(0x20, 0x20, 0x20), 1));
    painter.setBrush(TrackColours::of(track));
    painter.drawRoundedRect(QRectF(2.5, 2.5, side - 5, side - 5), 2, 2);
    if (incomplete)
        painter.drawPixmap(side, 0,
                           tree->style()->standardIcon(QStyle::SP_MessageBoxWarning).pixmap(side));
    return QIcon(pixmap);
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

void TrackTree::rebuild(const QList<int> &ticked)
{
    ++changing; // the ticks set here are drawn once, below
    tree->clear();
    emit map->deleteAllObject();
    markedPoints.clear();
    labels.clear();
    linesShown = false;
    addRoot();
    markedPoints.resize(tracks->size());
    for (int i = 0; i < tracks->size(); ++i) {
        const Track &track = tracks->at(i);
        emit map->addPolyline();
        auto *item = new QTreeWidgetItem(rootItem);
        item->setText(0, PointFormat::trackLabel(track.startTime, i, units->timeShown()));
        item->setFlags(Qt::ItemIsSelectable | Qt::ItemIsUserCheckable | Qt::ItemIsEnabled);
        item->setCheckState(0, ticked.contains(i) ? Qt::Checked : Qt::Unchecked);
        item->setIcon(0, swatch(i, track.isIncomplete()));
        if (track.isIncomplete()) {
            // A download that stopped early: the track must not pass for whole.
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
    --changing;
    if (ticked.isEmpty() || rootItem->childCount() == 0)
        return;
    updateParentCheckState(rootItem->child(0));
    drawTicked(rootItem);
    emit ticksChanged();
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
        rootItem->child(i)->setText(2, stats[i].hasTime
                                           ? TripAnalysis::durationText(stats[i].durationS)
                                           : QStringLiteral("\u2013"));
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
    // Tracks that come into view where none were are brought into view, the view set before
    // they are drawn, so they are drawn once.
    QJsonArray ticked;
    for (int i = 0; i < parent->childCount(); ++i)
        if (parent->child(i)->checkState(0) == Qt::Checked)
            ticked.append(i);
    if (!ticked.isEmpty() && !linesShown && !keepView)
        emit map->fitLines(ticked);
    linesShown = !ticked.isEmpty();

    emit map->deleteMarked();
    for (int i = 0; i < parent->childCount(); ++i) {
        const Qt::CheckState state = parent->child(i)->checkState(0);
        if (state == Qt::Unchecked)
            emit map->clearPolyline(i);
        if (state != Qt::Checked)
            continue;
        emit map->showPolyline(i);
        // Newest first, as they always came: the last mark point is #0.
        const QVector<TrackPoint> &marks = markedPoints.value(i);
        const QStringList &labels = markLabels(i);
        int j = 0;
        for (auto it = marks.crbegin(); it != marks.crend(); ++it, ++j)
            emit map->addMarker(it->position.x, it->position.y, labels[j]);
    }
    emit map->showMarked();
}

const QStringList &TrackTree::markLabels(int track)
{
    // Made once per track and time shown: a logger's marks are ticked and unticked often.
    const TimeShown shown = units->timeShown();
    if (labelsFor != shown) {
        labels.clear();
        labelsFor = shown;
    }
    labels.resize(markedPoints.size());
    QStringList &made = labels[track];
    const QVector<TrackPoint> &marks = markedPoints[track];
    if (made.size() != marks.size()) {
        QVector<quint32> times;
        for (auto it = marks.crbegin(); it != marks.crend(); ++it)
            times << it->time;
        // Numbered as the point list and the saved waypoints count them: from 1, in time
        // order (they go to the map newest first).
        made = PointFormat::markLabels(track, times, shown, int(times.size()), -1);
    }
    return made;
}

void TrackTree::onItemChanged(QTreeWidgetItem *item)
{
    // A tick spreads to the children or the root, each change coming back here; the map is
    // drawn once, when the outermost change is done, whatever the number of tracks.
    ++changing;
    const Qt::CheckState state = item->checkState(0);
    if (state != Qt::PartiallyChecked && item->childCount() > 0) {
        for (int i = 0; i < item->childCount(); ++i)
            item->child(i)->setCheckState(0, state);
    } else if (state != Qt::PartiallyChecked) {
        updateParentCheckState(item);
    }
    if (--changing > 0)
        return;
    drawTicked(rootItem);
    emit ticksChanged();
}
