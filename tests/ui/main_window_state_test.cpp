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
#include <QSet>
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
          ui.EditHVSC,      ui.ButtonBrowseHVSC,  ui.EditFilterFile,     ui.ButtonFilterFile, ui.CheckBoxFilter,
          ui.CheckBoxTestMode, ui.GroupBoxOther, ui.RzMenuButtonProfile};
}

void ExpectInputs(const TForm1Ui& ui, bool enabled) {
  for (QWidget* widget : InputFields(ui)) {
    EXPECT_EQ(widget->isEnabled(), enabled) << widget->objectName().toStdString();
  }
  // Never part of the set.
  EXPECT_TRUE(ui.RzButtonReadme->isEnabled());
}

TEST(WindowLayout, ControlsAreLaidOutWholeVisibleAndApart) {
  TFormHarness h;
  TForm1& form = *h.Form;
  form.show();
  EXPECT_EQ(form.windowTitle(), QStringLiteral("Vondral64 Quillem SD"));
  EXPECT_FALSE(form.windowIcon().isNull());
  // The layout fixes the size: it follows the font, but the user cannot resize.
  EXPECT_EQ(form.minimumSize(), form.maximumSize());
  EXPECT_EQ(form.size(), form.sizeHint());
  EXPECT_FALSE(form.windowFlags() & Qt::WindowMaximizeButtonHint);
  EXPECT_TRUE(form.windowFlags() & Qt::WindowMinimizeButtonHint);

  // Every control is visible, whole inside the window, at least its least
  // size (or its set maximum), and overlaps no other.
  const TForm1Ui& ui = form.Ui();
  std::vector<QWidget*> controls = {
      ui.RzButtonReadme, ui.RzMenuButtonProfile, ui.LabelSourceFolder, ui.EditSource,    ui.ButtonBrowseSource,
      ui.LabelDestFolder, ui.EditDest,           ui.ButtonBrowseDest,  ui.CheckBoxSID,   ui.EditHVSC,
      ui.ButtonBrowseHVSC, ui.CheckBoxFilter,    ui.EditFilterFile,    ui.ButtonFilterFile, ui.CheckBoxAutoSwap,
      ui.CheckBoxExtractT64, ui.Panel1,          ui.CheckBox1541UUppercase, ui.CheckBoxTestMode, ui.ButtonVerify,
      ui.ButtonAbort,    ui.ButtonGo,       ui.LabelCpy,            ui.Image1};
  for (TRadioGroup* group : {ui.RadioGroupNFO, ui.RadioGroupFileNames}) {
    for (int i = 0; i < group->Count(); ++i) controls.push_back(group->Item(i));
  }
  auto place = [&](QWidget* w) { return QRect(w->mapTo(&form, QPoint(0, 0)), w->size()); };
  for (size_t i = 0; i < controls.size(); ++i) {
    QWidget* w = controls[i];
    const std::string name = w->objectName().isEmpty() ? w->metaObject()->className() : w->objectName().toStdString();
    EXPECT_TRUE(w->isVisible()) << name;
    EXPECT_TRUE(form.rect().contains(place(w))) << name;
    EXPECT_GE(w->width(), std::min(w->minimumSizeHint().width(), w->maximumWidth())) << name;
    EXPECT_GE(w->height(), w->minimumSizeHint().height()) << name;
    for (size_t j = 0; j < i; ++j) {
      EXPECT_FALSE(place(w).intersects(place(controls[j])))
          << name << " overlaps " << controls[j]->objectName().toStdString();
    }
  }
  // The logo is shown whole, the version label in full.
  EXPECT_GE(ui.Image1->contentsRect().width(), ui.Image1->pixmap().width());
  EXPECT_GE(ui.Image1->contentsRect().height(), ui.Image1->pixmap().height());
  EXPECT_GE(ui.LabelCpy->width(), ui.LabelCpy->sizeHint().width());
  EXPECT_GE(ui.LabelCpy->height(), ui.LabelCpy->sizeHint().height());

  // Mnemonics: the labels lead to their fields.
  EXPECT_EQ(ui.LabelSourceFolder->buddy(), ui.EditSource);
  EXPECT_EQ(ui.LabelDestFolder->buddy(), ui.EditDest);
  QStringList keys;
  for (QWidget* w : controls) {
    QString text = w->property("text").toString();
    const qsizetype amp = text.indexOf(QLatin1Char('&'));
    if (amp >= 0) keys << text.mid(amp + 1, 1).toUpper();
  }
  for (QGroupBox* box : {static_cast<QGroupBox*>(ui.RadioGroupNFO), static_cast<QGroupBox*>(ui.RadioGroupFileNames)}) {
    keys << box->title().mid(box->title().indexOf(QLatin1Char('&')) + 1, 1).toUpper();
  }
  EXPECT_EQ(keys.size(), 15);
  EXPECT_EQ(QSet<QString>(keys.begin(), keys.end()).size(), keys.size()) << keys.join(QLatin1Char(' ')).toStdString();
  EXPECT_EQ(form.findChild<QPushButton*>("ButtonGo")->text(), QStringLiteral("&Go!"));
  EXPECT_EQ(form.findChild<QCheckBox*>("CheckBoxTestMode")->text(),
            QStringLiteral("&Test Mode (only write GameList.csv)"));
  EXPECT_EQ(h.Form->Ui().LoadProfile1->text(), QStringLiteral("Load Settings..."));
  EXPECT_EQ(h.Form->Ui().SaveProfile1->text(), QStringLiteral("Save Settings..."));

  for (const char* name : {"LabelSourceFolder", "LabelDestFolder", "ButtonGo", "RzButtonReadme"}) {
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
  // The option groups left to right, then top to bottom.
  EXPECT_EQ(next(widget), ui.RadioGroupFileNames->Item(0));
  EXPECT_EQ(next(ui.RadioGroupFileNames->Item(2)), ui.RadioGroupNFO->Item(0));
  EXPECT_EQ(next(ui.RadioGroupNFO->Item(2)), ui.CheckBoxAutoSwap);
  EXPECT_EQ(next(ui.CheckBoxAutoSwap), ui.CheckBoxExtractT64);
  EXPECT_EQ(next(ui.CheckBoxExtractT64), ui.CheckBox1541UUppercase);
  EXPECT_EQ(next(ui.CheckBox1541UUppercase), ui.CheckBoxTestMode);
  EXPECT_EQ(next(ui.CheckBoxTestMode), ui.CheckBoxKeepGoing);
  EXPECT_EQ(next(ui.CheckBoxKeepGoing), ui.ButtonVerify);
  EXPECT_EQ(next(ui.ButtonVerify), ui.ButtonAbort);
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
  EXPECT_TRUE(ui.ButtonVerify->isEnabled());
  EXPECT_FALSE(ui.ButtonAbort->isEnabled());
  EXPECT_FALSE(borderTimer->isActive());

  h.Form->ButtonGoClick();
  ASSERT_TRUE(h.Form->JobRunning());
  ExpectInputs(ui, false);
  EXPECT_FALSE(ui.CheckBox1541UUppercase->isEnabled());
  EXPECT_FALSE(ui.ButtonGo->isEnabled());
  EXPECT_FALSE(ui.ButtonVerify->isEnabled());
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
  EXPECT_TRUE(ui.ButtonVerify->isEnabled());
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

}  // namespace
}  // namespace vq::test
