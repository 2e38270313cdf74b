// Stopping a step cleanly on SIGINT, SIGTERM or SIGHUP (on Windows: Ctrl-C or
// Ctrl-Break, closing the console, logoff or shutdown, which the platform
// layer reports as the signals they stand for: 2, 1 and 15).
//
// The first signal only sets a flag; every long step looks at it at its safe
// points (between files of a batch, between strips or rows of a correction or
// a print, between steps of the demo; the engine's analyses and the drivers'
// line transfer see an Escape key press posted from the progress callback)
// and throws Cancelled, so that destructors remove temporary files and the
// progress line is ended. No output is committed once the flag is set. A
// second signal removes the temporary files still registered and exits at
// once. The exit status is 128 + the signal: 130 for SIGINT, 143 for SIGTERM,
// 129 for SIGHUP.
#ifndef AUCAL_CANCELLATION_H
#define AUCAL_CANCELLATION_H

#include <stdexcept>
#include <string>

namespace aucal {

class Cancelled : public std::runtime_error {
public:
    Cancelled() : std::runtime_error("cancelled") {}
};

// Installs the handlers (once).
void installCancelHandlers();
// A signal has asked the step to stop.
bool cancelled();
// Throws Cancelled when a signal has asked the step to stop.
void throwIfCancelled();
// The exit status for the signal received: 128 + its number (130 when none).
int cancelledExitStatus();
// For tests and the demo's own steps: forget a request.
void clearCancel();

// Temporary files that the second signal removes: a slot number, -1 when the
// table is full (the file is then removed only by its owner).
int registerTemporaryFile(const std::string& path);
void releaseTemporaryFile(int slot);

}  // namespace aucal

#endif
