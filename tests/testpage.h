#ifndef TESTPAGE_H
#define TESTPAGE_H

#include "view/maptransport.h"
#include "view/mapwidget.h"

#include <QWebEnginePage>
#include <QWebEngineView>
#include <QtTest>

#include <memory>

// A script's result on a page, as text; empty after 10 s without one.
inline QString runScript(QWebEnginePage *page, const QString &script)
{
    // Shared, so a callback that comes after we stopped waiting writes nowhere harmful.
    auto result = std::make_shared<QVariant>();
    auto done = std::make_shared<bool>(false);
    page->runJavaScript(script, [result, done](const QVariant &v) {
        *result = v;
        *done = true;
    });
    for (int i = 0; i < 2000 && !*done; ++i)
        QTest::qWait(5);
    return result->toString();
}

// What the widget's map page shows, once it has run every call made so far.
inline QString pageState(MapWidget *widget, const QString &expression)
{
    auto *transport = widget->findChild<MapTransport *>();
    QWebEnginePage *page = widget->findChild<QWebEngineView *>()->page();
    for (int i = 0; i < 400; ++i) {
        transport->flush();
        if (transport->idle() && runScript(page, QStringLiteral("String(batchesRun)")) ==
                                     QString::number(transport->batchesSent()))
            break;
        QTest::qWait(25);
    }
    return runScript(page, expression);
}

#endif // TESTPAGE_H
