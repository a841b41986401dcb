// The window's controls, its states and their enabling rules, and the
// folder and filter-file choosers.
#include <gtest/gtest.h>

#include <QApplication>
#include <QCheckBox>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QTimer>

#include "base/file_system.h"
#include "ui/radio_group.h"
#include "ui/status_screen.h"
#include "ui/ui_test_util.h"

namespace vq::test {
namespace {

// The controls that SetInputFieldsEnable switches (the uppercase box aside).
std::vector<QWidget*> InputFields(const TForm1Ui& ui) {
  return {ui.EditSource,    ui.EditDest,          ui.ButtonBrowseSource, ui.ButtonBrowseDest, ui.RadioGroupNFO,
          ui.RadioGroupFileNames, ui.GroupBoxSD2IEC, ui.CheckBoxAutoSwap, ui.CheckBoxExtractT64, ui.CheckBoxSID,
          ui.EditHVSC,      ui.ButtonBrowseHVSC,  ui.EditFilterFile,     ui.CheckBoxFilter,   ui.CheckBoxTestMode,
          ui.GroupBoxOther, ui.RzMenuButtonProfile};
}

void ExpectInputs(const TForm1Ui& ui, bool enabled) {
  for (QWidget* widget : InputFields(ui)) {
    EXPECT_EQ(widget->isEnabled(), enabled) << widget->objectName().toStdString();
  }
  // Never part of the set.
  EXPECT_TRUE(ui.ButtonFilterFile->isEnabled());
  EXPECT_TRUE(ui.RzButtonReadme->isEnabled());
}

TEST(WindowLayout, ControlsHaveTheirNamesCaptionsGeometryAndTabOrder) {
  TFormHarness h;
  TForm1& form = *h.Form;
  EXPECT_EQ(form.windowTitle(), QStringLiteral("Vondral64 Quillem SD"));
  EXPECT_EQ(form.size(), QSize(630, 516));
  EXPECT_EQ(form.minimumSize(), form.maximumSize());
  EXPECT_FALSE(form.windowFlags() & Qt::WindowMaximizeButtonHint);
  EXPECT_TRUE(form.windowFlags() & Qt::WindowMinimizeButtonHint);

  const std::pair<const char*, QRect> geometry[] = {
      {"RzButtonReadme", {13, 8, 138, 32}},     {"RzMenuButtonProfile", {157, 8, 138, 32}},
      {"EditSource", {12, 90, 564, 23}},        {"ButtonBrowseSource", {586, 90, 25, 23}},
      {"EditDest", {12, 145, 564, 23}},         {"ButtonBrowseDest", {586, 145, 25, 23}},
      {"CheckBoxSID", {13, 183, 357, 17}},      {"EditHVSC", {12, 206, 564, 23}},
      {"ButtonBrowseHVSC", {586, 206, 25, 23}}, {"CheckBoxFilter", {13, 240, 357, 17}},
      {"EditFilterFile", {12, 263, 564, 23}},   {"ButtonFilterFile", {586, 263, 25, 23}},
      {"RadioGroupNFO", {160, 300, 166, 70}},   {"RadioGroupFileNames", {8, 300, 146, 70}},
      {"GroupBoxSD2IEC", {8, 376, 318, 63}},    {"CheckBoxAutoSwap", {9, 18, 277, 17}},
      {"CheckBoxExtractT64", {9, 39, 168, 17}}, {"Panel1", {340, 300, 271, 166}},
      {"GroupBoxOther", {8, 445, 318, 63}},     {"CheckBox1541UUppercase", {9, 18, 192, 17}},
      {"CheckBoxTestMode", {9, 39, 217, 17}},   {"ButtonAbort", {455, 477, 75, 31}},
      {"ButtonGo", {536, 477, 75, 31}},         {"Image1", {520, -2, 100, 100}},
  };
  for (const auto& [name, rect] : geometry) {
    auto* widget = form.findChild<QWidget*>(QLatin1String(name));
    ASSERT_NE(widget, nullptr) << name;
    EXPECT_EQ(widget->geometry(), rect) << name;
  }
  EXPECT_EQ(form.findChild<QLabel*>("LabelSourceFolder")->pos(), QPoint(12, 69));
  EXPECT_EQ(form.findChild<QLabel*>("LabelDestFolder")->pos(), QPoint(12, 126));
  EXPECT_EQ(form.findChild<QPushButton*>("ButtonGo")->text(), QStringLiteral("Go!"));
  EXPECT_EQ(form.findChild<QCheckBox*>("CheckBoxTestMode")->text(),
            QStringLiteral("Test Mode (only write GameList.csv)"));
  EXPECT_EQ(h.Form->Ui().LoadProfile1->text(), QStringLiteral("Load Settings..."));
  EXPECT_EQ(h.Form->Ui().SaveProfile1->text(), QStringLiteral("Save Settings..."));

  for (const char* name : {"LabelSourceFolder", "LabelDestFolder", "ButtonGo", "RzButtonReadme", "StaticText1"}) {
    EXPECT_TRUE(form.findChild<QWidget*>(QLatin1String(name))->font().bold()) << name;
  }
  EXPECT_FALSE(form.findChild<QWidget*>("EditSource")->font().bold());
  for (const char* name : {"CheckBox1541UUppercase", "CheckBoxTestMode"}) {
    auto* box = form.findChild<QWidget*>(QLatin1String(name));
    EXPECT_EQ(box->toolTipDuration(), 15000);
    EXPECT_FALSE(box->toolTip().isEmpty());
  }
  EXPECT_TRUE(form.findChild<QWidget*>("CheckBoxTestMode")
                  ->toolTip()
                  .startsWith(QStringLiteral("THIS WILL STILL DELETE ANY EXISTING VONDRAL SD OUTPUT FILES IN THE "
                                             "DESTINATION FOLDER!\n\nTest mode does everything")));

  auto* version = form.findChild<QLabel*>("LabelCpy");
  EXPECT_TRUE(version->text().startsWith(QStringLiteral("Version 1.0.0.0\n")));
  EXPECT_EQ(version->geometry().right() + 1, 545);
  EXPECT_EQ(version->palette().color(QPalette::WindowText), QColor(0x80, 0x80, 0x80));

  // Tab order, following the focus chain from the first control.
  const char* const order[] = {"RzButtonReadme", "RzMenuButtonProfile", "EditSource",      "ButtonBrowseSource",
                               "EditDest",       "ButtonBrowseDest",    "CheckBoxSID",     "EditHVSC",
                               "ButtonBrowseHVSC", "CheckBoxFilter",    "EditFilterFile",  "ButtonFilterFile"};
  auto next = [](QWidget* widget) {
    do {
      widget = widget->nextInFocusChain();
    } while (!(widget->focusPolicy() & Qt::TabFocus));
    return widget;
  };
  QWidget* widget = form.findChild<QWidget*>("RzButtonReadme");
  for (size_t i = 1; i < std::size(order); ++i) {
    widget = next(widget);
    EXPECT_EQ(widget->objectName().toStdString(), order[i]);
  }
  const TForm1Ui& ui = h.Form->Ui();
  EXPECT_EQ(next(widget), ui.RadioGroupNFO->Item(0));
  EXPECT_EQ(next(ui.RadioGroupNFO->Item(2)), ui.RadioGroupFileNames->Item(0));
  EXPECT_EQ(next(ui.RadioGroupFileNames->Item(2)), ui.CheckBoxAutoSwap);
  EXPECT_EQ(next(ui.CheckBoxAutoSwap), ui.CheckBoxExtractT64);
  EXPECT_EQ(next(ui.CheckBoxExtractT64), ui.CheckBox1541UUppercase);
  EXPECT_EQ(next(ui.CheckBox1541UUppercase), ui.CheckBoxTestMode);
  EXPECT_EQ(next(ui.CheckBoxTestMode), ui.ButtonAbort);
  EXPECT_EQ(next(ui.ButtonAbort), ui.ButtonGo);
}

TEST(WindowStates, IdleRunningAbortingAndBackToIdle) {
  TFormHarness h;
  h.FakeReports = -1;
  h.UseExistingFolders();
  const TForm1Ui& ui = h.Form->Ui();
  auto* borderTimer = h.Form->findChild<QTimer*>("TimerAnimateBorder");
  ExpectInputs(ui, true);
  EXPECT_TRUE(ui.ButtonGo->isEnabled());
  EXPECT_FALSE(ui.ButtonAbort->isEnabled());
  EXPECT_FALSE(borderTimer->isActive());

  h.Form->ButtonGoClick();
  ASSERT_TRUE(h.Form->JobRunning());
  ExpectInputs(ui, false);
  EXPECT_FALSE(ui.CheckBox1541UUppercase->isEnabled());
  EXPECT_FALSE(ui.ButtonGo->isEnabled());
  EXPECT_TRUE(ui.ButtonAbort->isEnabled());
  EXPECT_TRUE(borderTimer->isActive());
  EXPECT_EQ(borderTimer->interval(), 50);
  EXPECT_TRUE(ui.Panel1->JobRunning());
  EXPECT_EQ(h.Form->cursor().shape(), Qt::BusyCursor);
  ASSERT_TRUE(WaitUntil([&] { return h.Form->Status().startsWith(QStringLiteral("Report ")); }));

  h.Form->ButtonAbortClick();
  EXPECT_FALSE(ui.ButtonAbort->isEnabled());
  EXPECT_FALSE(ui.ButtonGo->isEnabled());
  // Shown at once, not at the next tick.
  EXPECT_EQ(ui.Panel1->Text(), QStringLiteral("Aborting..."));

  ASSERT_TRUE(WaitUntil([&] { return !h.Form->JobRunning(); }));
  EXPECT_EQ(h.Form->Status(), QStringLiteral("Aborted.\r\nREADY."));
  ExpectInputs(ui, true);
  EXPECT_TRUE(ui.CheckBox1541UUppercase->isEnabled());
  EXPECT_TRUE(ui.ButtonGo->isEnabled());
  EXPECT_FALSE(ui.ButtonAbort->isEnabled());
  EXPECT_FALSE(borderTimer->isActive());
  EXPECT_FALSE(ui.Panel1->JobRunning());
  EXPECT_EQ(h.Form->cursor().shape(), Qt::ArrowCursor);
}

TEST(WindowStates, AFinishedJobEndsWithItsLastReportAndReady) {
  TFormHarness h;
  h.FakeReports = 5;
  h.UseExistingFolders();
  h.Form->ButtonGoClick();
  ASSERT_TRUE(WaitUntil([&] { return !h.Form->JobRunning(); }));
  EXPECT_EQ(h.Form->Status(), QStringLiteral("Done.\r\nREADY."));
  // The self-freeing job is gone soon after its termination notice.
  EXPECT_TRUE(WaitUntil([&] { return h.JobDestroyed->load(); }));
}

TEST(UppercaseRule, OnlyThe1541UltimateStyleEnablesTheBoxAndNeverChangesItsCheck) {
  TFormHarness h;
  const TForm1Ui& ui = h.Form->Ui();
  ui.CheckBox1541UUppercase->setChecked(true);
  EXPECT_TRUE(ui.CheckBox1541UUppercase->isEnabled());
  ui.RadioGroupFileNames->Item(1)->click();
  EXPECT_FALSE(ui.CheckBox1541UUppercase->isEnabled());
  EXPECT_TRUE(ui.CheckBox1541UUppercase->isChecked());
  ui.RadioGroupFileNames->Item(2)->click();
  EXPECT_FALSE(ui.CheckBox1541UUppercase->isEnabled());
  ui.RadioGroupFileNames->Item(0)->click();
  EXPECT_TRUE(ui.CheckBox1541UUppercase->isEnabled());
  EXPECT_TRUE(ui.CheckBox1541UUppercase->isChecked());

  // A disabled radio group disables the box even on item 0.
  h.Form->SetInputFieldsEnable(false);
  EXPECT_FALSE(ui.CheckBox1541UUppercase->isEnabled());
  h.Form->SetInputFieldsEnable(true);
  EXPECT_TRUE(ui.CheckBox1541UUppercase->isEnabled());
}

TEST(Choosers, FolderButtonsFillTheirFieldsAndOnlyTheDestinationMayEditFolders) {
  TFormHarness h;
  const TForm1Ui& ui = h.Form->Ui();
  ui.EditSource->setText(QStringLiteral(" /start/here "));
  h.Dialogs.FolderAnswer = QStringLiteral("/chosen/source");
  h.Form->ButtonBrowseSourceClick();
  EXPECT_EQ(ui.EditSource->text(), QStringLiteral("/chosen/source"));
  EXPECT_EQ(h.Dialogs.FolderStarts.last(), QStringLiteral(" /start/here "));
  h.Dialogs.FolderAnswer = QStringLiteral("/chosen/dest");
  h.Form->ButtonBrowseDestClick();
  EXPECT_EQ(ui.EditDest->text(), QStringLiteral("/chosen/dest"));
  EXPECT_EQ(h.Dialogs.FolderForDestination, (std::vector<bool>{false, true}));

  h.Dialogs.FolderAnswer.clear();  // cancelled
  h.Form->ButtonBrowseDestClick();
  EXPECT_EQ(ui.EditDest->text(), QStringLiteral("/chosen/dest"));
}

TEST(Choosers, HvscFolderWithoutMusiciansGivesAWarningAndIsKept) {
  TFormHarness h;
  const TForm1Ui& ui = h.Form->Ui();
  const std::string bad = h.MakeFolder("not-hvsc");
  h.Dialogs.FolderAnswer = QString::fromStdString(bad);
  h.Form->ButtonBrowseHVSCClick();
  EXPECT_EQ(ui.EditHVSC->text(), QString::fromStdString(bad));
  EXPECT_EQ(h.Dialogs.Warnings,
            QStringList{QStringLiteral("This does not appear to be a valid HVSC root folder. It should contain "
                                       "MUSICIANS and GAMES subfolders.")});
  EXPECT_TRUE(h.Dialogs.Messages.isEmpty());

  // Only MUSICIANS is looked for; a trailing separator is not doubled.
  h.MakeFolder("hvsc/MUSICIANS");
  h.Dialogs.FolderAnswer = QString::fromStdString(h.Path("hvsc") + "/");
  h.Form->ButtonBrowseHVSCClick();
  EXPECT_EQ(h.Dialogs.Warnings.size(), 1);
  EXPECT_EQ(ui.EditHVSC->text(), h.Dialogs.FolderAnswer);
}

TEST(Choosers, FilterFileIsCheckedAndTakenEvenWhenItHasNoIds) {
  TFormHarness h;
  const TForm1Ui& ui = h.Form->Ui();
  const std::string empty = h.Path("empty.xml");
  const std::string xml = "<?xml version=\"1.0\"?><datafile><game name=\"Nothing\"/></datafile>";
  WriteWholeFile(empty, xml.data(), xml.size());

  // A field without a folder part starts in the program's folder.
  h.Dialogs.FilterAnswer = QString::fromStdString(empty);
  h.Form->ButtonFilterFileClick();
  EXPECT_EQ(h.Dialogs.FilterStarts.last(), h.Dir.path());
  EXPECT_EQ(h.Dialogs.Messages,
            QStringList{QStringLiteral("No game IDs found in file. Did you export with Game IDs?")});
  EXPECT_EQ(ui.EditFilterFile->text(), QString::fromStdString(empty));
  EXPECT_TRUE(ui.CheckBoxFilter->isChecked());
  EXPECT_EQ(QApplication::overrideCursor(), nullptr);

  // A usable list gives no message; the dialog starts in the field's folder.
  const std::string good = h.Path("good.xml");
  const std::string ids = "<datafile><game name=\"12\"></game><game name=\"7\"></game></datafile>";
  WriteWholeFile(good, ids.data(), ids.size());
  ui.CheckBoxFilter->setChecked(false);
  h.Dialogs.Messages.clear();
  h.Dialogs.FilterAnswer = QString::fromStdString(good);
  h.Form->ButtonFilterFileClick();
  EXPECT_EQ(h.Dialogs.FilterStarts.last(), QString::fromStdString(h.Dir.path().toStdString() + "/"));
  EXPECT_TRUE(h.Dialogs.Messages.isEmpty());
  EXPECT_TRUE(ui.CheckBoxFilter->isChecked());

  // A file that vanished reports the list's own error text.
  h.Dialogs.FilterAnswer = QString::fromStdString(h.Path("gone.xml"));
  h.Form->ButtonFilterFileClick();
  ASSERT_EQ(h.Dialogs.Messages.size(), 1);
  EXPECT_TRUE(h.Dialogs.Messages[0].contains(QStringLiteral("gone.xml")));
  EXPECT_EQ(QApplication::overrideCursor(), nullptr);

  // Cancelling changes nothing.
  h.Dialogs.FilterAnswer.clear();
  h.Form->ButtonFilterFileClick();
  EXPECT_EQ(ui.EditFilterFile->text(), QString::fromStdString(h.Path("gone.xml")));
}

TEST(Choosers, FilterFileButtonStaysUsableDuringAJobWithoutTouchingIt) {
  TFormHarness h;
  h.FakeReports = -1;
  h.UseExistingFolders();
  h.Form->ButtonGoClick();
  h.Dialogs.FilterAnswer = QString::fromStdString(h.Path("list.xml"));
  h.Form->ButtonFilterFileClick();
  EXPECT_EQ(h.Form->Ui().EditFilterFile->text(), h.Dialogs.FilterAnswer);
  EXPECT_TRUE(h.Form->JobRunning());
  EXPECT_EQ(h.Jobs.size(), 1u);
  EXPECT_TRUE(h.Jobs[0].FilterFile.empty());
  h.Form->ButtonAbortClick();
  ASSERT_TRUE(WaitUntil([&] { return !h.Form->JobRunning(); }));
}

}  // namespace
}  // namespace vq::test
