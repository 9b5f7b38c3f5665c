#pragma once

// The program runs on one thread; waiting means handling whatever events
// arrive meanwhile, so key messages and timer ticks keep flowing.
namespace eventpump {

// One pass: handles every window, timer and socket event waiting now.
void processPendingEvents();

// Returns after at least dSeconds (monotonic clock), handling events meanwhile.
// Zero or a negative value returns at once without handling events.
void wait(double dSeconds);

} // namespace eventpump
