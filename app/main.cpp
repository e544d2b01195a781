#include "app/mainwindow.h"

#include <QApplication>
#include <QIcon>

int main(int argc, char *argv[])
{
    QApplication app(argc, argv);
    QApplication::setWindowIcon(QIcon(QStringLiteral(":/images/LX300_SW_Icon.png")));
    int code;
    {
        MainWindow window;
        window.show();
        code = QApplication::exec();
    }
    return code;
}
