#pragma once

namespace sondrel::testkit {

// How many file descriptors this process holds (entries of /proc/self/fd).
int OpenDescriptorCount();

}  // namespace sondrel::testkit
