#include "support/modal.h"

#include <QAbstractButton>
#include <QApplication>
#include <QDeadlineTimer>
#include <QDialog>
#include <QMessageBox>
#include <QPointer>
#include <QTest>
#include <QTimer>

#include <gtest/gtest.h>

namespace sondrel::guitest {

namespace {

QString WithoutMnemonic(QString text) { return text.remove(QLatin1Char('&')); }

constexpr int kWatchIntervalMs = 10;

}  // namespace

void WhenModalOpens(std::function<void(QWidget* modal)> action, int timeoutMs) {
  WhenModalOpensOver(nullptr, std::move(action), timeoutMs);
}

void WhenModalOpensOver(QWidget* opener, std::function<void(QWidget* modal)> action,
                        int timeoutMs) {
  auto* timer = new QTimer(qApp);
  auto deadline = QDeadlineTimer(timeoutMs);
  const QPointer<QWidget> below = opener;
  QObject::connect(timer, &QTimer::timeout, timer, [timer, action, deadline, below] {
    QWidget* modal = QApplication::activeModalWidget();
    if (modal != nullptr && modal->isVisible() && modal != below.data()) {
      timer->stop();
      timer->deleteLater();
      action(modal);
      return;
    }
    if (deadline.hasExpired()) {
      timer->stop();
      timer->deleteLater();
      ADD_FAILURE() << "no modal window opened";
    }
  });
  timer->start(kWatchIntervalMs);
}

void ClickButton(QWidget* window, const QString& text) {
  const QString wanted = WithoutMnemonic(text);
  for (QAbstractButton* button : window->findChildren<QAbstractButton*>()) {
    if (WithoutMnemonic(button->text()) == wanted && button->isVisible()) {
      button->click();
      return;
    }
  }
  ADD_FAILURE() << "no button " << wanted.toStdString() << " in "
                << window->windowTitle().toStdString();
}

void AcceptModal(QWidget* window) {
  if (auto* dialog = qobject_cast<QDialog*>(window)) dialog->accept();
}

void RejectModal(QWidget* window) {
  if (auto* dialog = qobject_cast<QDialog*>(window)) dialog->reject();
}

QString MessageText(QWidget* window) {
  auto* box = qobject_cast<QMessageBox*>(window);
  return box != nullptr ? box->text() : QString();
}

void AnswerNextMessage(const QString& button, QString* seen) {
  WhenModalOpens([button, seen](QWidget* modal) {
    if (seen != nullptr) *seen = MessageText(modal);
    ClickButton(modal, button);
  });
}

bool WaitUntil(const std::function<bool()>& done, int timeoutMs) {
  QDeadlineTimer deadline(timeoutMs);
  while (!done()) {
    if (deadline.hasExpired()) return false;
    QTest::qWait(10);
  }
  return true;
}

}  // namespace sondrel::guitest
