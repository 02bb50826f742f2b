#pragma once
// A recording transport: it forwards every operation to the set it wraps and
// writes each command sent as one JSON line, in the simulator's trace format
// (the same fields, so the readers of a simulator trace read it too), with
// what a bug report about a real drive needs besides: the data that came in,
// the raw sense bytes and the transport's own status codes.
#include <cstdint>
#include <string>

#include "scsi/request.h"
#include "scsi/transport.h"

namespace tarvik {

// Starts recording the commands sent through `inner` into the file `path`
// (emptied first) and returns the set to install in inner's place; null when
// the file cannot be written. Drives are numbered in the order inner finds them now.
const ScsiTransport* StartTransportTrace(const ScsiTransport& inner, const std::string& path);
// Closes the file; the set returned above must be uninstalled first.
void StopTransportTrace();

// A back end that carried a request another way than as its CDB (a tray lock
// through the driver's own ioctl) names that way here, for the trace's "via".
void NoteTransportRoute(const char* via);

// Bytes of data in a line shows at most; block reads show none (they are the
// disc's content, not the drive's answer).
constexpr uint32_t kTraceDataMax = 512;

// The line of one command: the request as it was handed to the set
// (`sent`), as it came back (`answered`), the set's result, the clock when it
// was sent and the time it took (ms), its drive number (-1 unknown) and the
// route noted for it (null: as a command).
std::string TraceLine(const ScsiRequest& sent, const ScsiRequest& answered, int result, uint32_t t,
                      uint32_t ms, int drive, const char* via);

}  // namespace tarvik
