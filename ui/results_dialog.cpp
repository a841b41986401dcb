#include "ui/results_dialog.h"

#include <QApplication>
#include <QDialogButtonBox>
#include <QDir>
#include <QFontMetrics>
#include <QPushButton>
#include <QSaveFile>
#include <QScreen>
#include <QTextEdit>
#include <QVBoxLayout>

#include "ui/dialogs.h"

namespace vq {

namespace {

// The view's size in average characters and lines, within the screen.
constexpr int kViewColumns = 110;
constexpr int kViewLines = 30;

QString Escaped(const std::string& text) { return QString::fromStdString(text).toHtmlEscaped(); }

// `results` as the text view shows it: the summary with its line breaks
// back (FlattenStatus made them " | "), then each list under its title and
// count, its items indented and their blanks kept.
QString ResultsHtml(const TJobResults& results) {
  QString html = QStringLiteral("<p>") +
                 QString::fromStdString(results.Summary).toHtmlEscaped().replace(QStringLiteral(" | "),
                                                                                 QStringLiteral("<br>")) +
                 QStringLiteral("</p>");
  if (results.Sections.empty()) html += QStringLiteral("<p><i>Nothing to list.</i></p>");
  for (const TResultSection& section : results.Sections) {
    html += QStringLiteral("<p><b>%1 (%2)</b></p><p style=\"margin-left:16px; white-space:pre-wrap\">")
                .arg(Escaped(section.Title))
                .arg(section.Lines.size());
    for (size_t i = 0; i < section.Lines.size(); ++i) {
      if (i > 0) html += QStringLiteral("<br>");
      html += Escaped(section.Lines[i]);
    }
    html += QStringLiteral("</p>");
  }
  return html;
}

}  // namespace

QString DefaultResultsFile() { return QDir::home().filePath(QStringLiteral("vqsd-results.txt")); }

bool SaveResults(const TJobResults& results, TDialogs& dialogs, const QString& start) {
  const QString fileName = dialogs.ChooseResultsFile(start);
  if (fileName.isEmpty()) return false;
  const std::string text = ResultsText(results);
  // QSaveFile writes beside the file and replaces it only on commit: a
  // failure leaves an earlier file as it was.
  QSaveFile file(fileName);
  if (file.open(QIODevice::WriteOnly) && file.write(text.data(), static_cast<qint64>(text.size())) ==
                                             static_cast<qint64>(text.size()) &&
      file.commit()) {
    return true;
  }
  dialogs.ShowMessage(QStringLiteral("Cannot save the results to \"%1\": %2").arg(fileName, file.errorString()));
  return false;
}

TResultsDialog::TResultsDialog(TJobResults results, TDialogs& dialogs, QWidget* parent)
    : QDialog(parent),
      results_(std::move(results)),
      dialogs_(dialogs),
      textResults_(new QTextEdit(this)),
      buttonSave_(new QPushButton(QStringLiteral("&Save..."), this)),
      buttonClose_(new QPushButton(QStringLiteral("&Close"), this)) {
  setObjectName(QStringLiteral("ResultsDialog"));
  setWindowTitle(QApplication::applicationName() + QStringLiteral(": Results"));
  textResults_->setObjectName(QStringLiteral("TextResults"));
  textResults_->setReadOnly(true);
  textResults_->setTextInteractionFlags(Qt::TextSelectableByMouse | Qt::TextSelectableByKeyboard);
  textResults_->setLineWrapMode(QTextEdit::WidgetWidth);
  textResults_->setHtml(ResultsHtml(results_));
  buttonSave_->setObjectName(QStringLiteral("ButtonSave"));
  buttonClose_->setObjectName(QStringLiteral("ButtonClose"));
  buttonSave_->setAutoDefault(false);
  buttonClose_->setDefault(true);

  auto* buttons = new QDialogButtonBox(this);
  buttons->addButton(buttonSave_, QDialogButtonBox::ActionRole);
  buttons->addButton(buttonClose_, QDialogButtonBox::RejectRole);
  connect(buttonSave_, &QPushButton::clicked, this, &TResultsDialog::ButtonSaveClick);
  connect(buttonClose_, &QPushButton::clicked, this, &QDialog::reject);
  auto* layout = new QVBoxLayout(this);
  layout->addWidget(textResults_, 1);
  layout->addWidget(buttons);

  const QFontMetrics metrics(textResults_->font());
  QSize wanted(metrics.averageCharWidth() * kViewColumns, metrics.lineSpacing() * kViewLines);
  if (const QScreen* screen = QGuiApplication::primaryScreen()) {
    wanted = wanted.boundedTo(screen->availableGeometry().size() * 9 / 10);
  }
  resize(wanted);
}

void TResultsDialog::ButtonSaveClick() { SaveResults(results_, dialogs_, DefaultResultsFile()); }

}  // namespace vq
