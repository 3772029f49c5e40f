#pragma once
// A server that a whole test suite shares. It is started once in SetUpTestSuite; one that will
// not come up is reported once and dropped, so the suite's tests skip instead of each failing.

#include <gtest/gtest.h>

namespace sondrel::testkit {

// Runs start(*server); on failure reports server->error(), deletes the server and nulls it.
template <class Server, class Start>
void KeepIfStarted(Server*& server, Start start) {
  if (start(*server)) return;
  ADD_FAILURE() << server->error();
  delete server;
  server = nullptr;
}

}  // namespace sondrel::testkit
