#pragma once
// The desktop program: start-up, the event loop and shut-down.

namespace sondrel {

// Runs the program; the process's exit code. Uses the application object when one exists
// already, else makes its own.
int RunApplication(int argc, char** argv);

}  // namespace sondrel
