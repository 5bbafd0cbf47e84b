#pragma once
// "Process pending window messages" without a window system in the non-drawing libraries.
//
// A thread that runs an event loop (the interface thread) installs a pump that dispatches its
// pending events; on every other thread ProcessPendingMessages does nothing. The HTTP client
// calls it between steps and while a transfer waits on the network, the medal refresh during
// its pauses. Whoever installs a pump must be ready for its handlers to run nested inside
// those calls.

#include <functional>

namespace velk {

class MessagePump {
public:
    // Installs (or, with an empty function, removes) the pump of the calling thread.
    static void Install(std::function<void()> pump);
    // Runs the calling thread's pump once, if it has one.
    static void ProcessPendingMessages();
    // Waits `milliseconds`, running the calling thread's pump meanwhile (a plain sleep when
    // the thread has none).
    static void Pause(int milliseconds);
};

} // namespace velk
