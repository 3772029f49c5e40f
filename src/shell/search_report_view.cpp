#include "shell/search_report_view.h"

#include <iterator>
#include <map>

#include <QHeaderView>
#include <QLabel>
#include <QTableWidget>
#include <QVBoxLayout>

#include "shell/display_text.h"
#include "shell/shell_texts.h"

namespace sondrel {
namespace {

QTableWidgetItem* NumberItem(std::int64_t value) {
  auto* item = new QTableWidgetItem(QString::number(value));
  item->setTextAlignment(Qt::AlignRight | Qt::AlignVCenter);
  return item;
}

// The reason column: the failure in words; a skipped engine names why too.
std::string ReasonOf(const EngineReport& engine) {
  return engine.failure ? DescribeFailure(engine.failure) : std::string();
}

}  // namespace

std::string OutcomeText(EngineOutcome outcome) {
  switch (outcome) {
    case EngineOutcome::kDone:
      return std::string(shell_texts::kOutcomeDone);
    case EngineOutcome::kStoppedAtLimit:
      return std::string(shell_texts::kOutcomeAtLimit);
    case EngineOutcome::kFailed:
      return std::string(shell_texts::kOutcomeFailed);
    case EngineOutcome::kSkipped:
      return std::string(shell_texts::kOutcomeSkipped);
    case EngineOutcome::kStopped:
      return std::string(shell_texts::kOutcomeStopped);
  }
  return std::string(OutcomeWord(outcome));
}

std::string ReportSummaryText(const SearchReport& report) {
  if (report.engines.empty()) return std::string(shell_texts::kReportEmpty);
  // In the outcomes' own order, so the summary reads the same way every time.
  std::map<EngineOutcome, int> counts;
  for (const EngineReport& engine : report.engines) ++counts[engine.outcome];
  std::string text = std::to_string(report.engines.size()) +
                     (report.engines.size() == 1 ? " engine: " : " engines: ");
  bool first = true;
  for (const auto& [outcome, count] : counts) {
    if (!first) text += ", ";
    first = false;
    text += std::to_string(count) + " " + OutcomeText(outcome);
  }
  return text;
}

SearchReportView::SearchReportView(QWidget* parent) : QWidget(parent) {
  setObjectName("SearchReport");
  auto* column = new QVBoxLayout(this);
  column->setContentsMargins(0, 2, 0, 0);
  summary_ = new QLabel(this);
  summary_->setObjectName("ReportSummary");
  column->addWidget(summary_);
  table_ = new QTableWidget(0, kColumnCount, this);
  table_->setObjectName("ReportTable");
  QStringList titles;
  for (std::string_view title : shell_texts::kReportColumns) titles.append(DisplayText(title));
  table_->setHorizontalHeaderLabels(titles);
  table_->verticalHeader()->setVisible(false);
  table_->setEditTriggers(QAbstractItemView::NoEditTriggers);
  table_->setSelectionBehavior(QAbstractItemView::SelectRows);
  table_->horizontalHeader()->setSectionResizeMode(kReasonColumn, QHeaderView::Stretch);
  column->addWidget(table_, 1);
  SetReport(SearchReport{});
}

void SearchReportView::SetReport(const SearchReport& report) {
  summary_->setText(DisplayText(ReportSummaryText(report)));
  table_->setRowCount(static_cast<int>(report.engines.size()));
  int row = 0;
  for (const EngineReport& engine : report.engines) {
    table_->setItem(row, kEngineColumn, new QTableWidgetItem(DisplayText(engine.engine)));
    table_->setItem(row, kOutcomeColumn,
                    new QTableWidgetItem(DisplayText(OutcomeText(engine.outcome))));
    table_->setItem(row, kReasonColumn, new QTableWidgetItem(DisplayText(ReasonOf(engine))));
    table_->setItem(row, kStatusColumn,
                    engine.httpStatus > 0 ? NumberItem(engine.httpStatus) : new QTableWidgetItem());
    table_->setItem(row, kPagesColumn, NumberItem(engine.pages));
    table_->setItem(row, kBytesColumn, NumberItem(engine.bytes));
    table_->setItem(row, kMatchedColumn, NumberItem(engine.matched));
    table_->setItem(row, kRefusedColumn, NumberItem(engine.refusedByRules));
    table_->setItem(row, kDuplicatesColumn, NumberItem(engine.duplicates));
    table_->setItem(row, kKeptColumn, NumberItem(engine.kept));
    if (engine.outcome == EngineOutcome::kFailed) {
      QFont bold = table_->font();
      bold.setBold(true);
      for (int column = 0; column < kColumnCount; ++column) {
        table_->item(row, column)->setFont(bold);
      }
    }
    ++row;
  }
  table_->resizeColumnsToContents();
}

QString SearchReportView::Summary() const {
  return summary_->text();
}

}  // namespace sondrel
