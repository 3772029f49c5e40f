#pragma once
// The message boxes every window uses, with the flag and button numbers the commands were
// written with: the low nibble picks the buttons, the next the icon, the third the default.

#include <cstddef>
#include <string>
#include <string_view>

class QWidget;

namespace sondrel {

enum MessageBoxFlags : int {
  kMbOk = 0x0,
  kMbOkCancel = 0x1,
  kMbYesNoCancel = 0x3,
  kMbYesNo = 0x4,
  kMbIconStop = 0x10,
  kMbIconQuestion = 0x20,
  kMbIconExclamation = 0x30,
  kMbIconInformation = 0x40,
  kMbDefaultButton2 = 0x100,
  kMbDefaultButton3 = 0x200,
};

// The usual combinations.
inline constexpr int kMbError = kMbIconStop | kMbOk;                     // 16
inline constexpr int kMbWarning = kMbIconExclamation | kMbOk;            // 48
inline constexpr int kMbInformation = kMbIconInformation | kMbOk;        // 64
inline constexpr int kMbSaveQuestion = kMbIconQuestion | kMbYesNoCancel;  // 35

enum MessageBoxButton : int { kIdOk = 1, kIdCancel = 2, kIdYes = 6, kIdNo = 7 };

inline constexpr std::size_t kMaxMessageText = 3999;

// Shows text (cut at kMaxMessageText, never inside a UTF-8 sequence) in a modal message box
// over parent; the button pressed. Closing the box counts as Cancel where there is one, else
// as the only button.
int MessageBoxFormat(QWidget* parent, int flags, std::string_view caption, std::string_view text);

// 1 when no file exists at path; otherwise asks question (Yes, No, Cancel; question icon):
// Yes 1, No 0, Cancel 2.
int ConfirmOverwrite(QWidget* parent, const std::string& path, std::string_view question,
                     std::string_view caption);

}  // namespace sondrel
