#ifndef MODALANSWERER_H
#define MODALANSWERER_H

#include <QApplication>
#include <QMessageBox>
#include <QPointer>
#include <QTimer>
#include <QWidget>

#include <functional>

// Answers the window's modal dialogs from a timer, since a test cannot step
// past a dialog's own event loop. Each step looks at the top modal widget and
// says whether it was its turn; steps run in order.
class ModalAnswerer : public QObject
{
public:
    using Step = std::function<bool(QWidget *)>;

    ModalAnswerer()
    {
        connect(&timer, &QTimer::timeout, this, [this] {
            QWidget *top = QApplication::activeModalWidget();
            if (top && !steps.isEmpty() && top->isVisible() && steps.first()(top))
                steps.removeFirst();
        });
        timer.start(20);
    }

    void then(const Step &step) { steps.append(step); }

    // Closes the next message box with `button`, noting its text.
    void answerMessage(QMessageBox::StandardButton button = QMessageBox::Ok)
    {
        then([this, button](QWidget *w) {
            auto *box = qobject_cast<QMessageBox *>(w);
            if (!box)
                return false;
            messages << box->text();
            icons << box->icon();
            box->done(button);
            return true;
        });
    }

    bool idle() const { return steps.isEmpty(); }

    QStringList messages;
    QList<QMessageBox::Icon> icons;

private:
    QTimer timer;
    QList<Step> steps;
};

#endif // MODALANSWERER_H
