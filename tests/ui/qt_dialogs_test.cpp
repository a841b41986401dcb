// The desktop dialogs: the confirmation's default answer, how message texts
// break their lines, and the folder delete behind the progress display.
#include "ui/qt_dialogs.h"

#include <gtest/gtest.h>

#include <QApplication>
#include <QMessageBox>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>

#include "base/file_system.h"

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

TEST(QtDialogs, EnterInTheConfirmationAnswersNo) {
  TQtDialogs dialogs;
  QString shown;
  OnModalDialog([&](QMessageBox* box) {
    shown = box->text();
    EXPECT_EQ(box->defaultButton(), box->button(QMessageBox::No));
    QTest::keyClick(box, Qt::Key_Return);
  });
  EXPECT_FALSE(dialogs.Confirm(QStringLiteral("PROCEED?\r(\"/out/VONDRAL SD\")")));
  // A single CR breaks the line on screen.
  EXPECT_EQ(shown, QStringLiteral("PROCEED?\n(\"/out/VONDRAL SD\")"));
}

TEST(QtDialogs, YesIsTheOnlyAnswerThatConfirms) {
  TQtDialogs dialogs;
  OnModalDialog([](QMessageBox* box) { box->button(QMessageBox::Yes)->click(); });
  EXPECT_TRUE(dialogs.Confirm(QStringLiteral("Sure?")));
  OnModalDialog([](QMessageBox* box) { QTest::keyClick(box, Qt::Key_Escape); });
  EXPECT_FALSE(dialogs.Confirm(QStringLiteral("Sure?")));
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

}  // namespace
}  // namespace vq
