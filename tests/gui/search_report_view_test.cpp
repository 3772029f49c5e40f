// The search report pane over a report filled by hand: one row per engine, each failure's
// reason in words, failed engines marked, and a summary in the outcomes' order.

#include <gtest/gtest.h>

#include <QTableWidget>

#include "engines/search_report.h"
#include "net/net_failure.h"
#include "shell/search_report_view.h"

namespace sondrel {
namespace {

EngineReport Engine(std::string name, EngineOutcome outcome, NetFailure failure = {}) {
  EngineReport engine;
  engine.engine = std::move(name);
  engine.outcome = outcome;
  engine.failure = std::move(failure);
  return engine;
}

SearchReport MixedReport() {
  SearchReport report;
  EngineReport done = Engine("Commons", EngineOutcome::kDone);
  done.httpStatus = 200;
  done.pages = 3;
  done.bytes = 123456;
  done.matched = 40;
  done.refusedByRules = 5;
  done.duplicates = 7;
  done.kept = 28;
  report.engines.push_back(done);
  NetFailure refused;
  refused.kind = FailureKind::kRefused;
  refused.host = "api.example.org";
  report.engines.push_back(Engine("Archive", EngineOutcome::kFailed, refused));
  NetFailure keyMissing;
  keyMissing.kind = FailureKind::kKeyMissing;
  report.engines.push_back(Engine("Jamendo", EngineOutcome::kSkipped, keyMissing));
  NetFailure status;
  status.kind = FailureKind::kHttpStatus;
  status.host = "fyyd.example";
  status.httpStatus = 503;
  status.reason = "Service Unavailable";
  EngineReport failed = Engine("Podcasts", EngineOutcome::kFailed, status);
  failed.httpStatus = 503;
  report.engines.push_back(failed);
  NetFailure tls;
  tls.kind = FailureKind::kTls;
  tls.host = "commons.example";
  tls.detail = "certificate has expired";
  report.engines.push_back(Engine("Secure", EngineOutcome::kFailed, tls));
  return report;
}

QString Cell(SearchReportView& view, int row, int column) {
  QTableWidgetItem* item = view.Table().item(row, column);
  return item ? item->text() : QString();
}

TEST(SearchReportViewTest, ARowPerEngineWithItsOutcomeReasonAndCounts) {
  SearchReportView view;
  EXPECT_EQ(view.Table().rowCount(), 0);
  EXPECT_EQ(view.Summary().toStdString(), "No search has run yet.");

  const SearchReport report = MixedReport();
  view.SetReport(report);
  ASSERT_EQ(view.Table().rowCount(), 5);
  EXPECT_EQ(view.Summary().toStdString(), "5 engines: 1 done, 3 failed, 1 skipped");

  const struct {
    int row;
    const char* engine;
    const char* outcome;
    std::string reason;
    const char* status;
    bool bold;
  } kRows[] = {
      {0, "Commons", "done", "", "200", false},
      {1, "Archive", "failed", DescribeFailure(report.engines[1].failure), "", true},
      {2, "Jamendo", "skipped", DescribeFailure(report.engines[2].failure), "", false},
      {3, "Podcasts", "failed", DescribeFailure(report.engines[3].failure), "503", true},
      {4, "Secure", "failed", DescribeFailure(report.engines[4].failure), "", true},
  };
  for (const auto& row : kRows) {
    SCOPED_TRACE(row.engine);
    EXPECT_EQ(Cell(view, row.row, SearchReportView::kEngineColumn), row.engine);
    EXPECT_EQ(Cell(view, row.row, SearchReportView::kOutcomeColumn), row.outcome);
    EXPECT_EQ(Cell(view, row.row, SearchReportView::kReasonColumn).toStdString(), row.reason);
    EXPECT_EQ(Cell(view, row.row, SearchReportView::kStatusColumn), row.status);
    EXPECT_EQ(view.Table().item(row.row, 0)->font().bold(), row.bold);
  }
  // The reasons name the host and the cause.
  EXPECT_TRUE(Cell(view, 1, SearchReportView::kReasonColumn).startsWith("api.example.org: "));
  EXPECT_TRUE(Cell(view, 3, SearchReportView::kReasonColumn).contains("503"));
  EXPECT_EQ(Cell(view, 4, SearchReportView::kReasonColumn),
            "commons.example: TLS: certificate has expired");
  const int counts[] = {3, 123456, 40, 5, 7, 28};
  for (int column = SearchReportView::kPagesColumn; column < SearchReportView::kColumnCount;
       ++column) {
    EXPECT_EQ(Cell(view, 0, column).toInt(), counts[column - SearchReportView::kPagesColumn]);
  }

  // The next search's report replaces the rows.
  SearchReport one;
  one.engines.push_back(Engine("Commons", EngineOutcome::kStoppedAtLimit));
  view.SetReport(one);
  ASSERT_EQ(view.Table().rowCount(), 1);
  EXPECT_EQ(view.Summary().toStdString(), "1 engine: 1 stopped at its limit");
  EXPECT_FALSE(view.Table().item(0, 0)->font().bold());
}

}  // namespace
}  // namespace sondrel
