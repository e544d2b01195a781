#include "app/mapsourcesdialog.h"

#include <QDialogButtonBox>
#include <QFormLayout>
#include <QHBoxLayout>
#include <QLineEdit>
#include <QListWidget>
#include <QMessageBox>
#include <QPushButton>
#include <QSpinBox>
#include <QVBoxLayout>

MapSourcesDialog::MapSourcesDialog(const QList<MapSource> &sources, QWidget *parent)
    : QDialog(parent), list(sources)
{
    setWindowTitle(tr("Map sources"));
    auto *layout = new QVBoxLayout(this);
    sourceList = new QListWidget(this);
    layout->addWidget(sourceList);
    auto *form = new QFormLayout;
    nameEdit = new QLineEdit(this);
    urlEdit = new QLineEdit(this);
    urlEdit->setPlaceholderText(QStringLiteral("https://{s}.example.org/{z}/{x}/{y}.png"));
    urlEdit->setMinimumWidth(420); // a whole tile URL template fits
    attributionEdit = new QLineEdit(this);
    maxZoomBox = new QSpinBox(this);
    maxZoomBox->setRange(0, 22);
    maxZoomBox->setValue(19);
    form->addRow(tr("Name:"), nameEdit);
    form->addRow(tr("URL template:"), urlEdit);
    form->addRow(tr("Attribution:"), attributionEdit);
    form->addRow(tr("Maximum zoom:"), maxZoomBox);
    layout->addLayout(form);
    auto *row = new QHBoxLayout;
    auto *add = new QPushButton(tr("New"), this);
    auto *save = new QPushButton(tr("Save source"), this);
    auto *remove = new QPushButton(tr("Remove"), this);
    row->addWidget(add);
    row->addWidget(save);
    row->addWidget(remove);
    row->addStretch();
    layout->addLayout(row);
    auto *buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, this);
    layout->addWidget(buttons);
    connect(add, &QPushButton::clicked, this, &MapSourcesDialog::newSource);
    connect(save, &QPushButton::clicked, this, &MapSourcesDialog::saveSource);
    connect(remove, &QPushButton::clicked, this, &MapSourcesDialog::removeSource);
    connect(buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
    connect(sourceList, &QListWidget::currentRowChanged, this, &MapSourcesDialog::showSource);
    refreshList();
}

void MapSourcesDialog::refreshList()
{
    const QSignalBlocker quiet(sourceList);
    sourceList->clear();
    for (const MapSource &s : qAsConst(list))
        sourceList->addItem(s.name);
}

void MapSourcesDialog::showSource(int row)
{
    if (row < 0 || row >= list.size())
        return;
    nameEdit->setText(list[row].name);
    urlEdit->setText(list[row].urlTemplate);
    attributionEdit->setText(list[row].attribution);
    maxZoomBox->setValue(list[row].maxZoom);
}

void MapSourcesDialog::newSource()
{
    sourceList->setCurrentRow(-1);
    sourceList->clearSelection();
    nameEdit->clear();
    urlEdit->clear();
    attributionEdit->clear();
    maxZoomBox->setValue(19);
}

bool MapSourcesDialog::saveSource()
{
    MapSource s;
    s.name = nameEdit->text().trimmed();
    s.urlTemplate = urlEdit->text().trimmed();
    s.attribution = attributionEdit->text().trimmed();
    s.maxZoom = maxZoomBox->value();
    s.subdomains = QStringLiteral("abc");
    const int row = sourceList->selectedItems().isEmpty() ? -1 : sourceList->currentRow();
    QString error = MapSources::check(s);
    for (int i = 0; error.isEmpty() && i < list.size(); ++i)
        if (i != row && list[i].name == s.name)
            error = tr("A source called %1 exists already.").arg(s.name);
    for (const MapSource &b : MapSources::builtIn())
        if (error.isEmpty() && b.name == s.name)
            error = tr("%1 is a built-in map.").arg(s.name);
    if (!error.isEmpty()) {
        QMessageBox::warning(this, windowTitle(), error);
        return false;
    }
    if (row >= 0)
        list[row] = s;
    else
        list.append(s);
    refreshList();
    sourceList->setCurrentRow(row >= 0 ? row : int(list.size()) - 1);
    return true;
}

void MapSourcesDialog::removeSource()
{
    const int row = sourceList->currentRow();
    if (row < 0 || row >= list.size())
        return;
    list.removeAt(row);
    refreshList();
    newSource();
}
