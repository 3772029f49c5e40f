#include "engines/follow_up.h"

#include <optional>

#include "engines/template_step.h"
#include "net/url.h"
#include "support/text.h"

namespace sondrel {

std::string FollowUpAddress(const EngineDefinition& engine, const ResultEntry& item,
                            const CapturedValues& values, const EngineRequest& request) {
  const PlaceholderLookup lookup = [&](std::string_view placeholder) -> std::optional<std::string> {
    if (EqualsNoCase(placeholder, "__URL__")) {
      if (item.url.empty()) return std::nullopt;
      return item.url;
    }
    const std::string_view name = placeholder.substr(
        kTemplateMarker.size(), placeholder.size() - 2 * kTemplateMarker.size());
    if (const std::string* value = FindCaptured(values, name)) return EncodePathSegment(*value);
    if (std::optional<std::string> value = RequestPlaceholderValue(placeholder, request, engine)) {
      return EncodePathSegment(*value);
    }
    return std::nullopt;
  };
  bool missing = false;
  std::string address = FillTemplate(engine.follow, lookup, kFollowUpAddressMax, &missing);
  if (missing) return {};
  return ResolveUrl(address, request.url);
}

bool QueueFollowUp(FollowUpQueue& queue, const EngineDefinition& engine, const ResultEntry& item,
                   const CapturedValues& values, const EngineRequest& request) {
  if (queue.queued >= engine.FollowUpLimit()) {
    queue.full = true;
    return false;
  }
  FollowUp followUp;
  followUp.address = FollowUpAddress(engine, item, values, request);
  ++queue.queued;
  followUp.page = queue.page;
  followUp.index = ++queue.pageIndex;
  if (followUp.address.empty()) {
    ++queue.failed;  // an item without the value its follow-up needs is lost alone
    return true;
  }
  followUp.values = values;
  queue.pending.push_back(std::move(followUp));
  return true;
}

void PrepareFollowUpEngine(EngineDefinition& view, const EngineDefinition& engine) {
  view = EngineDefinition{};
  view.name = engine.name;
  view.fileStem = engine.fileStem;
  view.decoding = engine.decoding;
  view.headers = engine.headers;
  view.format = engine.followFormat;
  view.urlFormat = engine.followUrlFormat;
  view.startMarker = engine.followStartMarker;
}

void TakeSearchCounters(EngineDefinition& to, const EngineDefinition& from) {
  to.foundCount = from.foundCount;
  to.nextPosition = from.nextPosition;
  to.tally = from.tally;
}

EngineRequest FollowUpRequest(const FollowUp& followUp, const EngineRequest& engineRequest) {
  EngineRequest request;
  request.method = MethodGet;
  request.fields = engineRequest.fields;
  request.pageIndex = engineRequest.pageIndex;
  request.itemValues = followUp.values;
  request.followUp = true;
  // A GET address is sent as url "?" params: split it the same way.
  (void)SplitPostUrl(request.url, kRequestUrlSize - 1, request.params, kRequestParamsSize - 1,
                     followUp.address);
  return request;
}

}  // namespace sondrel
