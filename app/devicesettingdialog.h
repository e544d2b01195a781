#ifndef DEVICESETTINGDIALOG_H
#define DEVICESETTINGDIALOG_H

#include "device/deviceconfig.h"

#include <QDialog>

class QCheckBox;
class QGroupBox;
class QLabel;
class QPushButton;
class QRadioButton;
class SettingLineEdit;

// Shows the logger's configuration for editing; Apply checks the two ranges
// and hands back the edited record in config().
class DeviceSettingDialog : public QDialog
{
    Q_OBJECT

public:
    explicit DeviceSettingDialog(const DeviceConfig *deviceConfig, QWidget *parent = nullptr);

    const DeviceConfig &editedConfig() const { return config; }

public slots:
    void stateChanged(int state);
    void toggled(bool checked);
    void apply();

private:
    QGroupBox *formatGroup = nullptr;
    QGroupBox *settingGroup = nullptr;
    QGroupBox *intervalGroup = nullptr;
    QGroupBox *informationGroup = nullptr;
    QRadioButton *formatShortRadio = nullptr;
    QRadioButton *formatAltitudeRadio = nullptr;
    QRadioButton *byTimeRadio = nullptr;
    QRadioButton *byDistanceRadio = nullptr;
    QCheckBox *waasCheck = nullptr;
    QCheckBox *speedThresholdCheck = nullptr;
    QCheckBox *radiusCheck = nullptr;
    SettingLineEdit *speedThresholdEdit = nullptr;
    SettingLineEdit *radiusEdit = nullptr;
    SettingLineEdit *timeIntervalEdit = nullptr;
    SettingLineEdit *distanceIntervalEdit = nullptr;
    QLabel *memoryUsageLabel = nullptr;
    QPushButton *applyButton = nullptr;
    QPushButton *closeButton = nullptr;
    DeviceConfig config;
};

#endif // DEVICESETTINGDIALOG_H
