#include "view/tracktree.h"

#include "analysis/colourvalues.h"
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
#include <cmath>

namespace {

struct LegendTexts
{
    QString title, lo, hi, missing;
};

// The legend in the units shown: its title, its ends and what grey stands for.
LegendTexts legendTexts(ColourBy by, double lo, double hi, const DisplayUnits &units)
{
    const auto number = [](double v, int decimals) { return QString::number(v, 'f', decimals); };
    const bool miles = units.speedUnit() == SpeedUnit::Mph;
    const bool feet = units.heightUnit() == HeightUnit::Feet;
    switch (by) {
    case ColourBy::Speed: {
        const double f = miles ? 1 / Units::KmPerMile : 1;
        return {miles ? TrackTree::tr("Speed (mph)") : TrackTree::tr("Speed (km/h)"),
                number(lo * f, 1), number(hi * f, 1), TrackTree::tr("no speed")};
    }
    case ColourBy::Altitude: {
        const double f = feet ? Units::FeetPerMetre : 1;
        return {feet ? TrackTree::tr("Altitude (ft)") : TrackTree::tr("Altitude (m)"),
                number(lo * f, 0), number(hi * f, 0), TrackTree::tr("no altitude")};
    }
    case ColourBy::Slope:
        return {TrackTree::tr("Slope (%)"), number(lo, 1), number(hi, 1),
                TrackTree::tr("no slope")};
    case ColourBy::Time: {
        const auto clock = [](double s) {
            const qint64 m = qint64(std::llround(s / 60));
            return QStringLiteral("%1:%2").arg(m / 60).arg(m % 60, 2, 10, QLatin1Char('0'));
        };
        return {TrackTree::tr("Time since the start (h:mm)"), clock(lo), clock(hi),
                TrackTree::tr("no time")};
    }
    case ColourBy::Track:
        break;
    }
    return {};
}

} // namespace

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
        label(rootItem->child(i), i);
    tree->resizeColumnToContents(0);
    // The marks' texts and the legend follow the time and the units.
    if (labelsFor != units->timeShown())
        marksSent.fill(false, int(tracks->size()));
    if (rootItem)
        drawTicked(rootItem);
}

void TrackTree::label(QTreeWidgetItem *item, int i) const
{
    // A named track shows its name beside its start; its description is in the tool tip.
    const Track &track = tracks->at(i);
    const QString start = PointFormat::trackLabel(track.startTime, i, units->timeShown());
    item->setText(0,
                  track.name.isEmpty() ? start : QStringLiteral("%1  %2").arg(start, track.name));
    QStringList tip;
    if (!track.description.isEmpty())
        tip << track.description;
    if (track.isIncomplete()) // a download that stopped early must not pass for whole
        tip << tr("incomplete: %1 points in %2 of %3 blocks")
                   .arg(QLocale().toString(track.points.size()))
                   .arg(track.blocksReceived)
                   .arg(track.blocksListed);
    item->setToolTip(0, tip.join(QLatin1Char('\n')));
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

void TrackTree::setWaypoints(const QVector<Waypoint> &newPlaces, const QStringList &files)
{
    places = newPlaces;
    placeFiles = files;
    ++changing;
    qDeleteAll(groups);
    groups.clear();
    addWaypoints();
    --changing;
}

void TrackTree::addWaypoints()
{
    // A group per file, after the tracks, in the order the files were opened.
    QTreeWidgetItem *group = nullptr;
    for (int i = 0; i < places.size(); ++i) {
        const QString file = placeFiles.value(i);
        if (!group || (i > 0 && file != placeFiles.value(i - 1))) {
            group = new QTreeWidgetItem;
            group->setFlags(Qt::ItemIsEnabled);
            tree->addTopLevelItem(group);
            groups.append(group);
        }
        const Waypoint &w = places[i];
        auto *item = new QTreeWidgetItem(group);
        item->setText(0, w.name.isEmpty() ? tr("(no name)") : w.name);
        item->setToolTip(0, w.description);
        item->setFlags(Qt::ItemIsSelectable | Qt::ItemIsEnabled);
        item->setData(0, Qt::UserRole, i);
        group->setText(0, tr("%1: waypoints (%2)").arg(file).arg(group->childCount()));
    }
}

bool TrackTree::isWaypointItem(const QTreeWidgetItem *item) const
{
    return item && (groups.contains(const_cast<QTreeWidgetItem *>(item)) ||
                    (item->parent() && groups.contains(item->parent())));
}

const Waypoint *TrackTree::waypointOf(const QTreeWidgetItem *item) const
{
    if (!item || !item->parent() || !groups.contains(item->parent()))
        return nullptr;
    const int k = item->data(0, Qt::UserRole).toInt();
    return k >= 0 && k < places.size() ? &places[k] : nullptr;
}

void TrackTree::rebuild(const QList<int> &ticked, bool keepMapView)
{
    ++changing; // the ticks set here are drawn once, below
    tree->clear();
    map->deleteAllObject();
    markedPoints.clear();
    labels.clear();
    marksSent.fill(false, int(tracks->size()));
    values.clear();
    values.resize(tracks->size());
    valuesSent.fill(false, int(tracks->size()));
    linesShown = false;
    groups.clear(); // cleared with the tree
    addRoot();
    markedPoints.resize(tracks->size());
    for (int i = 0; i < tracks->size(); ++i) {
        const Track &track = tracks->at(i);
        map->setTrack(i, track, TrackColours::of(i));
        auto *item = new QTreeWidgetItem(rootItem);
        label(item, i);
        item->setFlags(Qt::ItemIsSelectable | Qt::ItemIsUserCheckable | Qt::ItemIsEnabled);
        item->setCheckState(0, ticked.contains(i) ? Qt::Checked : Qt::Unchecked);
        item->setIcon(0, swatch(i, track.isIncomplete()));
        for (const TrackPoint &p : track.points)
            if (p.marked != 0)
                markedPoints[i].append(p);
    }
    addWaypoints();
    --changing;
    if (ticked.isEmpty() || rootItem->childCount() == 0)
        return;
    updateParentCheckState(rootItem->child(0));
    keepView = keepMapView;
    drawTicked(rootItem);
    keepView = false;
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
    if (!current || isWaypointItem(current))
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
        map->fitLines(ticked);
    linesShown = !ticked.isEmpty();

    // A track's marks and values travel the first time it is shown, then stay on the page.
    for (int i = 0; i < parent->childCount() && i < tracks->size(); ++i) {
        if (parent->child(i)->checkState(0) != Qt::Checked) {
            map->hideTrack(i);
            continue;
        }
        if (!marksSent[i] && !markedPoints[i].isEmpty())
            map->setMarks(i, markedPoints[i], markLabels(i));
        marksSent[i] = true;
        if (colourBy != ColourBy::Track && !valuesSent[i])
            map->setTrackValues(i, valuesOf(i));
        valuesSent[i] = colourBy != ColourBy::Track;
        map->showTrack(i);
    }
    sendColouring();
}

const std::vector<double> &TrackTree::valuesOf(int track)
{
    if (values[track].empty())
        values[track] = ColourValues::of(tracks->at(track), colourBy);
    return values[track];
}

void TrackTree::setColouring(ColourBy by, std::optional<std::pair<double, double>> fixed)
{
    if (by != colourBy) {
        colourBy = by;
        values.clear();
        values.resize(tracks->size());
        valuesSent.fill(false, int(tracks->size()));
    }
    fixedRange = fixed;
    if (rootItem)
        drawTicked(rootItem);
}

void TrackTree::sendColouring()
{
    if (colourBy == ColourBy::Track) {
        map->setColouring(ColourValues::key(colourBy), 0, 1, QString(), QString(), QString(),
                          QString());
        return;
    }
    // One scale for all the ticked tracks, so days compare.
    std::vector<const std::vector<double> *> shown;
    for (int i : checkedTrackIndexes())
        shown.push_back(&valuesOf(i));
    const auto range = fixedRange ? fixedRange : ColourValues::range(shown);
    const double lo = range ? range->first : 0, hi = range ? range->second : 1;
    const LegendTexts t = legendTexts(colourBy, lo, hi, *units);
    map->setColouring(ColourValues::key(colourBy), lo, hi, t.title, range ? t.lo : QString(),
                      range ? t.hi : QString(), t.missing);
}

const QStringList &TrackTree::markLabels(int track)
{
    // Made once per track and time shown: a logger's marks are ticked and unticked often.
    const TimeShown shown = units->timeShown();
    if (labelsFor != shown) {
        labels.clear();
        labelsFor = shown;
        marksSent.fill(false, int(tracks->size()));
    }
    labels.resize(markedPoints.size());
    QStringList &made = labels[track];
    const QVector<TrackPoint> &marks = markedPoints[track];
    if (made.size() != marks.size()) {
        QVector<quint32> times;
        for (const TrackPoint &p : marks)
            times << p.time;
        // Numbered as the point list and the saved waypoints count them: from 1, in time order.
        made = PointFormat::markLabels(track, times, shown, 1, 1);
    }
    return made;
}

void TrackTree::onItemChanged(QTreeWidgetItem *item)
{
    if (isWaypointItem(item))
        return; // places are not ticked
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
