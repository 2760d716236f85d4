#pragma once
// Scheduling onto the main thread (the Qt event loop).
//
// Work finishing on another thread hops to the main thread before it touches
// upload items, view models, the main store context or any notification.

#include <chrono>
#include <functional>

class QObject;

namespace zirv {

// True when called on the thread that runs the application's event loop.
bool isMainThread();

// Queues `work` on the main thread; it runs on a later turn of the event loop,
// also when called from the main thread itself.
void runOnMain(std::function<void()> work);

// Like runOnMain, but dropped when `context` is destroyed before it runs.
// `context` must live on the main thread.
void runOnMain(const QObject* context, std::function<void()> work);

// Runs `work` on the main thread once `delay` has passed.
void runOnMainAfter(std::chrono::milliseconds delay, std::function<void()> work);
void runOnMainAfter(std::chrono::milliseconds delay, const QObject* context,
                    std::function<void()> work);

} // namespace zirv
