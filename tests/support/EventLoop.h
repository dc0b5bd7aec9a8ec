// Running the event loop inside a test until something has happened.
#pragma once

#include <functional>

namespace testsupport {

// Processes events until Condition holds or TimeoutMs has passed; returns
// whether it holds. The timeout only guards against a hanging test.
bool waitUntil(const std::function<bool()> &Condition, int TimeoutMs = 5000);

// Processes events for about Ms milliseconds.
void spinFor(int Ms);

// Processes the events already posted (and those they post in turn, a few
// rounds deep) without waiting for anything new.
void drainPosted();

} // namespace testsupport
