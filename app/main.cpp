#include "app/mainwindow.h"

#include <QApplication>
#include <QIcon>

#ifdef Q_OS_UNIX
#include <unistd.h>
#endif

int main(int argc, char *argv[])
{
    // The map view's web engine shares its graphics context with the widgets.
    QCoreApplication::setAttribute(Qt::AA_ShareOpenGLContexts);
#ifdef Q_OS_UNIX
    // The web engine's sandbox cannot run as root; let the map work there too.
    if (geteuid() == 0 && qEnvironmentVariableIsEmpty("QTWEBENGINE_DISABLE_SANDBOX"))
        qputenv("QTWEBENGINE_DISABLE_SANDBOX", "1");
#endif
    QApplication app(argc, argv);
    QApplication::setWindowIcon(QIcon(QStringLiteral(":/images/LX300_SW_Icon.png")));
    int code;
    {
        MainWindow window;
        window.show();
        // A file manager opens a track file by passing it as the only argument.
        const QStringList args = QApplication::arguments();
        if (args.size() == 2)
            window.openFile(args.at(1));
        code = QApplication::exec();
    }
    return code;
}
