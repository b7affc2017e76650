#pragma once

#include <functional>

class QDBusMessage;
class QDBusPendingCall;
class QObject;

namespace ostrel::platform {

// How long the desktop may take to answer a request; an answer later than this counts as none. Long
// enough for a service started on demand.
constexpr int AnswerTimeoutMs = 10000;

// Whether the session has a bus to ask the desktop on. Where it has none, the D-Bus library would
// start one of its own through X11 ("autolaunch"): a daemon nobody serves. Only a bus the session has
// is ever asked.
bool SessionHasBus();

// Sends a call that ends something the program asked of the desktop, without waiting for its answer.
// At exit it is waited for, briefly: a message only queued when the program ends may never leave it.
void SendEnd(const QDBusMessage &call, bool atExit);

// At exit, waits as briefly for the answer to a request still to come, so that what it names can be
// ended; true if it has come.
bool AnsweredBeforeExit(const QDBusPendingCall &call);

// At exit, lets the signals the bus brings the receiver reach it while `waiting` holds, as briefly.
// Only the receiver's own deliveries run: nothing else of the program's.
void AwaitAtExit(QObject *receiver, const std::function<bool()> &waiting);

} // namespace ostrel::platform
