#pragma once
// Follow-up requests: an engine whose result pages list items (FOLLOW) fetches one more page
// per item, built from the item's captured values, and takes its results from that page with
// the follow-up template and URL rules.

#include <cstddef>
#include <deque>
#include <string>

#include "engines/engine_definition.h"
#include "engines/query.h"
#include "engines/url_building.h"
#include "results/result_entry.h"

namespace sondrel {

inline constexpr std::size_t kFollowUpAddressMax = 2000;

struct FollowUp {
  std::string address;    // the page to fetch
  CapturedValues values;  // the item's values: placeholders of the follow-up's URL rules
  int page = 0;           // the result page the item was on (1, 2, ...)
  int index = 0;          // its place among that page's follow-ups (1, 2, ...)
};

// The follow-ups of one engine in one search.
struct FollowUpQueue {
  std::deque<FollowUp> pending;
  int queued = 0;      // items taken so far (at most the engine's FOLLOWMAX)
  int failed = 0;      // follow-ups that brought no page
  bool full = false;   // an item came after FOLLOWMAX was reached
  int page = 0;        // the result page being read, for the follow-ups' numbers
  int pageIndex = 0;   // follow-ups taken from that page
};

// The address for an item: FOLLOW with __URL__ as the item's resolved address, every other
// captured value encoded as a path segment, and the request placeholders (the query, the
// key). Empty when FOLLOW names a value the item did not capture.
std::string FollowUpAddress(const EngineDefinition& engine, const ResultEntry& item,
                            const CapturedValues& values, const EngineRequest& request);

// Queues the follow-up of an item; false when the engine's limit is reached (queue.full).
bool QueueFollowUp(FollowUpQueue& queue, const EngineDefinition& engine, const ResultEntry& item,
                   const CapturedValues& values, const EngineRequest& request);

// The engine as its follow-up pages are read: the follow-up template, URL rules and start
// marker, one page each, no further follow-ups; it shares the engine's name.
void PrepareFollowUpEngine(EngineDefinition& view, const EngineDefinition& engine);
// The per-search counters of from into to: the view and its engine take turns counting.
void TakeSearchCounters(EngineDefinition& to, const EngineDefinition& from);

// The request of a follow-up: a GET of its address, with the fields of the engine's request.
EngineRequest FollowUpRequest(const FollowUp& followUp, const EngineRequest& engineRequest);

}  // namespace sondrel
