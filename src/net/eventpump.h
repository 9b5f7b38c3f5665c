#pragma once

// The program runs on one thread and never waits for anything: the only
// places that handle pending events from inside a handler are the end of
// opening the listener and start-up's event pass.
namespace eventpump {

// One pass: handles every window, timer and socket event waiting now.
void processPendingEvents();

} // namespace eventpump
