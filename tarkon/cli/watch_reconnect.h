#pragma once
// watch --reconnect: a logging session that outlives an unplug. When the
// document has lost its link, the session says so on standard output and
// tries the document's reconnect once a second (same device name, baud
// rate, address and check mode) until the port is back or the run ends.

#include <functional>

class CliSession;

// True once reconnected (the session goes on polling); false when the run
// was interrupted, `stop()` became true, or there is nothing to reconnect.
bool WaitForReconnect(CliSession& s, const std::function<bool()>& stop);
