#pragma once
// What a Content-Type value says about a reply.

#include <string_view>

namespace sondrel {

// True for an HTML page: the media type text/html in any case, with or without parameters
// ("TEXT/HTML", "text/html; charset=utf-8").
bool IsHtmlContentType(std::string_view value);

}  // namespace sondrel
