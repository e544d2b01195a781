#ifndef MYFILEDIALOG_H
#define MYFILEDIALOG_H

#include <QFileDialog>

class QCheckBox;

// The save dialog: Qt's own file dialog with a "Save marked points only" box.
class MyFileDialog : public QFileDialog
{
    Q_OBJECT

public:
    explicit MyFileDialog(QWidget *parent = nullptr);
    ~MyFileDialog() override;

    bool isMarkedOnlyChecked() const;
    QCheckBox *markedOnlyBox() const { return markedOnlyCheckBox; }

private:
    QCheckBox *markedOnlyCheckBox = nullptr;
};

#endif // MYFILEDIALOG_H
