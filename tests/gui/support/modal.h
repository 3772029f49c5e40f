#pragma once
// Answering modal windows from a test. A modal dialog runs its own event loop, so the test
// arranges beforehand what to do with the next one that opens.

#include <QString>
#include <QWidget>

#include <functional>

namespace sondrel::guitest {

// Runs action on the next modal window (dialog or message box) once it is shown. The watch
// ends after timeoutMs; a window that never opened counts as a failure of the test.
void WhenModalOpens(std::function<void(QWidget* modal)> action, int timeoutMs = 5000);
// The same for a modal window that opener opens: the watch may fire before the new window is
// shown, while opener is still the active one.
void WhenModalOpensOver(QWidget* opener, std::function<void(QWidget* modal)> action,
                        int timeoutMs = 5000);

// The usual actions.
void ClickButton(QWidget* window, const QString& text);  // "&OK", "&Yes", "OK", ... (mnemonic optional)
void AcceptModal(QWidget* window);                     // QDialog::accept
void RejectModal(QWidget* window);                     // QDialog::reject
// The text of a message box (empty for other windows).
QString MessageText(QWidget* window);

// Queues an answer for the next message box: clicks the button whose text matches and
// remembers the box's text in *seen when given.
void AnswerNextMessage(const QString& button, QString* seen = nullptr);

// Processes events until done() holds or timeoutMs passed; false on timeout.
bool WaitUntil(const std::function<bool()>& done, int timeoutMs = 10000);

}  // namespace sondrel::guitest
