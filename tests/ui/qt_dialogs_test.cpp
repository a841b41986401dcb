// The desktop dialogs: the answers to the output folder question, how
// message texts break their lines, the folder delete behind the progress
// display, and the results window.
#include "ui/qt_dialogs.h"

#include <gtest/gtest.h>

#include <QApplication>
#include <QMessageBox>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTest>
#include <QTextEdit>
#include <QTimer>

#include "base/file_system.h"
#include "ui/results_dialog.h"

namespace vq {
namespace {

// Runs `act` on the modal dialog as soon as it shows.
void OnModalDialog(const std::function<void(QMessageBox*)>& act) {
  auto* timer = new QTimer;
  timer->setInterval(10);
  QObject::connect(timer, &QTimer::timeout, [timer, act] {
    if (auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget())) {
      timer->stop();
      timer->deleteLater();
      act(box);
    }
  });
  timer->start();
}

// The button of `box` labelled `text`.
QAbstractButton* Button(QMessageBox* box, const QString& text) {
  for (QAbstractButton* button : box->buttons()) {
    if (button->text() == text) return button;
  }
  return nullptr;
}

TEST(QtDialogs, EnterInTheOutputQuestionCancels) {
  TQtDialogs dialogs;
  QString shown;
  OnModalDialog([&](QMessageBox* box) {
    shown = box->text();
    EXPECT_EQ(box->defaultButton(), box->button(QMessageBox::Cancel));
    QTest::keyClick(box, Qt::Key_Return);
  });
  EXPECT_EQ(dialogs.AskExistingOutput(QStringLiteral("PROCEED?\r(\"/out/VONDRAL SD\")")), TOutputChoice::ocCancel);
  // A single CR breaks the line on screen.
  EXPECT_EQ(shown, QStringLiteral("PROCEED?\n(\"/out/VONDRAL SD\")"));
}

TEST(QtDialogs, EachOutputAnswerHasItsButton) {
  const std::pair<QString, TOutputChoice> cases[] = {{QStringLiteral("Update"), TOutputChoice::ocUpdate},
                                                     {QStringLiteral("Delete"), TOutputChoice::ocDelete},
                                                     {QString(), TOutputChoice::ocCancel}};
  TQtDialogs dialogs;
  for (const auto& [label, answer] : cases) {
    OnModalDialog([text = label](QMessageBox* box) {
      QAbstractButton* button = Button(box, text);
      if (button != nullptr) {
        button->click();
      } else {
        QTest::keyClick(box, Qt::Key_Escape);
      }
    });
    EXPECT_EQ(dialogs.AskExistingOutput(QStringLiteral("Sure?")), answer) << label.toStdString();
  }
}

TEST(QtDialogs, MessagesShowTheirTextWithLineBreaks) {
  TQtDialogs dialogs;
  QString shown;
  OnModalDialog([&](QMessageBox* box) {
    shown = box->text();
    box->accept();
  });
  dialogs.ShowMessage(QStringLiteral("Settings Saved.\r\n\r\nREADY."));
  EXPECT_EQ(shown, QStringLiteral("Settings Saved.\n\nREADY."));
}

TEST(QtDialogs, DeleteFolderRemovesTheTree) {
  QTemporaryDir dir;
  const std::string out = dir.filePath(QStringLiteral("out")).toStdString();
  for (int i = 0; i < 200; ++i) {
    const std::string folder = out + "/" + std::to_string(i % 7);
    ForceDirectories(folder);
    WriteWholeFile(folder + "/f" + std::to_string(i), "x", 1);
  }
  TQtDialogs dialogs;
  EXPECT_TRUE(dialogs.DeleteFolder(QString::fromStdString(out)));
  EXPECT_FALSE(DirectoryExists(out));
  EXPECT_FALSE(dialogs.DeleteFolder(QString::fromStdString(out)));
}

TEST(QtDialogs, ResultsShowModallyUntilClosed) {
  TQtDialogs dialogs;
  QString shown;
  auto* timer = new QTimer;
  timer->setInterval(10);
  QObject::connect(timer, &QTimer::timeout, [timer, &shown] {
    if (auto* dialog = qobject_cast<TResultsDialog*>(QApplication::activeModalWidget())) {
      timer->stop();
      timer->deleteLater();
      shown = dialog->TextResults()->toPlainText();
      dialog->ButtonClose()->click();
    }
  });
  timer->start();
  dialogs.ShowResults({"Done. 1 archives scanned.", {{"Refused zip", {"a.zip: not a zip"}}}});
  EXPECT_TRUE(shown.startsWith(QStringLiteral("Done. 1 archives scanned.\nRefused zip (1)\na.zip: not a zip")))
      << shown.toStdString();
}

}  // namespace
}  // namespace vq
