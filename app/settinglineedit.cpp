#include "app/settinglineedit.h"

#include <QEvent>

SettingLineEdit::SettingLineEdit(QWidget *parent) : QLineEdit(parent)
{
    installEventFilter(this);
}

void SettingLineEdit::focusInEvent(QFocusEvent *event)
{
    QLineEdit::focusInEvent(event);
    selectAll();
}

bool SettingLineEdit::eventFilter(QObject *watched, QEvent *event)
{
    if (watched == this && event->type() == QEvent::MouseButtonRelease && isEnabled()) {
        selectAll();
        return true;
    }
    return QLineEdit::eventFilter(watched, event);
}
