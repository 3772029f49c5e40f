#pragma once
// The process side of the local real servers: a free loopback port, a program started without
// a shell, waiting until it listens, and stopping it.

#include <sys/types.h>

#include <string>
#include <vector>

namespace sondrel::testkit {

// A port that was free a moment ago on 127.0.0.1.
int FreeLoopbackPort();

// A non-blocking listening socket on 127.0.0.1 at a free port (stored in port), or -1.
int ListenLoopback(int& port);

// Whether a TCP connection to 127.0.0.1:port is accepted now.
bool CanConnectLoopback(int port);

// Starts words[0] (searched in PATH when it has no slash) with the other words as arguments;
// the process id, or -1 when it could not be started.
pid_t SpawnProgram(std::vector<std::string> words);

enum class ListenWait { kListening, kExited, kTimedOut };
// Waits up to five seconds until pid accepts connections on port. When the process ended
// first, pid becomes -1 and exitStatus (if given) holds its exit status.
ListenWait WaitUntilListening(pid_t& pid, int port, int* exitStatus = nullptr);

// Sends SIGTERM to pid and reaps it; pid becomes -1. Nothing happens for pid <= 0.
void StopProcess(pid_t& pid);

}  // namespace sondrel::testkit
