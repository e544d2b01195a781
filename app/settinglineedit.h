#ifndef SETTINGLINEEDIT_H
#define SETTINGLINEEDIT_H

#include <QLineEdit>

// A numeric field that selects its whole text when entered or clicked, so
// typing replaces the old value.
class SettingLineEdit : public QLineEdit
{
    Q_OBJECT

public:
    explicit SettingLineEdit(QWidget *parent = nullptr);

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;
    void focusInEvent(QFocusEvent *event) override;
};

#endif // SETTINGLINEEDIT_H
