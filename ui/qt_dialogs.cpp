#include "ui/qt_dialogs.h"

#include <QApplication>
#include <QFileDialog>
#include <QFileInfo>
#include <QMessageBox>
#include <QProgressDialog>
#include <QPushButton>

#include "base/shell_delete.h"
#include "ui/results_dialog.h"

namespace vq {

namespace {

const char* const kProfileFilter = "Vondral Quillem Settings (*.vqsini)";

// Message texts may break their lines with CR LF or a single CR.
QString ToDisplayText(const QString& text) {
  QString display = text;
  display.replace(QStringLiteral("\r\n"), QStringLiteral("\n"));
  display.replace(QLatin1Char('\r'), QLatin1Char('\n'));
  return display;
}

QString Title() { return QApplication::applicationName(); }

}  // namespace

void TQtDialogs::ShowMessage(const QString& text) {
  QMessageBox box(QMessageBox::NoIcon, Title(), ToDisplayText(text), QMessageBox::Ok, parent_);
  box.exec();
}

void TQtDialogs::ShowWarning(const QString& text) {
  QMessageBox::warning(parent_, Title(), ToDisplayText(text), QMessageBox::Ok);
}

TOutputChoice TQtDialogs::AskExistingOutput(const QString& text) {
  QMessageBox box(QMessageBox::Question, Title(), ToDisplayText(text), QMessageBox::NoButton, parent_);
  const QAbstractButton* update = box.addButton(QStringLiteral("Update"), QMessageBox::AcceptRole);
  const QAbstractButton* remove = box.addButton(QStringLiteral("Delete"), QMessageBox::DestructiveRole);
  QPushButton* cancel = box.addButton(QMessageBox::Cancel);
  box.setDefaultButton(cancel);
  box.setEscapeButton(cancel);
  box.exec();
  if (box.clickedButton() == update) return TOutputChoice::ocUpdate;
  if (box.clickedButton() == remove) return TOutputChoice::ocDelete;
  return TOutputChoice::ocCancel;
}

QString TQtDialogs::ChooseFolder(const QString& start, bool destination) {
  QFileDialog dialog(parent_, QString(), start);
  dialog.setFileMode(QFileDialog::Directory);
  dialog.setOption(QFileDialog::ShowDirsOnly);
  dialog.setFilter(QDir::AllDirs | QDir::Hidden | QDir::NoDotAndDotDot);
  // Only the destination's chooser lets the user make or remove folders.
  dialog.setOption(QFileDialog::ReadOnly, !destination);
  if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty()) return QString();
  return dialog.selectedFiles().constFirst();
}

QString TQtDialogs::ChooseFilterFile(const QString& startDir) {
  QFileDialog dialog(parent_, QString(), startDir, QStringLiteral("XML Files (*.xml);;All Files (*)"));
  dialog.setFileMode(QFileDialog::ExistingFile);
  if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty()) return QString();
  return dialog.selectedFiles().constFirst();
}

QString TQtDialogs::ChooseProfileToLoad(const QString& startDir) {
  QFileDialog dialog(parent_, QStringLiteral("Load Settings"), startDir, QLatin1String(kProfileFilter));
  dialog.setFileMode(QFileDialog::ExistingFile);
  dialog.setAcceptMode(QFileDialog::AcceptOpen);
  if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty()) return QString();
  return dialog.selectedFiles().constFirst();
}

QString TQtDialogs::ChooseProfileToSave(const QString& startDir) {
  QFileDialog dialog(parent_, QStringLiteral("Save Settings"), startDir, QLatin1String(kProfileFilter));
  dialog.setFileMode(QFileDialog::AnyFile);
  dialog.setAcceptMode(QFileDialog::AcceptSave);
  dialog.setDefaultSuffix(QStringLiteral("vqsini"));
  if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty()) return QString();
  return dialog.selectedFiles().constFirst();
}

bool TQtDialogs::DeleteFolder(const QString& path) {
  QProgressDialog progress(QStringLiteral("Deleting %1").arg(path), QStringLiteral("Cancel"), 0, 0, parent_);
  progress.setWindowTitle(Title());
  progress.setWindowModality(Qt::WindowModal);
  progress.setMinimumDuration(500);
  progress.setAutoClose(false);
  progress.setAutoReset(false);
  TShellDelete remover([&progress](size_t done, size_t total) {
    if (progress.maximum() != static_cast<int>(total)) progress.setMaximum(static_cast<int>(total));
    // Refreshing the display for every entry would cost more than the delete.
    if (done % 64 == 0 || done == total) {
      progress.setValue(static_cast<int>(done));
      QApplication::processEvents();
    }
    return !progress.wasCanceled();
  });
  const TDeleteResult result = remover.Delete(path.toStdString());
  progress.close();
  return result == TDeleteResult::drDone;
}

void TQtDialogs::ShowResults(const TJobResults& results) {
  TResultsDialog dialog(results, *this, parent_);
  dialog.exec();
}

QString TQtDialogs::ChooseResultsFile(const QString& start) {
  QFileDialog dialog(parent_, QStringLiteral("Save the Results"), QFileInfo(start).path(),
                     QStringLiteral("Text Files (*.txt);;All Files (*)"));
  dialog.setFileMode(QFileDialog::AnyFile);
  dialog.setAcceptMode(QFileDialog::AcceptSave);
  dialog.setDefaultSuffix(QStringLiteral("txt"));
  dialog.selectFile(QFileInfo(start).fileName());
  if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty()) return QString();
  return dialog.selectedFiles().constFirst();
}

}  // namespace vq
