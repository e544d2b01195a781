#include "app/myfiledialog.h"

#include "formats/fileformats.h"

#include <QCheckBox>
#include <QComboBox>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QRegularExpression>

namespace {
void addRow(QFileDialog *dialog, QLayout *row)
{
    if (auto *grid = qobject_cast<QGridLayout *>(dialog->layout()))
        grid->addLayout(row, grid->rowCount(), 0, 1, -1);
    else
        dialog->layout()->addItem(row);
}
} // namespace

void addFormatNote(QFileDialog *dialog, const FileFormats &formats)
{
    dialog->setOption(QFileDialog::DontUseNativeDialog, true);
    auto *label = new QLabel;
    label->setObjectName(QStringLiteral("formatNote"));
    label->setWordWrap(true);
    auto *row = new QHBoxLayout;
    row->addWidget(label);
    addRow(dialog, row);
    // One sentence: the chosen type's (KML's for "*.kml *.kmz"); for all types at once, which
    // they are (their sentences would squeeze the file list).
    const auto show = [label, &formats](const QString &filter) {
        static const QRegularExpression pattern(QStringLiteral("\\*(\\.\\w+)"));
        QStringList types, kinds;
        const FileFormat *first = nullptr;
        for (auto m = pattern.globalMatch(filter); m.hasNext();) {
            const QString extension = m.next().captured(1).toLower();
            const FileFormat *f = formats.byExtension(extension);
            // A format read under several extensions (.nmea, .log, .txt) is named once.
            if (f && !kinds.contains(f->keeps())) {
                first = first ? first : f;
                kinds << f->keeps();
                types << extension.mid(1).toUpper();
            }
        }
        label->setText(types.size() > 2
                           ? QObject::tr("%1 files; choose a type to see what it keeps.")
                                 .arg(types.join(QStringLiteral(", ")))
                       : first ? first->keeps()
                               : QString());
    };
    // The dialog lives no longer than the flow that owns `formats`.
    QObject::connect(dialog, &QFileDialog::filterSelected, label, show);
    // selectNameFilter() (a caller's choice, a remembered state) does not emit filterSelected;
    // Qt's own dialog shows the filters in this combo box.
    if (auto *combo = dialog->findChild<QComboBox *>(QStringLiteral("fileTypeCombo")))
        QObject::connect(combo, &QComboBox::currentTextChanged, label, show);
    show(dialog->selectedNameFilter());
}

MyFileDialog::MyFileDialog(QWidget *parent) : QFileDialog(parent, QString(), QString(), QString())
{
    // The extra box lives in Qt's own dialog; a platform dialog has no room for it.
    setOption(QFileDialog::DontUseNativeDialog, true);
    auto *box = new QHBoxLayout;
    markedOnlyCheckBox = new QCheckBox(tr("Save marked points only"));
    markedOnlyCheckBox->setChecked(false);
    box->addWidget(markedOnlyCheckBox);
    // Off by default, so the files stay as they always were.
    waypointsCheckBox = new QCheckBox(tr("Save mark points as waypoints"));
    waypointsCheckBox->setObjectName(QStringLiteral("waypointsBox"));
    box->addWidget(waypointsCheckBox);
    addRow(this, box);
    // What the box does depends on the type: waypoints in GPX and KML, a column in CSV;
    // TKR keeps the marks in its points anyway.
    const auto follow = [this](const QString &filter) {
        const bool tkr = filter.contains(QLatin1String("*.tkr"));
        waypointsCheckBox->setEnabled(!tkr);
        if (tkr)
            waypointsCheckBox->setChecked(false);
        waypointsCheckBox->setText(filter.contains(QLatin1String("*.csv"))
                                       ? tr("Add a Mark column")
                                       : tr("Save mark points as waypoints"));
    };
    connect(this, &QFileDialog::filterSelected, this, follow);
    if (auto *combo = findChild<QComboBox *>(QStringLiteral("fileTypeCombo")))
        connect(combo, &QComboBox::currentTextChanged, this, follow);
}

MyFileDialog::~MyFileDialog() = default;

bool MyFileDialog::isMarkedOnlyChecked() const
{
    return markedOnlyCheckBox->checkState() == Qt::Checked;
}

bool MyFileDialog::isMarksAsWaypointsChecked() const
{
    return waypointsCheckBox->isChecked();
}
