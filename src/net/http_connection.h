#pragma once
// Blocking HTTP fetches for worker threads: every call returns when its step is done, failed,
// timed out or was cancelled, and every failure leaves no connection open. They run the search's
// own step machine (AsyncHttpJob) over a poll loop, so TLS, redirects and body decoding are the
// same code for both.

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "net/http_request.h"
#include "net/http_stream.h"
#include "net/net_progress.h"

namespace sondrel {

constexpr std::size_t kHeaderBufferSize = 4096;  // a longer header fails the fetch
constexpr std::size_t kBodyBlock = 4096;         // receive block of in-memory bodies
// Bodies written to files come in larger blocks: with 4 KiB a download spends a third more
// time than curl on system calls (bench/README.md).
constexpr std::size_t kFileBodyBlock = 65536;
// A probe reads a body up to this long to keep its connection for the next probe.
constexpr std::size_t kDrainMax = 16384;

// Results of the fetch operations.
enum HttpFetchResult {
  kFetchNoResponse = 0,
  kFetchDone = 1,
  kFetchFailed = -1,
  kFetchWriteFailed = -2,  // only from HttpBodyToFile: the local file could not be written
  kFetchNotModified = 304,
  kFetchRefused = 401,
  kFetchHttpError = 501,
};

// Sends the request and follows authorisation and redirects; the stream positioned at the first
// body byte, or an empty stream (test with `!`) with header holding the last (possibly partial)
// header and progress.failure saying why. request.method is restored before it returns.
[[nodiscard]] HttpStream HttpOpen(HttpRequest& request, std::string& header, std::size_t headerSize,
                                  NetProgress& progress);
// Up to size bytes of body; fewer only at the end. 0 at the end, -1 on failure, timeout (of
// silence: a slow but steady body is fine) or cancellation.
[[nodiscard]] long HttpReadBlock(HttpStream& stream, char* buffer, std::size_t size,
                                 NetProgress& progress);
// Copies the rest of the body to the descriptor. 1 when the whole body arrived, -1 otherwise.
// Does not close anything.
[[nodiscard]] int HttpReceiveBody(HttpStream& stream, int fd, NetProgress& progress);
// The rest of the body into request.fileName (appended when request.resume), then closes the
// stream in every case; a regular file carries the time the body began to arrive. 1 when
// the whole body was written, -1 for a broken or cancelled transfer, -2 when the file could not
// be opened or written.
[[nodiscard]] int HttpBodyToFile(HttpStream& stream, const HttpRequest& request,
                                 NetProgress& progress);

// Sets resume, resumeOffset and transferred from the length of an existing request.fileName.
void SetResumeFromFile(HttpRequest& request, NetProgress& progress);
// A fetch of request.url into request.fileName (appended while resume stays set): 1, 304, 401,
// -1, or 0 when no response arrived.
[[nodiscard]] int HttpFetchFile(HttpRequest& request, NetProgress& progress);
[[nodiscard]] int HttpFetchToFile(const std::string& fileName, std::string_view url, bool resume,
                                  bool useProxy, std::string_view proxyHost, int proxyPort,
                                  int timeoutSeconds, NetProgressFn onProgress,
                                  NetCancelFn shouldCancel, void* userData);
// Sends request.ifModifiedSince; on 304 an existing file's time becomes now.
[[nodiscard]] int HttpFetchIfModified(HttpRequest& request, NetProgress& progress);
// The body into request.body, which must stay below bodyCapacity (a longer one fails as soon as
// it is seen) and arrive whole within the timeout: 1, 304, 401, 501, -1, 0.
[[nodiscard]] int HttpFetchToMemory(HttpRequest& request, NetProgress& progress);
// 1 for a 2xx (with the Content-Type and the Content-Length or -1), 0 for 304, -1 otherwise.
// With a pool, an open connection to the server is borrowed, and given back after a reply whose
// body is at most kDrainMax bytes (read and dropped).
[[nodiscard]] int HttpProbe(std::int64_t& totalOut, std::string& contentTypeOut,
                            std::string_view url, bool useProxy, std::string_view proxyHost,
                            int proxyPort, std::optional<std::string> referer,
                            std::optional<std::string> userAgent, int timeoutSeconds, bool useHead,
                            NetProgressFn onProgress, NetCancelFn shouldCancel,
                            void* userData = nullptr, ConnectionPool* pool = nullptr);

}  // namespace sondrel
