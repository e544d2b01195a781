#ifndef LIBRARYWINDOW_H
#define LIBRARYWINDOW_H

#include <QDialog>
#include <QStringList>

class DisplayUnits;
class QLabel;
class QLineEdit;
class QTableWidget;
class QTableWidgetItem;
class QTreeWidget;
class TrackLibrary;

// View → Library: the library's tracks in a table that sorts by any column and filters by
// any text, the totals of the rows shown and per month and year. Names and notes are edited
// in place (written to the index and the track's file); Open, or a double-click, opens the
// selected tracks in the window. The files stay where they are.
class LibraryWindow : public QDialog
{
    Q_OBJECT

public:
    LibraryWindow(TrackLibrary *library, const DisplayUnits *units, QWidget *parent = nullptr);

    // Fills the table again from the library (after a download archived tracks).
    void refresh();

signals:
    // The files (full paths) to open in the window.
    void openRequested(const QStringList &files);

private:
    void applyFilter();
    void showTotals();
    void textEdited(QTableWidgetItem *item);
    void openSelected();

    TrackLibrary *library;
    const DisplayUnits *units;
    QLineEdit *filter = nullptr;
    QTableWidget *table = nullptr;
    QLabel *totals = nullptr;
    QTreeWidget *periods = nullptr;
    bool filling = false;
};

#endif // LIBRARYWINDOW_H
