#ifndef TRACKFILEHEADERDIALOG_H
#define TRACKFILEHEADERDIALOG_H

#include "model/trackrecords.h"

#include <QDialog>
#include <QVector>

#include <functional>

class QLabel;
class QPushButton;
class QTreeWidget;
class QTreeWidgetItem;

// Lists the logger's tracks with their local start times for the user to
// tick; Apply gives one new empty Track per ticked track and their block
// indexes, in list order. With nothing ticked it says so and stays open.
class TrackFileHeaderDialog : public QDialog
{
    Q_OBJECT

public:
    TrackFileHeaderDialog(QVector<TrackFileHeader> headers, QWidget *parent = nullptr);

    QVector<Track> &tracks() { return chosenTracks; }
    QVector<int> &blockIndexes() { return chosenBlocks; }
    // The headers of the ticked tracks, in list order.
    const QVector<TrackFileHeader> &chosenHeaders() const { return chosen; }
    QTreeWidget *tree() const { return headerTree; }
    // Ticks the tracks `archived` says no to, and shows the others as in the library.
    void markArchived(const std::function<bool(const TrackFileHeader &)> &archived);
    // A listed track's start, UTC seconds.
    static quint32 startOf(const TrackFileHeader &header);

public slots:
    void Apply();
    void TreeWidgetItemChanged(QTreeWidgetItem *item, int column);

private:
    QTreeWidget *headerTree = nullptr;
    QTreeWidgetItem *rootItem = nullptr;
    QLabel *hint = nullptr; // shown when Apply finds nothing ticked
    QPushButton *closeButton = nullptr;
    QPushButton *applyButton = nullptr;
    QVector<TrackFileHeader> headers;
    QVector<Track> chosenTracks;
    QVector<int> chosenBlocks;
    QVector<TrackFileHeader> chosen;
};

#endif // TRACKFILEHEADERDIALOG_H
