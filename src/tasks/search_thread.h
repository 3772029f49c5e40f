#pragma once
// Starting a search on its worker thread: the search's callbacks reach the interface thread
// through RunInGuiThread, and its completion runs there when the thread ends.

#include "engines/search_driver.h"
#include "tasks/worker_thread.h"

namespace sondrel {

// The Start Search command after the front end copied its choices into the document. Results
// of StartSearch; with kSearchStarted the completion (finished, then the search-finished hook)
// follows on the interface thread and thread becomes finished after it. A test run is carried
// out at once on the calling thread.
enum StartSearchResult {
  kSearchNotStarted = 0,  // the thread could not be started; the caller stays busy
  kSearchStarted = 1,
  kSearchEmptyQuery = 2,  // nothing was started: kEmptyQueryText is the message
  kSearchRanHere = 3,     // a test run ran to its end, completion included
};
[[nodiscard]] int StartSearch(SearchSession& session, WorkerThread& thread);

}  // namespace sondrel
