#ifndef MYFILEDIALOG_H
#define MYFILEDIALOG_H

#include <QFileDialog>

class FileFormats;
class QCheckBox;

// Adds a line under Qt's own file dialog saying what the formats of the chosen filter keep
// (one sentence per format), following the filter.
void addFormatNote(QFileDialog *dialog, const FileFormats &formats);

// The save dialog: Qt's own file dialog with a "Save marked points only" box and a "Save mark
// points as waypoints" box.
class MyFileDialog : public QFileDialog
{
    Q_OBJECT

public:
    explicit MyFileDialog(QWidget *parent = nullptr);
    ~MyFileDialog() override;

    bool isMarkedOnlyChecked() const;
    bool isMarksAsWaypointsChecked() const;
    QCheckBox *markedOnlyBox() const { return markedOnlyCheckBox; }

private:
    QCheckBox *markedOnlyCheckBox = nullptr;
    QCheckBox *waypointsCheckBox = nullptr;
};

#endif // MYFILEDIALOG_H
