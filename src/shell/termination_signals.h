#pragma once
// A desktop session ends programs with SIGTERM (and a terminal with SIGINT or SIGHUP). Those
// signals make the event loop return as a normal quit does, so the window shuts down in order
// and the settings are written; without this the process would die on the spot.

namespace sondrel {

// Installs the handlers once; the signals then quit the running QApplication's event loop.
// False when they could not be installed (the default action stays).
bool QuitOnTerminationSignals();

}  // namespace sondrel
