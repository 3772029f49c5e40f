#include "tasks/search_thread.h"

#include "tasks/gui_dispatch.h"

namespace sondrel {
namespace {

void SearchThreadProc(WorkerThread& thread) {
  RunSearchThread(*static_cast<SearchSession*>(thread.arg));
}

void SearchCompletion(WorkerThread& thread) {
  CompleteSearch(*static_cast<SearchSession*>(thread.arg));
}

}  // namespace

int StartSearch(SearchSession& session, WorkerThread& thread) {
  if (!PrepareSearch(session)) return kSearchEmptyQuery;
  if (session.mode != kSearchNormal) {
    // The test modes run on the interface thread itself: nothing to hand over.
    session.onInterfaceThread = nullptr;
    RunTestSearch(session);
    return kSearchRanHere;
  }
  session.onInterfaceThread = [](const std::function<void()>& fn) { (void)RunInGuiThread(fn); };
  return StartWorker(thread, 0, SearchThreadProc, &session, SearchCompletion) == 1
             ? kSearchStarted
             : kSearchNotStarted;
}

}  // namespace sondrel
