#pragma once
// The search report pane: one row per engine of the last search with how it ended and why,
// what it fetched and how its entries fared, so a user sees at once which engine failed and
// where.

#include <QWidget>

#include "engines/search_report.h"

class QLabel;
class QTableWidget;

namespace sondrel {

class SearchReportView : public QWidget {
  Q_OBJECT

 public:
  enum Column {
    kEngineColumn,
    kOutcomeColumn,
    kReasonColumn,
    kStatusColumn,
    kPagesColumn,
    kBytesColumn,
    kMatchedColumn,
    kRefusedColumn,
    kDuplicatesColumn,
    kKeptColumn,
    kColumnCount
  };

  explicit SearchReportView(QWidget* parent = nullptr);

  // Shows report; failed engines are marked so they stand out.
  void SetReport(const SearchReport& report);
  QTableWidget& Table() { return *table_; }
  QString Summary() const;

 private:
  QLabel* summary_ = nullptr;
  QTableWidget* table_ = nullptr;
};

// The outcome as a user reads it: "done", "stopped at its limit", "failed", ...
std::string OutcomeText(EngineOutcome outcome);
// "6 engines: 4 done, 2 failed".
std::string ReportSummaryText(const SearchReport& report);

}  // namespace sondrel
