#pragma once
// Texts from pages, files and settings are bytes. They are shown as UTF-8 when they are valid
// UTF-8 and as Latin-1 otherwise, so an old page's accents never turn into replacement marks.

#include <string>
#include <string_view>

#include <QString>

namespace sondrel {

QString DisplayText(std::string_view bytes);
// What the user typed, back to bytes: UTF-8.
std::string StoredText(const QString& text);
// text cut to at most maxBytes bytes without splitting a UTF-8 sequence.
std::string CutUtf8(std::string_view text, std::size_t maxBytes);

}  // namespace sondrel
