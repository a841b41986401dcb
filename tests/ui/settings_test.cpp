// The settings file and profiles: option keys, defaults and range rules,
// the byte image after a save, the window position and the file's place.
#include <gtest/gtest.h>
#include <signal.h>

#include <QCheckBox>
#include <QLineEdit>
#include <QRadioButton>

#include "base/file_system.h"
#include "ui/radio_group.h"
#include "ui/settings_path.h"
#include "ui/status_screen.h"
#include "ui/termination_watcher.h"
#include "ui/ui_test_util.h"

namespace vq::test {
namespace {

std::string Options(const std::string& lines) { return "[]\r\n" + lines; }

TEST(SettingsPlace, InTheUsersConfigurationFolderUnlessAPortableCopyExists) {
  struct Case {
    const char* exe;
    const char* xdg;
    const char* home;
    const char* existing;  // the one file that exists
    const char* expected;
  };
  const Case cases[] = {
      {"/usr/bin/vqsd-gui", "/home/u/cfg", "/home/u", "", "/home/u/cfg/vqsd/vqsd-gui.ini"},
      {"/usr/bin/vqsd-gui", "/home/u/cfg/", "/home/u", "", "/home/u/cfg/vqsd/vqsd-gui.ini"},
      {"/usr/bin/vqsd-gui", "", "/home/u", "", "/home/u/.config/vqsd/vqsd-gui.ini"},
      // A relative XDG_CONFIG_HOME is invalid and ignored.
      {"/usr/bin/vqsd-gui", "cfg", "/home/u/", "", "/home/u/.config/vqsd/vqsd-gui.ini"},
      // A portable copy beside the program wins, but only when it exists.
      {"/opt/vq/vqsd-gui", "/x", "/home/u", "/opt/vq/vqsd-gui.ini", "/opt/vq/vqsd-gui.ini"},
      {"/opt/vq/vqsd-gui.bin", "", "/home/u", "/opt/vq/vqsd-gui.ini", "/opt/vq/vqsd-gui.ini"},
      {"/opt/v.q/vqsd-gui", "", "/home/u", "/opt/v.q/vqsd-gui.ini", "/opt/v.q/vqsd-gui.ini"},
      {"/opt/vq/vqsd-gui", "", "/home/u", "/opt/vq/vqsd-gui.bin.ini", "/home/u/.config/vqsd/vqsd-gui.ini"},
  };
  for (const Case& c : cases) {
    const std::string existing = c.existing;
    EXPECT_EQ(SettingsFilePath(c.exe, c.xdg, c.home, [&](const std::string& path) { return path == existing; }),
              c.expected)
        << c.exe << " " << c.xdg;
  }
}

TEST(SettingsFile, FirstStartGivesTheDefaults) {
  TFormHarness h;
  const TForm1Ui& ui = h.Form->Ui();
  EXPECT_TRUE(ui.EditSource->text().isEmpty());
  EXPECT_TRUE(ui.EditDest->text().isEmpty());
  EXPECT_EQ(ui.RadioGroupFileNames->ItemIndex(), 0);
  EXPECT_EQ(ui.RadioGroupNFO->ItemIndex(), 0);
  for (QCheckBox* box : {ui.CheckBoxSID, ui.CheckBoxFilter, ui.CheckBoxAutoSwap, ui.CheckBoxExtractT64,
                         ui.CheckBox1541UUppercase, ui.CheckBoxTestMode}) {
    EXPECT_FALSE(box->isChecked()) << box->objectName().toStdString();
  }
  EXPECT_TRUE(ui.CheckBox1541UUppercase->isEnabled());
}

TEST(SettingsFile, CloseWritesTheWholeFileByteForByte) {
  TFormHarness h;
  const TForm1Ui& ui = h.Form->Ui();
  ui.EditSource->setText(QStringLiteral(" /games  "));
  ui.EditDest->setText(QStringLiteral("/media/sd card"));
  ui.RadioGroupFileNames->SetItemIndex(1);
  ui.RadioGroupNFO->SetItemIndex(2);
  ui.CheckBoxSID->setChecked(true);
  ui.EditHVSC->setText(QStringLiteral("/hvsc/C64Music"));
  ui.EditFilterFile->setText(QStringLiteral("/lists/Ünïcode.xml"));
  ui.CheckBoxExtractT64->setChecked(true);
  ui.CheckBoxTestMode->setChecked(true);
  ASSERT_TRUE(h.Form->close());
  const QPoint at = h.Form->pos();
  const std::string expected = "[FormState]\r\nMaximized=0\r\nLeft=" + std::to_string(at.x()) +
                               "\r\nTop=" + std::to_string(at.y()) +
                               "\r\nSaved=1\r\n\r\n"
                               "[]\r\nSourceDir= /games  \r\nDestDir=/media/sd card\r\nFilenamestyle=1\r\n"
                               "NFOStyle=2\r\nSIDs=1\r\nHVSCDir=/hvsc/C64Music\r\n"
                               "FilterFile=/lists/\xC3\x9Cn\xC3\xAF" "code.xml\r\nFilter=0\r\nAutoswap=0\r\n"
                               "ExtractT64=1\r\nForce1541UppercaseNames=0\r\nTestMode=1\r\nKeepGoing=0\r\n\r\n";
  EXPECT_EQ(ReadWholeFileAsString(h.Path("vqsd-gui.ini")), expected);

  // The next start reads every line trimmed, and keeps the rest.
  TIniFile again(h.Path("vqsd-gui.ini"));
  TFakeDialogs dialogs;
  TForm1 next(again, dialogs);
  EXPECT_EQ(next.Ui().EditSource->text(), QStringLiteral("/games"));
  EXPECT_EQ(next.Ui().EditFilterFile->text(), QStringLiteral("/lists/Ünïcode.xml"));
  EXPECT_EQ(next.Ui().RadioGroupFileNames->ItemIndex(), 1);
  EXPECT_FALSE(next.Ui().CheckBox1541UUppercase->isEnabled());
}

TEST(SettingsFile, UnknownSectionsAndKeysKeepTheirPlace) {
  const std::string before =
      "; a comment is not kept\r\n[Extra]\r\nColour=blue\r\n\r\n[]\r\nTestMode=1\r\nUnknown=x\r\n"
      "SourceDir=/s\r\n\r\n[FormState]\r\nSaved=0\r\nRight=99\r\n";
  TFormHarness h(before);
  EXPECT_TRUE(h.Form->Ui().CheckBoxTestMode->isChecked());
  ASSERT_TRUE(h.Form->close());
  const QPoint at = h.Form->pos();
  const std::string expected =
      "[Extra]\r\nColour=blue\r\n\r\n"
      "[]\r\nTestMode=1\r\nUnknown=x\r\nSourceDir=/s\r\nDestDir=\r\nFilenamestyle=0\r\nNFOStyle=0\r\nSIDs=0\r\n"
      "HVSCDir=\r\nFilterFile=\r\nFilter=0\r\nAutoswap=0\r\nExtractT64=0\r\nForce1541UppercaseNames=0\r\nKeepGoing=0\r\n\r\n"
      "[FormState]\r\nSaved=1\r\nRight=99\r\nMaximized=0\r\nLeft=" +
      std::to_string(at.x()) + "\r\nTop=" + std::to_string(at.y()) + "\r\n\r\n";
  EXPECT_EQ(ReadWholeFileAsString(h.Path("vqsd-gui.ini")), expected);
}

TEST(SettingsFile, ValuesOutsideTheirRangeAreCorrectedOrFallBack) {
  struct Case {
    std::string lines;
    int style;
    int nfo;
    bool sids;
  };
  const Case cases[] = {
      {"Filenamestyle=7\r\n", 2, 0, false},       {"Filenamestyle=-1\r\n", 2, 0, false},
      {"Filenamestyle=0x1\r\n", 1, 0, false},     {"Filenamestyle=$2\r\n", 2, 0, false},
      {"Filenamestyle=one\r\n", 0, 0, false},     {"NFOStyle=5\r\n", 0, 2, false},
      {"NFOStyle=-3\r\n", 0, -1, false},          {"NFOStyle=1\r\nSIDs=yes\r\n", 0, 1, false},
      {"SIDs=2\r\n", 0, 0, true},                 {"sids = 1\r\nFILENAMESTYLE= 1\r\n", 1, 0, true},
  };
  for (const Case& c : cases) {
    TFormHarness h(Options(c.lines));
    const TForm1Ui& ui = h.Form->Ui();
    EXPECT_EQ(ui.RadioGroupFileNames->ItemIndex(), c.style) << c.lines;
    EXPECT_EQ(ui.RadioGroupNFO->ItemIndex(), c.nfo) << c.lines;
    EXPECT_EQ(ui.CheckBoxSID->isChecked(), c.sids) << c.lines;
    EXPECT_EQ(ui.CheckBox1541UUppercase->isEnabled(), c.style == 0) << c.lines;
  }
}

TEST(SettingsFile, AFileThatCannotBeWrittenDoesNotKeepTheWindowOpen) {
  TIniFile store("/proc/vq-no-such-folder/vqsd-gui.ini");
  TFakeDialogs dialogs;
  TForm1 form(store, dialogs);
  form.show();
  EXPECT_TRUE(form.close());
  EXPECT_FALSE(form.isVisible());
  EXPECT_EQ(dialogs.DialogCount(), 0);
}

TEST(SettingsFile, CloseCreatesAMissingConfigurationFolder) {
  QTemporaryDir dir;
  const std::string file = dir.filePath(QStringLiteral("config/sub/vqsd-gui.ini")).toStdString();
  TIniFile store(file);
  TFakeDialogs dialogs;
  TForm1 form(store, dialogs);
  EXPECT_TRUE(form.close());
  EXPECT_TRUE(FileExists(file));
}

TEST(SettingsFile, SigTermClosesTheWindowAfterAbortingTheJobAndSavesTheSettings) {
  TFormHarness h;
  h.FakeReports = -1;
  h.UseExistingFolders();
  h.Form->show();
  h.Form->ButtonGoClick();
  ASSERT_TRUE(h.Form->JobRunning());
  bool closed = false;
  {
    TTerminationWatcher watcher([&] { closed = h.Form->close(); });
    ASSERT_EQ(raise(SIGTERM), 0);
    ASSERT_TRUE(WaitUntil([&] { return closed; }));
  }
  EXPECT_FALSE(h.Form->JobRunning());
  EXPECT_FALSE(h.Form->isVisible());
  EXPECT_EQ(h.Jobs.size(), 1u);
  EXPECT_NE(ReadWholeFileAsString(h.Path("vqsd-gui.ini")).find("SourceDir=" + h.Path("src") + "\r\n"),
            std::string::npos);
}

TEST(WindowPosition, StoredPositionIsUsedUnlessItIsOnNoScreen) {
  {
    TFormHarness h("[FormState]\r\nSaved=1\r\nLeft=40\r\nTop=30\r\n");
    h.Form->show();
    EXPECT_EQ(h.Form->pos(), QPoint(40, 30));
  }
  {
    TFormHarness h("[FormState]\r\nSaved=1\r\nLeft=-30000\r\nTop=25000\r\n");
    h.Form->show();
    EXPECT_EQ(h.Form->pos(), QPoint(0, 0));
  }
  {
    // Without Saved the window is centred and the stored values are ignored.
    TFormHarness h("[FormState]\r\nLeft=40\r\nTop=30\r\n");
    h.Form->show();
    EXPECT_NE(h.Form->pos(), QPoint(40, 30));
  }
}

TEST(Profiles, SavingOverAFileKeepsItsOtherContentAndReplacesTheTwelveValues) {
  TFormHarness h;
  const std::string profile = h.Path("mine.vqsini");
  const std::string old = "[Notes]\r\nText=keep me\r\n\r\n[]\r\nTestMode=1\r\nSourceDir=/old\r\nExtra=7\r\n";
  WriteWholeFile(profile, old.data(), old.size());
  const TForm1Ui& ui = h.Form->Ui();
  ui.EditSource->setText(QStringLiteral("/new"));
  ui.CheckBoxAutoSwap->setChecked(true);
  h.Dialogs.SaveAnswer = QString::fromStdString(profile);
  h.Form->SaveProfile1Click();
  EXPECT_EQ(h.Dialogs.ProfileStarts, QStringList{h.Dir.path()});
  EXPECT_EQ(ReadWholeFileAsString(profile),
            "[Notes]\r\nText=keep me\r\n\r\n[]\r\nTestMode=0\r\nSourceDir=/new\r\nExtra=7\r\nDestDir=\r\n"
            "Filenamestyle=0\r\nNFOStyle=0\r\nSIDs=0\r\nHVSCDir=\r\nFilterFile=\r\nFilter=0\r\nAutoswap=1\r\n"
            "ExtractT64=0\r\nForce1541UppercaseNames=0\r\nKeepGoing=0\r\n\r\n");
  EXPECT_EQ(h.Form->Status(), QStringLiteral("Settings Saved.\r\n\r\nREADY."));
  // The settings file itself is not touched by a profile.
  EXPECT_FALSE(FileExists(h.Path("vqsd-gui.ini")));
}

TEST(Profiles, LoadingResetsMissingKeysAndShowsTheStatusAtTheNextTick) {
  TFormHarness h;
  const TForm1Ui& ui = h.Form->Ui();
  ui.EditDest->setText(QStringLiteral("/dest"));
  ui.CheckBoxAutoSwap->setChecked(true);
  ui.RadioGroupNFO->SetItemIndex(2);
  const std::string profile = h.Path("p.vqsini");
  const std::string text = "[]\r\nSourceDir=  /from/profile  \r\nFilenamestyle=2\r\n";
  WriteWholeFile(profile, text.data(), text.size());
  h.Dialogs.LoadAnswer = QString::fromStdString(profile);
  h.Form->LoadProfile1Click();
  EXPECT_EQ(ui.EditSource->text(), QStringLiteral("/from/profile"));
  EXPECT_TRUE(ui.EditDest->text().isEmpty());
  EXPECT_FALSE(ui.CheckBoxAutoSwap->isChecked());
  EXPECT_EQ(ui.RadioGroupNFO->ItemIndex(), 0);
  EXPECT_EQ(ui.RadioGroupFileNames->ItemIndex(), 2);
  EXPECT_FALSE(ui.CheckBox1541UUppercase->isEnabled());
  EXPECT_EQ(h.Form->Status(), QStringLiteral("Settings Loaded.\r\n\r\nREADY."));
  h.Form->TimerUpdateStatusTimer();
  EXPECT_TRUE(ui.Panel1->Text().startsWith(QStringLiteral("Settings Loaded.\r\n\r\nREADY.")));

  // Cancelling either dialog does nothing.
  h.Dialogs.LoadAnswer.clear();
  h.Form->SetStatus(QStringLiteral("READY."));
  h.Form->LoadProfile1Click();
  h.Form->SaveProfile1Click();
  EXPECT_EQ(h.Form->Status(), QStringLiteral("READY."));
}

}  // namespace
}  // namespace vq::test
