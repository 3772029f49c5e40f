#pragma once
// Fixed texts of the address helpers.

#include <string_view>

namespace sondrel::url_texts {

// The login of an ftp:// address that names no user; the password is a placeholder address.
inline constexpr std::string_view kAnonymousFtpUser = "anonymous";
inline constexpr std::string_view kAnonymousFtpPassword = "guest@sondrel.invalid";
// The local name of a download whose address names no usable file.
inline constexpr std::string_view kDefaultDownloadName = "index.html";

}  // namespace sondrel::url_texts
