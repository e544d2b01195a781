#include "app/devicesettingdialog.h"

#include "app/settinglineedit.h"
#include "device/deviceconfigform.h"

#include <QCheckBox>
#include <QFormLayout>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QMessageBox>
#include <QPushButton>
#include <QRadioButton>
#include <QVBoxLayout>

DeviceSettingDialog::DeviceSettingDialog(const DeviceConfig *deviceConfig, QWidget *parent)
    : QDialog(parent)
{
    formatGroup = new QGroupBox(tr("Data logging format"));
    settingGroup = new QGroupBox(tr("Data logging setting"));
    intervalGroup = new QGroupBox(tr("Data logging interval mode"));
    informationGroup = new QGroupBox(tr("Device Information"));
    formatShortRadio = new QRadioButton(tr("Position,Time,Date,Speed"));
    formatAltitudeRadio = new QRadioButton(tr("Position,Time,Date,Speed,Altitude"));
    byTimeRadio = new QRadioButton(tr("By time:"));
    byDistanceRadio = new QRadioButton(tr("By distance:"));
    waasCheck = new QCheckBox(tr("Enable WAAS"));
    speedThresholdCheck =
        new QCheckBox(tr("Disable data logging if speed falls below a threshold:"));
    radiusCheck =
        new QCheckBox(tr("Disable data logging if distance is less than the selected radius:"));
    speedThresholdEdit = new SettingLineEdit;
    radiusEdit = new SettingLineEdit;
    timeIntervalEdit = new SettingLineEdit;
    distanceIntervalEdit = new SettingLineEdit;
    memoryUsageLabel = new QLabel(QStringLiteral("0%"));
    applyButton = new QPushButton(tr("Apply"));
    closeButton = new QPushButton(tr("Close"));

    speedThresholdEdit->setObjectName(QStringLiteral("speedThresholdEdit"));
    radiusEdit->setObjectName(QStringLiteral("radiusEdit"));
    timeIntervalEdit->setObjectName(QStringLiteral("timeIntervalEdit"));
    distanceIntervalEdit->setObjectName(QStringLiteral("distanceIntervalEdit"));
    memoryUsageLabel->setObjectName(QStringLiteral("memoryUsageLabel"));
    formatAltitudeRadio->setObjectName(QStringLiteral("formatAltitudeRadio"));
    byTimeRadio->setObjectName(QStringLiteral("byTimeRadio"));
    byDistanceRadio->setObjectName(QStringLiteral("byDistanceRadio"));
    waasCheck->setObjectName(QStringLiteral("waasCheck"));
    radiusCheck->setObjectName(QStringLiteral("radiusCheck"));

    // Digits only, as many as each value can have.
    speedThresholdEdit->setInputMask(QStringLiteral("0000"));
    radiusEdit->setInputMask(QStringLiteral("00000"));
    timeIntervalEdit->setInputMask(QStringLiteral("00000"));
    distanceIntervalEdit->setInputMask(QStringLiteral("0000"));

    auto *formatLayout = new QVBoxLayout;
    formatLayout->addWidget(formatShortRadio);
    formatLayout->addWidget(formatAltitudeRadio);
    formatGroup->setLayout(formatLayout);

    auto *settingLayout = new QGridLayout;
    settingLayout->addWidget(waasCheck, 0, 0);
    settingLayout->addWidget(speedThresholdCheck, 1, 0);
    settingLayout->addWidget(speedThresholdEdit, 1, 1);
    settingLayout->addWidget(new QLabel(tr("km/hour")), 1, 2);
    settingLayout->addWidget(radiusCheck, 2, 0);
    settingLayout->addWidget(radiusEdit, 2, 1);
    settingLayout->addWidget(new QLabel(tr("meters")), 2, 2);
    settingLayout->setColumnStretch(1, 10);
    settingLayout->setColumnStretch(2, 20);
    settingLayout->setSizeConstraint(QLayout::SetMinimumSize);
    settingGroup->setLayout(settingLayout);

    auto *intervalLayout = new QGridLayout;
    intervalLayout->addWidget(byTimeRadio, 0, 0);
    intervalLayout->addWidget(timeIntervalEdit, 0, 1);
    intervalLayout->addWidget(new QLabel(tr("seconds")), 0, 2);
    intervalLayout->addWidget(byDistanceRadio, 1, 0);
    intervalLayout->addWidget(distanceIntervalEdit, 1, 1);
    intervalLayout->addWidget(new QLabel(tr("meters")), 1, 2);
    intervalLayout->setColumnStretch(1, 10);
    intervalLayout->setColumnStretch(2, 20);
    intervalGroup->setLayout(intervalLayout);

    auto *informationLayout = new QFormLayout;
    informationLayout->addRow(tr("Memory Usage :"), memoryUsageLabel);
    informationGroup->setLayout(informationLayout);

    auto *middle = new QHBoxLayout;
    middle->addWidget(intervalGroup, 10);
    middle->addWidget(informationGroup, 10);
    auto *buttons = new QHBoxLayout;
    buttons->addWidget(applyButton);
    buttons->addWidget(closeButton);
    auto *layout = new QVBoxLayout;
    layout->addWidget(formatGroup);
    layout->addWidget(settingGroup);
    layout->addLayout(middle);
    layout->addLayout(buttons);
    layout->setSizeConstraint(QLayout::SetFixedSize);
    setLayout(layout);

    config = *deviceConfig;
    const DeviceConfigForm form = DeviceConfigForm::fromConfig(config);
    formatShortRadio->setChecked(form.logFormat == 1);
    formatAltitudeRadio->setChecked(form.logFormat == 2);
    waasCheck->setChecked(form.waasEnabled);
    speedThresholdCheck->setChecked(form.speedThresholdEnabled);
    speedThresholdEdit->setEnabled(form.speedThresholdEnabled);
    speedThresholdEdit->setText(form.speedThreshold);
    radiusCheck->setChecked(form.radiusEnabled);
    radiusEdit->setEnabled(form.radiusEnabled);
    radiusEdit->setText(form.radius);
    byDistanceRadio->setChecked(form.intervalMode == 1);
    byTimeRadio->setChecked(form.intervalMode != 1);
    timeIntervalEdit->setEnabled(form.intervalMode != 1);
    distanceIntervalEdit->setEnabled(form.intervalMode == 1);
    timeIntervalEdit->setText(form.timeInterval);
    distanceIntervalEdit->setText(form.distanceInterval);
    memoryUsageLabel->setText(QStringLiteral("%1%").arg(int(config.memoryUsage)));

    // Connected only now, so showing the record runs no slot.
    connect(speedThresholdCheck, &QCheckBox::stateChanged, this,
            &DeviceSettingDialog::stateChanged);
    connect(radiusCheck, &QCheckBox::stateChanged, this, &DeviceSettingDialog::stateChanged);
    connect(byTimeRadio, &QRadioButton::toggled, this, &DeviceSettingDialog::toggled);
    connect(byDistanceRadio, &QRadioButton::toggled, this, &DeviceSettingDialog::toggled);
    connect(applyButton, &QPushButton::clicked, this, &DeviceSettingDialog::apply);
    connect(closeButton, &QPushButton::clicked, this, &QDialog::reject);
}

void DeviceSettingDialog::stateChanged(int)
{
    speedThresholdEdit->setEnabled(speedThresholdCheck->isChecked());
    radiusEdit->setEnabled(radiusCheck->isChecked());
}

void DeviceSettingDialog::toggled(bool)
{
    timeIntervalEdit->setEnabled(byTimeRadio->isChecked());
    distanceIntervalEdit->setEnabled(byDistanceRadio->isChecked());
}

void DeviceSettingDialog::apply()
{
    DeviceConfigForm form;
    form.logFormat = formatShortRadio->isChecked() ? 1 : formatAltitudeRadio->isChecked() ? 2 : 0;
    form.waasEnabled = waasCheck->isChecked();
    form.speedThresholdEnabled = speedThresholdCheck->isChecked();
    form.radiusEnabled = radiusCheck->isChecked();
    form.intervalMode = byTimeRadio->isChecked() ? 0 : byDistanceRadio->isChecked() ? 1 : -1;
    form.speedThreshold = speedThresholdEdit->text();
    form.radius = radiusEdit->text();
    form.timeInterval = timeIntervalEdit->text();
    form.distanceInterval = distanceIntervalEdit->text();

    QString message;
    DeviceConfigForm::Field field = DeviceConfigForm::NoField;
    if (!form.applyTo(config, &message, &field)) {
        QMessageBox box(QMessageBox::Information, QString(), message, QMessageBox::Ok, this);
        box.exec();
        if (field == DeviceConfigForm::TimeIntervalField)
            timeIntervalEdit->undo();
        else
            distanceIntervalEdit->undo();
        return;
    }
    accept();
}
