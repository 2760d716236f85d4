#pragma once
// Waiting for asynchronous behaviour without sleeping: the main thread's
// event loop is pumped until a condition holds or a time-out passes.

#include <chrono>
#include <functional>

namespace zirv::test {

using namespace std::chrono_literals;

// Pumps events until `condition` holds; answers whether it did in time.
bool pumpUntil(const std::function<bool()>& condition, std::chrono::milliseconds timeout = 5s);

// Pumps events for the whole of `duration` (to show that nothing happens).
void pumpFor(std::chrono::milliseconds duration);

} // namespace zirv::test
