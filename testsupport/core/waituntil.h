#pragma once

#include <functional>

namespace testsupport {

// Polls `condition` every few milliseconds until it holds or `timeoutMs` passed; true when it
// held. `betweenPolls`, when given, runs after each failed poll (the Qt kit processes events
// there).
bool waitUntil(const std::function<bool()> &condition, int timeoutMs,
               const std::function<void()> &betweenPolls = nullptr);

} // namespace testsupport
