#ifndef FILTERDIALOG_H
#define FILTERDIALOG_H

#include "analysis/pointfilter.h"

#include <QDialog>

class QDialogButtonBox;
class QGroupBox;
class QLabel;
class QLineEdit;
class QRadioButton;

// Asks for a point filter: a speed comparison with a value in the unit shown, the mark points
// only, or all points. Rules: 1 >, 2 >=, 3 =, 4 <, 5 <=, 6 mark points, -1 all points.
class FilterDialog : public QDialog
{
    Q_OBJECT

public:
    // `unit` names the speed unit the value is typed in ("km/h", "mph").
    explicit FilterDialog(const QString &unit = QStringLiteral("km/h"), QWidget *parent = nullptr);
    // Opens on the filter in force, its speed in the unit shown.
    void setCurrent(const PointFilter &filter, SpeedUnit unit);
    // The filter chosen, its speed typed in `unit`.
    PointFilter filter(SpeedUnit unit) const;

    float value() const { return filterValue; }
    int rule() const { return filterRule; }
    bool isValid() const { return valid; }

public slots:
    void on_radioMarkPoint_toggled(bool checked);
    void on_buttonBox_accepted();
    void on_radioGreater_clicked(bool checked);
    void on_radioGreaterEqual_clicked(bool checked);
    void on_radioEqual_clicked(bool checked);
    void on_radioLess_clicked(bool checked);
    void on_radioLessEqual_clicked(bool checked);
    void on_radioMarkPoint_clicked(bool checked);

private:
    QLabel *filterLabel = nullptr;
    QLineEdit *lineEdit = nullptr;
    QGroupBox *ruleGroupBox = nullptr;
    QRadioButton *radioGreater = nullptr;
    QRadioButton *radioGreaterEqual = nullptr;
    QRadioButton *radioEqual = nullptr;
    QRadioButton *radioLess = nullptr;
    QRadioButton *radioLessEqual = nullptr;
    QRadioButton *radioMarkPoint = nullptr;
    QRadioButton *radioAll = nullptr;
    QLabel *problem = nullptr;
    void tryAccept();
    QDialogButtonBox *buttonBox = nullptr;

    float filterValue = -1.0f;
    double typedSpeed = -1.0; // as typed, for the filter
    int filterRule = 1;
    bool valid = true;
};

#endif // FILTERDIALOG_H
