// File, Export: the whole list beside the project as HTML (then opened), text or CDF.

#include "results/export.h"
#include "results/results_texts.h"
#include "shell/application.h"
#include "shell/launching.h"
#include "shell/main_window.h"
#include "shell/message_box.h"
#include "shell/shell_texts.h"

namespace sondrel {
namespace {

// Nothing at all without a project path: the export has no place to go.
std::string ExportTarget(const std::string& projectPath, ExportFormat format) {
  return projectPath.empty() ? std::string() : ExportPath(projectPath, format);
}

}  // namespace

void MainWindow::ExportHtmlCommand() {
  const std::string path = ExportTarget(program_.CurrentProjectPath(), ExportFormat::kHtml);
  if (path.empty() || !ExportHtml(path, program_.Document())) return;
  if (!LaunchUrl(path)) {
    MessageBoxFormat(this, kMbError, shell_texts::kProgramName, texts::kBrowserFailed);
  }
}

void MainWindow::ExportTextCommand() {
  const std::string path = ExportTarget(program_.CurrentProjectPath(), ExportFormat::kText);
  if (path.empty()) return;
  if (ExportText(path, program_.Document())) {
    MessageBoxFormat(this, kMbInformation, shell_texts::kProgramName, ExportDoneText(path));
  } else {
    MessageBoxFormat(this, kMbError, shell_texts::kProgramName, ExportFailedText(path));
  }
}

void MainWindow::ExportCdfCommand() {
  const std::string path = ExportTarget(program_.CurrentProjectPath(), ExportFormat::kCdf);
  if (path.empty()) return;
  if (ExportCdf(path, program_.Document())) {
    MessageBoxFormat(this, kMbInformation, shell_texts::kProgramName, ExportDoneText(path));
  } else {
    MessageBoxFormat(this, kMbError, shell_texts::kProgramName, ExportFailedText(path));
  }
}

}  // namespace sondrel
