#include "MainThread.h"

#include <QCoreApplication>
#include <QMetaObject>
#include <QPointer>
#include <QThread>
#include <QTimer>

namespace zirv {

namespace {

QObject* application()
{
    QObject* app = QCoreApplication::instance();
    Q_ASSERT_X(app, "runOnMain", "no QCoreApplication");
    return app;
}

} // namespace

bool isMainThread()
{
    const QCoreApplication* app = QCoreApplication::instance();
    return app && QThread::currentThread() == app->thread();
}

void runOnMain(std::function<void()> work)
{
    QMetaObject::invokeMethod(application(), std::move(work), Qt::QueuedConnection);
}

void runOnMain(const QObject* context, std::function<void()> work)
{
    // A queued call bound to `context` is discarded with it.
    QMetaObject::invokeMethod(const_cast<QObject*>(context), std::move(work),
                              Qt::QueuedConnection);
}

void runOnMainAfter(std::chrono::milliseconds delay, std::function<void()> work)
{
    runOnMainAfter(delay, application(), std::move(work));
}

void runOnMainAfter(std::chrono::milliseconds delay, const QObject* context,
                    std::function<void()> work)
{
    // A timer must be started on the thread whose event loop runs it, so the
    // start itself hops to the main thread first.
    QPointer<const QObject> guard(context);
    auto start = [delay, guard, work = std::move(work)]() mutable {
        if (!guard)
            return;
        QTimer::singleShot(delay, guard.data(), std::move(work));
    };
    if (isMainThread())
        start();
    else
        QMetaObject::invokeMethod(application(), std::move(start), Qt::QueuedConnection);
}

} // namespace zirv
