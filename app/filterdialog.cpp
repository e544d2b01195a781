#include "app/filterdialog.h"

#include <QDialogButtonBox>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QRadioButton>

FilterDialog::FilterDialog(const QString &unit, QWidget *parent) : QDialog(parent)
{
    setObjectName(QStringLiteral("FilterDialog"));
    setWindowTitle(tr("Filter"));
    setWindowModality(Qt::ApplicationModal);
    setModal(true);
    resize(620, 146);

    auto *top = new QWidget(this);
    top->setGeometry(10, 10, 300, 26);
    auto *topLayout = new QHBoxLayout(top);
    topLayout->setContentsMargins(0, 0, 0, 0);
    filterLabel = new QLabel(tr("Filter Speed (%1):").arg(unit), top);
    filterLabel->setObjectName(QStringLiteral("filterLabel"));
    lineEdit = new QLineEdit(top);
    lineEdit->setObjectName(QStringLiteral("lineEdit"));
    topLayout->addWidget(filterLabel);
    topLayout->addWidget(lineEdit);

    ruleGroupBox = new QGroupBox(tr("Filter Rule"), this);
    ruleGroupBox->setObjectName(QStringLiteral("ruleGroupBox"));
    ruleGroupBox->setGeometry(10, 40, 601, 61);
    ruleGroupBox->setAlignment(Qt::AlignLeft | Qt::AlignVCenter);
    auto *radios = new QWidget(ruleGroupBox);
    radios->setGeometry(20, 30, 571, 20);
    auto *radioLayout = new QHBoxLayout(radios);
    radioLayout->setContentsMargins(0, 0, 0, 0);
    const struct
    {
        QRadioButton **button;
        const char *name;
        const char *text;
    } buttons[] = {{&radioGreater, "radioGreater", ">"},
                   {&radioGreaterEqual, "radioGreaterEqual", ">="},
                   {&radioEqual, "radioEqual", "="},
                   {&radioLess, "radioLess", "<"},
                   {&radioLessEqual, "radioLessEqual", "<="},
                   {&radioMarkPoint, "radioMarkPoint", "All Mark Point"},
                   {&radioAll, "radioAll", "All points"}};
    for (const auto &b : buttons) {
        *b.button = new QRadioButton(tr(b.text), radios);
        (*b.button)->setObjectName(QLatin1String(b.name));
        radioLayout->addWidget(*b.button);
    }
    radioGreater->setChecked(true);

    buttonBox =
        new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, Qt::Horizontal, this);
    buttonBox->setObjectName(QStringLiteral("buttonBox"));
    buttonBox->setGeometry(440, 110, 171, 32);
    problem = new QLabel(this); // why OK did not close the dialog
    problem->setObjectName(QStringLiteral("problemLabel"));
    problem->setGeometry(10, 110, 420, 32);

    // OK reads the value; without one for a speed rule the dialog stays and says so.
    connect(buttonBox, &QDialogButtonBox::accepted, this, &FilterDialog::tryAccept);
    connect(buttonBox, &QDialogButtonBox::rejected, this, &QDialog::reject);
    connect(radioAll, &QRadioButton::toggled, lineEdit, &QWidget::setDisabled);
    connect(radioAll, &QRadioButton::clicked, this, [this](bool checked) {
        if (checked)
            filterRule = -1;
    });
    connect(radioMarkPoint, &QRadioButton::toggled, this, &FilterDialog::on_radioMarkPoint_toggled);
    connect(radioGreater, &QRadioButton::clicked, this, &FilterDialog::on_radioGreater_clicked);
    connect(radioGreaterEqual, &QRadioButton::clicked, this,
            &FilterDialog::on_radioGreaterEqual_clicked);
    connect(radioEqual, &QRadioButton::clicked, this, &FilterDialog::on_radioEqual_clicked);
    connect(radioLess, &QRadioButton::clicked, this, &FilterDialog::on_radioLess_clicked);
    connect(radioLessEqual, &QRadioButton::clicked, this, &FilterDialog::on_radioLessEqual_clicked);
    connect(radioMarkPoint, &QRadioButton::clicked, this, &FilterDialog::on_radioMarkPoint_clicked);
}

void FilterDialog::setCurrent(const PointFilter &filter, SpeedUnit unit)
{
    // The dialog's own rule numbers follow the buttons: 1..5 the comparisons, 6 the marks.
    QRadioButton *const byRule[] = {radioAll,  radioGreater,   radioGreaterEqual, radioEqual,
                                    radioLess, radioLessEqual, radioMarkPoint};
    byRule[int(filter.rule)]->setChecked(true);
    filterRule = filter.rule == PointFilter::Rule::All ? -1 : int(filter.rule);
    if (filter.comparesSpeed())
        lineEdit->setText(QString::number(filter.speedIn(unit), 'g', 6));
}

PointFilter FilterDialog::filter(SpeedUnit unit) const
{
    PointFilter f;
    f.rule =
        filterRule >= 1 && filterRule <= 6 ? PointFilter::Rule(filterRule) : PointFilter::Rule::All;
    if (f.comparesSpeed())
        f.speed = PointFilter::storedSpeed(typedSpeed, unit).value_or(0);
    return f;
}

void FilterDialog::tryAccept()
{
    on_buttonBox_accepted();
    if (!valid) {
        problem->setText(tr("Type a speed to compare with."));
        lineEdit->setFocus();
        return;
    }
    accept();
}

void FilterDialog::on_radioMarkPoint_toggled(bool checked)
{
    lineEdit->setEnabled(!checked);
}

void FilterDialog::on_buttonBox_accepted()
{
    bool ok = false;
    typedSpeed = lineEdit->text().toDouble(&ok);
    filterValue = float(typedSpeed);
    if (!ok || filterValue < 0 || !PointFilter::storedSpeed(typedSpeed, SpeedUnit::Mph))
        filterValue = -1.0f;
    valid = true;
    if (filterRule == 6 || filterRule == -1)
        filterValue = -1.0f;
    else if (filterValue == -1.0f)
        valid = false;
}

void FilterDialog::on_radioGreater_clicked(bool checked)
{
    if (checked)
        filterRule = 1;
}

void FilterDialog::on_radioGreaterEqual_clicked(bool checked)
{
    if (checked)
        filterRule = 2;
}

void FilterDialog::on_radioEqual_clicked(bool checked)
{
    if (checked)
        filterRule = 3;
}

void FilterDialog::on_radioLess_clicked(bool checked)
{
    if (checked)
        filterRule = 4;
}

void FilterDialog::on_radioLessEqual_clicked(bool checked)
{
    if (checked)
        filterRule = 5;
}

void FilterDialog::on_radioMarkPoint_clicked(bool checked)
{
    if (checked)
        filterRule = 6;
}
