#include "ui/form1_ui.h"

#include <QAction>
#include <QCheckBox>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QVBoxLayout>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QPixmap>
#include <QPushButton>
#include <QRadioButton>

#include "ui/radio_group.h"
#include "ui/status_screen.h"

namespace vq {

namespace {

constexpr int kToolTipDuration = 15000;

// The tooltip texts separate their lines with single CR characters.
const char* const kUppercaseHint =
    "If your 1541-U is using a very old firmware,\rselect this to force all folder names to be\ruppercase. "
    "This corrects problems with sorting\rand quick search in very old 1541-U firmware\rversions.\r\r"
    "(This was the behavior of Vondral Quillem SD\rbefore 4.0.)\r\r"
    "If you own a mark-1 1541 Ultimate, see the README\rfor where to find updated firmware instead.";
const char* const kTestModeHint =
    "THIS WILL STILL DELETE ANY EXISTING VONDRAL SD OUTPUT FILES IN THE DESTINATION FOLDER!\r\r"
    "Test mode does everything except create the individual game folders and extract the archives.\r\r"
    "The GameList.csv file is still written so you can examine the output structure without creating all "
    "the files.";
const char* const kKeepGoingHint =
    "A game whose extraction fails (a damaged zip, an entry too large) is left out, its folder removed,\r"
    "and the reason is noted in GameList.csv; the job goes on with the next game.\r\r"
    "A full or read-only card still ends the job.";
const char* const kVerifyHint =
    "Reads every file the last job wrote into the output folder and compares it with the job's record.\r"
    "Lists what is missing or changed, what the job did not write and the folders out of order.\r\r"
    "Writes nothing.";
// The version label's fixed lines under the version.
const char* const kNotice = "Free software; see the README";

template <typename W>
W* Make(QWidget* parent, const char* name) {
  auto* widget = new W(parent);
  widget->setObjectName(QLatin1String(name));
  return widget;
}

QPushButton* MakeButton(QWidget* parent, const char* name, const QString& caption) {
  auto* button = Make<QPushButton>(parent, name);
  button->setText(caption);
  return button;
}

// A "..." button: as narrow as its caption allows.
QPushButton* MakeBrowseButton(QWidget* parent, const char* name) {
  auto* button = MakeButton(parent, name, QStringLiteral("..."));
  button->setSizePolicy(QSizePolicy::Fixed, QSizePolicy::Fixed);
  button->setMaximumWidth(button->fontMetrics().horizontalAdvance(QStringLiteral("...")) + 16);
  return button;
}

QCheckBox* MakeCheckBox(QWidget* parent, const char* name, const QString& caption) {
  auto* box = Make<QCheckBox>(parent, name);
  box->setText(caption);
  return box;
}

QLabel* MakeLabel(QWidget* parent, const char* name, const QString& caption) {
  auto* label = new QLabel(caption, parent);
  label->setObjectName(QLatin1String(name));
  return label;
}

void SetHint(QWidget* widget, const char* crText) {
  widget->setToolTip(QString::fromUtf8(crText).replace(QLatin1Char('\r'), QLatin1Char('\n')));
  widget->setToolTipDuration(kToolTipDuration);
}

void MakeBold(QWidget* widget) {
  QFont font = widget->font();
  font.setBold(true);
  widget->setFont(font);
}

}  // namespace

void TForm1Ui::SetupUi(QWidget* form) {
  RzButtonReadme = MakeButton(form, "RzButtonReadme", QStringLiteral("&Read the Readme"));
  RzMenuButtonProfile = MakeButton(form, "RzMenuButtonProfile", QStringLiteral("&Load/Save Settings"));
  ProfileMenu = new QMenu(RzMenuButtonProfile);
  ProfileMenu->setObjectName(QStringLiteral("ProfileMenu"));
  LoadProfile1 = ProfileMenu->addAction(QStringLiteral("Load Settings..."));
  LoadProfile1->setObjectName(QStringLiteral("LoadProfile1"));
  SaveProfile1 = ProfileMenu->addAction(QStringLiteral("Save Settings..."));
  SaveProfile1->setObjectName(QStringLiteral("SaveProfile1"));
  RzMenuButtonProfile->setMenu(ProfileMenu);

  LabelSourceFolder = MakeLabel(form, "LabelSourceFolder", QStringLiteral("&Source folder (Vondral64 Games folder):"));
  EditSource = Make<QLineEdit>(form, "EditSource");
  LabelSourceFolder->setBuddy(EditSource);
  ButtonBrowseSource = MakeBrowseButton(form, "ButtonBrowseSource");
  LabelDestFolder =
      MakeLabel(form, "LabelDestFolder", QStringLiteral("&Destination folder: (Did you read the README?)"));
  EditDest = Make<QLineEdit>(form, "EditDest");
  LabelDestFolder->setBuddy(EditDest);
  ButtonBrowseDest = MakeBrowseButton(form, "ButtonBrowseDest");
  CheckBoxSID = MakeCheckBox(form, "CheckBoxSID",
                             QStringLiteral("Include game S&IDs: (Optional. Path to root of HVSC collection.)"));
  EditHVSC = Make<QLineEdit>(form, "EditHVSC");
  ButtonBrowseHVSC = MakeBrowseButton(form, "ButtonBrowseHVSC");
  CheckBoxFilter = MakeCheckBox(
      form, "CheckBoxFilter", QStringLiteral("Use Game ID RomLister Export as &Filter (Optional. See README.)"));
  EditFilterFile = Make<QLineEdit>(form, "EditFilterFile");
  ButtonFilterFile = MakeBrowseButton(form, "ButtonFilterFile");

  RadioGroupNFO = new TRadioGroup(QStringLiteral("VERSION.&NFO Files"),
                                  {QStringLiteral("Include; Optimize Format"), QStringLiteral("Include; No Reformat"),
                                   QStringLiteral("Exclude")},
                                  form);
  RadioGroupNFO->setObjectName(QStringLiteral("RadioGroupNFO"));
  RadioGroupNFO->SetItemIndex(0);
  RadioGroupFileNames = new TRadioGroup(
      QStringLiteral("File/Folder &Optimization"),
      {QStringLiteral("1541 Ultimate"), QStringLiteral("sd2iec"), QStringLiteral("None")}, form);
  RadioGroupFileNames->setObjectName(QStringLiteral("RadioGroupFileNames"));
  RadioGroupFileNames->SetItemIndex(0);

  GroupBoxSD2IEC = Make<QGroupBox>(form, "GroupBoxSD2IEC");
  GroupBoxSD2IEC->setTitle(QStringLiteral("sd2iec Optimizations"));
  CheckBoxAutoSwap = MakeCheckBox(GroupBoxSD2IEC, "CheckBoxAutoSwap",
                                  QStringLiteral("Make AUTOS&WAP.LST for Multi-Disk D64 Games"));
  CheckBoxExtractT64 =
      MakeCheckBox(GroupBoxSD2IEC, "CheckBoxExtractT64", QStringLiteral("Extract T&64 Files to Pxx Files"));

  Panel1 = new TStatusScreen(form);

  GroupBoxOther = Make<QGroupBox>(form, "GroupBoxOther");
  GroupBoxOther->setTitle(QStringLiteral("Other"));
  CheckBox1541UUppercase = MakeCheckBox(GroupBoxOther, "CheckBox1541UUppercase",
                                        QStringLiteral("Ancient 1541-U &Uppercase Mode"));
  SetHint(CheckBox1541UUppercase, kUppercaseHint);
  CheckBoxTestMode = MakeCheckBox(GroupBoxOther, "CheckBoxTestMode", QStringLiteral("&Test Mode (only write GameList.csv)"));
  SetHint(CheckBoxTestMode, kTestModeHint);
  CheckBoxKeepGoing = MakeCheckBox(GroupBoxOther, "CheckBoxKeepGoing",
                                   QStringLiteral("&Keep going past a game that fails"));
  SetHint(CheckBoxKeepGoing, kKeepGoingHint);

  ButtonVerify = MakeButton(form, "ButtonVerify", QStringLiteral("&Verify the Card"));
  SetHint(ButtonVerify, kVerifyHint);
  ButtonAbort = MakeButton(form, "ButtonAbort", QStringLiteral("&Abort"));
  ButtonAbort->setEnabled(false);
  ButtonGo = MakeButton(form, "ButtonGo", QStringLiteral("&Go!"));

  LabelCpy = MakeLabel(form, "LabelCpy", QString::fromUtf8(kNotice));
  LabelCpy->setAlignment(Qt::AlignRight | Qt::AlignTop);
  Image1 = Make<QLabel>(form, "Image1");
  Image1->setPixmap(QPixmap(QStringLiteral(":/logo.png")));
  Image1->setAlignment(Qt::AlignRight | Qt::AlignTop);

  for (QWidget* widget : {static_cast<QWidget*>(LabelSourceFolder), static_cast<QWidget*>(LabelDestFolder),
                          static_cast<QWidget*>(ButtonGo), static_cast<QWidget*>(RzButtonReadme)}) {
    MakeBold(widget);
  }
  Layout(form);

  QWidget* const tabOrder[] = {
      RzButtonReadme,  RzMenuButtonProfile,     EditSource,       ButtonBrowseSource,
      EditDest,        ButtonBrowseDest,        CheckBoxSID,      EditHVSC,
      ButtonBrowseHVSC, CheckBoxFilter,         EditFilterFile,   ButtonFilterFile,
      RadioGroupFileNames->Item(0), RadioGroupFileNames->Item(1), RadioGroupFileNames->Item(2),
      RadioGroupNFO->Item(0),       RadioGroupNFO->Item(1),       RadioGroupNFO->Item(2),
      CheckBoxAutoSwap, CheckBoxExtractT64,     CheckBox1541UUppercase, CheckBoxTestMode,
      CheckBoxKeepGoing, ButtonVerify,    ButtonAbort,     ButtonGo,
  };
  for (size_t i = 1; i < std::size(tabOrder); ++i) QWidget::setTabOrder(tabOrder[i - 1], tabOrder[i]);
}

void TForm1Ui::Layout(QWidget* form) {
  // The top row: the two buttons, then the version label and the logo.
  auto* top = new QHBoxLayout;
  auto* buttons = new QHBoxLayout;
  buttons->addWidget(RzButtonReadme);
  buttons->addWidget(RzMenuButtonProfile);
  auto* left = new QVBoxLayout;
  left->addLayout(buttons);
  left->addStretch();
  top->addLayout(left);
  top->addStretch();
  top->addWidget(LabelCpy, 0, Qt::AlignBottom);
  top->addWidget(Image1, 0, Qt::AlignTop);

  // The folder and file fields, each with its "..." button.
  auto* fields = new QGridLayout;
  fields->setVerticalSpacing(4);
  const std::pair<QWidget*, std::pair<QLineEdit*, QPushButton*>> rows[] = {
      {LabelSourceFolder, {EditSource, ButtonBrowseSource}},
      {LabelDestFolder, {EditDest, ButtonBrowseDest}},
      {CheckBoxSID, {EditHVSC, ButtonBrowseHVSC}},
      {CheckBoxFilter, {EditFilterFile, ButtonFilterFile}},
  };
  int row = 0;
  for (const auto& [caption, field] : rows) {
    if (row > 0) fields->setRowMinimumHeight(row++, 6);
    fields->addWidget(caption, row++, 0, 1, 2);
    fields->addWidget(field.first, row, 0);
    fields->addWidget(field.second, row++, 1);
  }

  // The options on the left, the status screen with the job buttons on the right.
  auto* radios = new QHBoxLayout;
  radios->addWidget(RadioGroupFileNames);
  radios->addWidget(RadioGroupNFO);
  for (QGroupBox* box : {GroupBoxSD2IEC, GroupBoxOther}) {
    auto* boxLayout = new QVBoxLayout(box);
    for (QObject* child : box->children()) {
      if (auto* widget = qobject_cast<QCheckBox*>(child)) boxLayout->addWidget(widget);
    }
  }
  auto* options = new QVBoxLayout;
  options->addLayout(radios);
  options->addWidget(GroupBoxSD2IEC);
  options->addWidget(GroupBoxOther);
  options->addStretch();
  auto* jobButtons = new QHBoxLayout;
  jobButtons->addWidget(ButtonVerify);
  jobButtons->addStretch();
  jobButtons->addWidget(ButtonAbort);
  jobButtons->addWidget(ButtonGo);
  auto* screen = new QVBoxLayout;
  screen->addWidget(Panel1, 1);
  screen->addLayout(jobButtons);
  auto* bottom = new QHBoxLayout;
  bottom->addLayout(options);
  bottom->addLayout(screen, 1);

  auto* main = new QVBoxLayout(form);
  main->setSizeConstraint(QLayout::SetFixedSize);
  main->addLayout(top);
  main->addLayout(fields);
  main->addSpacing(8);
  main->addLayout(bottom);
}

}  // namespace vq
