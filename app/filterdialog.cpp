#include "app/filterdialog.h"

#include <QDialogButtonBox>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QRadioButton>

FilterDialog::FilterDialog(QWidget *parent) : QDialog(parent)
{
    setObjectName(QStringLiteral("FilterDialog"));
    setWindowTitle(tr("Filter"));
    setWindowModality(Qt::ApplicationModal);
    setModal(true);
    resize(520, 146);

    auto *top = new QWidget(this);
    top->setGeometry(10, 10, 197, 26);
    auto *topLayout = new QHBoxLayout(top);
    topLayout->setContentsMargins(0, 0, 0, 0);
    filterLabel = new QLabel(tr("Filter Speed:"), top);
    filterLabel->setObjectName(QStringLiteral("filterLabel"));
    lineEdit = new QLineEdit(top);
    lineEdit->setObjectName(QStringLiteral("lineEdit"));
    topLayout->addWidget(filterLabel);
    topLayout->addWidget(lineEdit);

    ruleGroupBox = new QGroupBox(tr("Filter Rule"), this);
    ruleGroupBox->setObjectName(QStringLiteral("ruleGroupBox"));
    ruleGroupBox->setGeometry(10, 40, 501, 61);
    ruleGroupBox->setAlignment(Qt::AlignLeft | Qt::AlignVCenter);
    auto *radios = new QWidget(ruleGroupBox);
    radios->setGeometry(20, 30, 461, 20);
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
                   {&radioMarkPoint, "radioMarkPoint", "All Mark Point"}};
    for (const auto &b : buttons) {
        *b.button = new QRadioButton(tr(b.text), radios);
        (*b.button)->setObjectName(QLatin1String(b.name));
        radioLayout->addWidget(*b.button);
    }
    radioGreater->setChecked(true);

    buttonBox =
        new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, Qt::Horizontal, this);
    buttonBox->setObjectName(QStringLiteral("buttonBox"));
    buttonBox->setGeometry(340, 110, 171, 32);

    // OK closes the dialog first, then reads the value, as the form was built.
    connect(buttonBox, &QDialogButtonBox::accepted, this, &QDialog::accept);
    connect(buttonBox, &QDialogButtonBox::rejected, this, &QDialog::reject);
    connect(radioMarkPoint, &QRadioButton::toggled, this, &FilterDialog::on_radioMarkPoint_toggled);
    connect(buttonBox, &QDialogButtonBox::accepted, this, &FilterDialog::on_buttonBox_accepted);
    connect(radioGreater, &QRadioButton::clicked, this, &FilterDialog::on_radioGreater_clicked);
    connect(radioGreaterEqual, &QRadioButton::clicked, this,
            &FilterDialog::on_radioGreaterEqual_clicked);
    connect(radioEqual, &QRadioButton::clicked, this, &FilterDialog::on_radioEqual_clicked);
    connect(radioLess, &QRadioButton::clicked, this, &FilterDialog::on_radioLess_clicked);
    connect(radioLessEqual, &QRadioButton::clicked, this, &FilterDialog::on_radioLessEqual_clicked);
    connect(radioMarkPoint, &QRadioButton::clicked, this, &FilterDialog::on_radioMarkPoint_clicked);
}

void FilterDialog::on_radioMarkPoint_toggled(bool checked)
{
    lineEdit->setEnabled(!checked);
}

void FilterDialog::on_buttonBox_accepted()
{
    bool ok = false;
    filterValue = lineEdit->text().toFloat(&ok);
    if (!ok || filterValue < 0)
        filterValue = -1.0f;
    if (filterRule == 6) {
        filterValue = -1.0f;
        valid = true;
    } else if (filterValue == -1.0f) {
        valid = false;
    }
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
