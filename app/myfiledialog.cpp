#include "app/myfiledialog.h"

#include <QCheckBox>
#include <QGridLayout>
#include <QHBoxLayout>

MyFileDialog::MyFileDialog(QWidget *parent) : QFileDialog(parent, QString(), QString(), QString())
{
    // The extra box lives in Qt's own dialog; a platform dialog has no room for it.
    setOption(QFileDialog::DontUseNativeDialog, true);
    auto *box = new QHBoxLayout;
    markedOnlyCheckBox = new QCheckBox(tr("Save marked points only"));
    markedOnlyCheckBox->setChecked(false);
    box->addWidget(markedOnlyCheckBox);
    if (auto *grid = qobject_cast<QGridLayout *>(layout()))
        grid->addLayout(box, grid->rowCount(), 0, 1, -1);
    else
        layout()->addItem(box);
}

MyFileDialog::~MyFileDialog() = default;

bool MyFileDialog::isMarkedOnlyChecked() const
{
    return markedOnlyCheckBox->checkState() == Qt::Checked;
}
