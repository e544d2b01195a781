#include "app/mainwindow.h"
#include "app/startoptions.h"
#include "view/mbtiles.h"

#include <QApplication>
#include <QIcon>

#include <cstdio>

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
    // Offline map tiles come from our own URL scheme, known before the engine starts.
    MbTilesSchemeHandler::registerScheme();
    {
        // Help, version and usage errors need no display: they are answered before the
        // window's application object (and its platform plugin) exists.
        QCoreApplication probe(argc, argv);
        QCoreApplication::setApplicationName(QStringLiteral("lx300"));
        const StartOptions options = parseStartOptions(QCoreApplication::arguments());
        if (!options.error.isEmpty()) {
            std::fprintf(stderr, "lx300: %s\n\n%s", qPrintable(options.error),
                         qPrintable(startOptionsHelp()));
            return 2;
        }
        if (options.help || options.version) {
            std::printf("%s",
                        qPrintable(options.help ? startOptionsHelp()
                                                : QStringLiteral("lx300 " LX300_VERSION "\n")));
            return 0;
        }
    }
    QApplication app(argc, argv);
    QCoreApplication::setApplicationName(QStringLiteral("lx300"));
    QCoreApplication::setApplicationVersion(QStringLiteral(LX300_VERSION));
    QGuiApplication::setApplicationDisplayName(QStringLiteral("LX-300")); // the dialogs' title
    const StartOptions options = parseStartOptions(QApplication::arguments());
    QApplication::setWindowIcon(QIcon(QStringLiteral(":/images/LX300_SW_Icon.png")));
    int code;
    {
        MainWindow window;
        window.show();
        // A file manager opens a track file by passing it as the only argument.
        window.applyStartOptions(options);
        code = QApplication::exec();
    }
    return code;
}
