#ifndef MAPSOURCESDIALOG_H
#define MAPSOURCESDIALOG_H

#include "view/mapsource.h"

#include <QDialog>

class QLineEdit;
class QListWidget;
class QSpinBox;

// Adds, edits and removes the user's tile sources. A source is kept only when
// its URL template has {z}, {x} and {y} and it names its attribution.
class MapSourcesDialog : public QDialog
{
    Q_OBJECT

public:
    explicit MapSourcesDialog(const QList<MapSource> &sources, QWidget *parent = nullptr);
    QList<MapSource> sources() const { return list; }

    QListWidget *sourceList = nullptr;
    QLineEdit *nameEdit = nullptr;
    QLineEdit *urlEdit = nullptr;
    QLineEdit *attributionEdit = nullptr;
    QSpinBox *maxZoomBox = nullptr;

public slots:
    // Stores the fields as the selected source, or as a new one when none is
    // selected; false, with a message, when the fields are refused.
    bool saveSource();
    void removeSource();
    void newSource();

private:
    void showSource(int row);
    void refreshList();
    QList<MapSource> list;
};

#endif // MAPSOURCESDIALOG_H
