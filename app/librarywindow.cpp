#include "app/librarywindow.h"

#include "analysis/tripstats.h"
#include "library/tracklibrary.h"
#include "model/units.h"

#include <QDateTime>
#include <QDir>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QMap>
#include <QMessageBox>
#include <QPushButton>
#include <QSplitter>
#include <QTableWidget>
#include <QTreeWidget>
#include <QVBoxLayout>

namespace {

enum Column
{
    DateColumn,
    NameColumn,
    NoteColumn,
    DistanceColumn,
    DurationColumn,
    MovingColumn,
    AscentColumn,
    PointsColumn,
    FileColumn,
    Columns
};

constexpr int SortRole = Qt::UserRole;
constexpr int EntryRole = Qt::UserRole + 1; // on the date cell: the entry's index

// Sorts by the number behind the text where there is one.
class Cell : public QTableWidgetItem
{
public:
    Cell(const QString &text, const QVariant &key) : QTableWidgetItem(text)
    {
        setData(SortRole, key);
        setFlags(flags() & ~Qt::ItemIsEditable);
    }
    bool operator<(const QTableWidgetItem &other) const override
    {
        const QVariant a = data(SortRole), b = other.data(SortRole);
        if (a.typeId() == QMetaType::QString || b.typeId() == QMetaType::QString)
            return text().localeAwareCompare(other.text()) < 0;
        return a.toDouble() < b.toDouble();
    }
};

struct Sums
{
    int tracks = 0;
    double distanceM = 0;
    qint64 durationS = 0, movingS = 0;
    double ascentM = 0;
    void add(const TrackLibrary::Entry &e)
    {
        ++tracks;
        distanceM += e.distanceM;
        durationS += e.durationS;
        movingS += e.movingTimeS;
        ascentM += e.ascentM;
    }
};

} // namespace

LibraryWindow::LibraryWindow(TrackLibrary *library, const DisplayUnits *units, QWidget *parent)
    : QDialog(parent), library(library), units(units)
{
    setObjectName(QStringLiteral("libraryWindow"));
    setWindowTitle(tr("Track library — %1").arg(QDir::toNativeSeparators(library->folder())));
    filter = new QLineEdit;
    filter->setObjectName(QStringLiteral("libraryFilter"));
    filter->setPlaceholderText(tr("Filter: a date, a name or a word of a note"));
    filter->setClearButtonEnabled(true);
    table = new QTableWidget(0, Columns);
    table->setObjectName(QStringLiteral("libraryTable"));
    table->setHorizontalHeaderLabels({tr("Date"), tr("Name"), tr("Note"), tr("Distance"),
                                      tr("Duration"), tr("Moving"), tr("Ascent"), tr("Points"),
                                      tr("File")});
    table->setSelectionBehavior(QAbstractItemView::SelectRows);
    table->setEditTriggers(QAbstractItemView::DoubleClicked | QAbstractItemView::EditKeyPressed);
    table->verticalHeader()->hide();
    table->horizontalHeader()->setStretchLastSection(true);
    totals = new QLabel;
    totals->setObjectName(QStringLiteral("libraryTotals"));
    periods = new QTreeWidget;
    periods->setObjectName(QStringLiteral("libraryPeriods"));
    periods->setHeaderLabels({tr("Year / month"), tr("Tracks"), tr("Distance"), tr("Duration")});
    auto *open = new QPushButton(tr("&Open in the window"));
    open->setObjectName(QStringLiteral("libraryOpen"));
    auto *close = new QPushButton(tr("Close"));
    auto *splitter = new QSplitter(Qt::Vertical);
    splitter->addWidget(table);
    splitter->addWidget(periods);
    splitter->setStretchFactor(0, 3);
    splitter->setStretchFactor(1, 1);
    auto *buttons = new QHBoxLayout;
    buttons->addWidget(totals, 1);
    buttons->addWidget(open);
    buttons->addWidget(close);
    auto *layout = new QVBoxLayout(this);
    layout->addWidget(filter);
    layout->addWidget(splitter, 1);
    layout->addLayout(buttons);
    resize(900, 600);

    connect(filter, &QLineEdit::textChanged, this, &LibraryWindow::applyFilter);
    connect(table, &QTableWidget::itemChanged, this, &LibraryWindow::textEdited);
    // A double-click on a name or note edits it; elsewhere it opens the track.
    connect(table, &QTableWidget::cellDoubleClicked, this, [this](int, int column) {
        if (column != NameColumn && column != NoteColumn)
            openSelected();
    });
    connect(open, &QPushButton::clicked, this, &LibraryWindow::openSelected);
    connect(close, &QPushButton::clicked, this, &QDialog::close);
    refresh();
}

void LibraryWindow::refresh()
{
    filling = true;
    table->setSortingEnabled(false);
    const QVector<TrackLibrary::Entry> &entries = library->entries();
    table->setRowCount(int(entries.size()));
    const SpeedUnit speed = units->speedUnit();
    const HeightUnit height = units->heightUnit();
    const auto zone = units->timeShown() == TimeShown::Utc ? Qt::UTC : Qt::LocalTime;
    for (int r = 0; r < entries.size(); ++r) {
        const TrackLibrary::Entry &e = entries[r];
        const QString date = e.start ? QDateTime::fromSecsSinceEpoch(e.start, zone)
                                           .toString(QStringLiteral("yyyy-MM-dd hh:mm"))
                                     : (e.damaged ? tr("damaged") : tr("no time"));
        auto *first = new Cell(date, double(e.start));
        first->setData(EntryRole, r);
        table->setItem(r, DateColumn, first);
        for (const auto &[column, text] :
             {std::pair(NameColumn, e.name), std::pair(NoteColumn, e.note)}) {
            auto *cell = new Cell(text, text);
            if (!e.damaged)
                cell->setFlags(cell->flags() | Qt::ItemIsEditable);
            table->setItem(r, column, cell);
        }
        table->setItem(r, DistanceColumn,
                       new Cell(TripAnalysis::distanceText(e.distanceM, speed), e.distanceM));
        table->setItem(r, DurationColumn,
                       new Cell(TripAnalysis::durationText(e.durationS), double(e.durationS)));
        table->setItem(r, MovingColumn,
                       new Cell(TripAnalysis::durationText(e.movingTimeS), double(e.movingTimeS)));
        table->setItem(r, AscentColumn,
                       new Cell(e.hasAltitude ? TripAnalysis::heightText(e.ascentM, height)
                                              : QStringLiteral("-"),
                                e.ascentM));
        table->setItem(r, PointsColumn, new Cell(QLocale().toString(e.points), double(e.points)));
        table->setItem(r, FileColumn, new Cell(e.file, e.file));
    }
    table->setSortingEnabled(true);
    table->resizeColumnsToContents();
    filling = false;
    applyFilter();
}

void LibraryWindow::applyFilter()
{
    const QString words = filter->text().trimmed();
    for (int r = 0; r < table->rowCount(); ++r) {
        bool match = words.isEmpty();
        for (int c : {DateColumn, NameColumn, NoteColumn, FileColumn})
            match = match || table->item(r, c)->text().contains(words, Qt::CaseInsensitive);
        table->setRowHidden(r, !match);
    }
    showTotals();
}

void LibraryWindow::showTotals()
{
    // The rows shown: in all, and per year and month of their start.
    Sums all;
    QMap<QString, QMap<QString, Sums>> byMonth;
    const auto zone = units->timeShown() == TimeShown::Utc ? Qt::UTC : Qt::LocalTime;
    for (int r = 0; r < table->rowCount(); ++r) {
        if (table->isRowHidden(r))
            continue;
        const TrackLibrary::Entry &e =
            library->entries()[table->item(r, DateColumn)->data(EntryRole).toInt()];
        all.add(e);
        const QDate day = QDateTime::fromSecsSinceEpoch(e.start, zone).date();
        const QString year = e.start ? QString::number(day.year()) : tr("no time");
        byMonth[year][e.start ? day.toString(QStringLiteral("yyyy-MM")) : year].add(e);
    }
    const SpeedUnit speed = units->speedUnit();
    totals->setText(tr("%n tracks shown: %1, %2 (moving %3)", nullptr, all.tracks)
                        .arg(TripAnalysis::distanceText(all.distanceM, speed),
                             TripAnalysis::durationText(all.durationS),
                             TripAnalysis::durationText(all.movingS)));
    periods->clear();
    const auto row = [&speed](QTreeWidgetItem *item, const QString &label, const Sums &s) {
        item->setText(0, label);
        item->setText(1, QString::number(s.tracks));
        item->setText(2, TripAnalysis::distanceText(s.distanceM, speed));
        item->setText(3, TripAnalysis::durationText(s.durationS));
    };
    for (auto y = byMonth.cbegin(); y != byMonth.cend(); ++y) {
        Sums year;
        auto *yearItem = new QTreeWidgetItem(periods);
        for (auto m = y->cbegin(); m != y->cend(); ++m) {
            row(new QTreeWidgetItem(yearItem), m.key(), m.value());
            year.tracks += m->tracks;
            year.distanceM += m->distanceM;
            year.durationS += m->durationS;
        }
        row(yearItem, y.key(), year);
    }
    periods->expandAll();
    for (int c = 0; c < 4; ++c)
        periods->resizeColumnToContents(c);
}

void LibraryWindow::textEdited(QTableWidgetItem *item)
{
    if (filling || (item->column() != NameColumn && item->column() != NoteColumn))
        return;
    const int r = item->row();
    const TrackLibrary::Entry e =
        library->entries()[table->item(r, DateColumn)->data(EntryRole).toInt()];
    const QString name = table->item(r, NameColumn)->text();
    const QString note = table->item(r, NoteColumn)->text();
    if (!library->setText(e.file, name, note)) {
        QMessageBox::warning(this, QString(),
                             tr("The name could not be kept: %1").arg(library->errorString()));
        filling = true;
        table->item(r, NameColumn)->setText(e.name);
        table->item(r, NoteColumn)->setText(e.note);
        filling = false;
    }
}

void LibraryWindow::openSelected()
{
    QStringList files;
    for (const QModelIndex &row : table->selectionModel()->selectedRows()) {
        const TrackLibrary::Entry &e =
            library->entries()[table->item(row.row(), DateColumn)->data(EntryRole).toInt()];
        if (!e.damaged)
            files << library->folder() + QLatin1Char('/') + e.file;
    }
    if (!files.isEmpty())
        emit openRequested(files);
}
