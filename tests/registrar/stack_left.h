// Running code with a given amount of stack: a thread of its own that first uses up its stack down
// to the amount asked for. The platform rounds the stack of a new thread up to its own minimum (1 MiB
// under Wine), so a smaller stack is had by taking away what is above it.
#pragma once

#include <cstddef>
#include <functional>

namespace pellmora::testing {

// Runs `body` on a new thread at a point where `bytes` of stack are left above the bottom of the
// thread's stack reservation, and waits for it. `bytes` must be below 1 MiB, and at least 16 KiB:
// on Windows the lowest pages of a stack are its guard, and reaching them ends the process. False
// when no thread could be started.
bool RunWithStackLeft(std::size_t bytes, const std::function<void()>& body);

// Runs `body` on a new thread and returns the most stack it used, in bytes: the stack below the
// calling frame is filled with a pattern first, and afterwards the deepest byte changed is found.
std::size_t MeasureStackUse(const std::function<void()>& body);

}  // namespace pellmora::testing
