#include "app/trackfileheaderdialog.h"

#include "model/conversions.h"
#include "view/treecheckstate.h"

#include <QDateTime>
#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QTreeWidget>
#include <QVBoxLayout>

TrackFileHeaderDialog::TrackFileHeaderDialog(QVector<TrackFileHeader> list, QWidget *parent)
    : QDialog(parent), headers(std::move(list))
{
    applyButton = new QPushButton(tr("Apply"));
    closeButton = new QPushButton(tr("Close"));
    headerTree = new QTreeWidget;

    hint = new QLabel(tr("Tick the tracks to download."));
    hint->setObjectName(QStringLiteral("hint"));
    hint->hide();

    auto *buttons = new QHBoxLayout;
    buttons->addWidget(applyButton);
    buttons->addWidget(closeButton);
    auto *layout = new QVBoxLayout;
    layout->addWidget(headerTree);
    layout->addWidget(hint);
    layout->addLayout(buttons);
    setLayout(layout);
    layout->setSizeConstraint(QLayout::SetFixedSize);

    headerTree->setColumnCount(2);
    headerTree->setHeaderLabels(QStringList{tr("Selection"), tr("Track Files")});
    headerTree->setSelectionMode(QAbstractItemView::ExtendedSelection);

    rootItem = new QTreeWidgetItem(headerTree);
    rootItem->setText(0, QString());
    rootItem->setText(1, tr("LX-300 files"));
    rootItem->setFlags(Qt::ItemIsEnabled | Qt::ItemIsUserCheckable);
    rootItem->setCheckState(0, Qt::Unchecked);

    int n = 1;
    for (const TrackFileHeader &header : qAsConst(headers)) {
        // Shown in the computer's local time, whatever the window's time setting.
        const QString start = QDateTime::fromSecsSinceEpoch(qint64(startOf(header)), Qt::LocalTime)
                                  .toString(QStringLiteral("yyyy-MM-dd - hh:mm:ss"));
        auto *item = new QTreeWidgetItem(rootItem);
        item->setText(0, QString::number(n++));
        item->setText(1, start);
        item->setFlags(Qt::ItemIsEnabled | Qt::ItemIsUserCheckable);
        item->setCheckState(0, Qt::Unchecked);
    }
    rootItem->setExpanded(true);
    if (headers.isEmpty()) { // nothing to tick: say why, not "Tick the tracks"
        hint->setText(tr("The logger holds no tracks."));
        hint->show();
        applyButton->setEnabled(false);
    }

    connect(applyButton, &QPushButton::clicked, this, &TrackFileHeaderDialog::Apply);
    connect(closeButton, &QPushButton::clicked, this, &QDialog::reject);
    connect(headerTree, &QTreeWidget::itemChanged, this,
            &TrackFileHeaderDialog::TreeWidgetItemChanged);
    headerTree->resizeColumnToContents(0);
    headerTree->resizeColumnToContents(1);
}

void TrackFileHeaderDialog::markArchived(
    const std::function<bool(const TrackFileHeader &)> &archived)
{
    for (int i = 0; i < rootItem->childCount() && i < headers.size(); ++i) {
        QTreeWidgetItem *item = rootItem->child(i);
        const bool in = archived(headers[i]);
        if (in)
            item->setText(1, item->text(1) + tr(" (in the library)"));
        item->setCheckState(0, in ? Qt::Unchecked : Qt::Checked);
    }
    headerTree->resizeColumnToContents(1);
}

quint32 TrackFileHeaderDialog::startOf(const TrackFileHeader &header)
{
    return packedDateTimeToEpoch(header.date, header.time);
}

void TrackFileHeaderDialog::TreeWidgetItemChanged(QTreeWidgetItem *item, int)
{
    const Qt::CheckState state = item->checkState(0);
    if (state == Qt::PartiallyChecked)
        return;
    if (item->childCount() > 0) {
        for (int i = 0; i < item->childCount(); ++i)
            item->child(i)->setCheckState(0, state);
        return;
    }
    updateParentCheckState(item);
}

void TrackFileHeaderDialog::Apply()
{
    chosenTracks.clear();
    chosenBlocks.clear();
    chosen.clear();
    for (int i = 0; i < rootItem->childCount() && i < headers.size(); ++i) {
        if (rootItem->child(i)->checkState(0) != Qt::Checked)
            continue;
        Track track;
        track.startTime = startOf(headers.at(i));
        track.format = 0; // set by the track's first block
        track.blocksListed = int(headers.at(i).blockIndexes.size());
        chosenTracks.append(track);
        chosenBlocks += headers.at(i).blockIndexes;
        chosen.append(headers.at(i));
    }
    // Nothing to download: the list stays for the user to tick.
    if (chosenTracks.isEmpty()) {
        hint->show();
        return;
    }
    accept();
}
