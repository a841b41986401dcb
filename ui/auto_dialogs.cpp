#include "ui/auto_dialogs.h"

#include <cstdio>

#include "base/shell_delete.h"

namespace vq {

void TAutoDialogs::ShowMessage(const QString& text) { std::fprintf(stderr, "%s\n", qPrintable(text)); }

void TAutoDialogs::ShowWarning(const QString& text) { std::fprintf(stderr, "warning: %s\n", qPrintable(text)); }

TOutputChoice TAutoDialogs::AskExistingOutput(const QString&) { return TOutputChoice::ocDelete; }

QString TAutoDialogs::ChooseFolder(const QString&, bool) { return QString(); }

QString TAutoDialogs::ChooseFilterFile(const QString&) { return QString(); }

QString TAutoDialogs::ChooseProfileToLoad(const QString&) { return QString(); }

QString TAutoDialogs::ChooseProfileToSave(const QString&) { return QString(); }

bool TAutoDialogs::DeleteFolder(const QString& path) {
  return TShellDelete(nullptr).Delete(path.toStdString()) == TDeleteResult::drDone;
}

void TAutoDialogs::ShowResults(const TJobResults&) {}

QString TAutoDialogs::ChooseResultsFile(const QString&) { return QString(); }

}  // namespace vq
