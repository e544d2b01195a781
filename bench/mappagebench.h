#ifndef MAPPAGEBENCH_H
#define MAPPAGEBENCH_H

// What the benchmarks that run the real map page share.
#include "view/mapwidget.h"
#include "view/mbtiles.h"

#include <QCoreApplication>
#include <QWebEnginePage>
#include <QWebEngineView>

namespace MapPageBench {

// Before the QApplication: a web engine that runs headless, as root too, with the program's
// offline map scheme known.
inline void prepare()
{
    QCoreApplication::setAttribute(Qt::AA_ShareOpenGLContexts);
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    qputenv("QTWEBENGINE_DISABLE_SANDBOX", "1");
    MbTilesSchemeHandler::registerScheme();
}

// Runs a script in the widget's page and waits for its result.
inline QVariant js(MapWidget &w, const QString &script)
{
    QVariant result;
    bool done = false;
    w.findChild<QWebEngineView *>()->page()->runJavaScript(script, [&](const QVariant &v) {
        result = v;
        done = true;
    });
    while (!done)
        QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
    return result;
}

} // namespace MapPageBench

#endif // MAPPAGEBENCH_H
