#include "ui/readme_window.h"

#include <QAction>
#include <QDesktopServices>
#include <QFile>
#include <QMenu>
#include <QMouseEvent>
#include <QRegularExpression>
#include <QTextBlock>
#include <QTextBrowser>
#include <QTextCursor>
#include <QTextDocument>
#include <QUrl>
#include <QVBoxLayout>

namespace vq {

namespace {

constexpr int kClientWidth = 544;
constexpr int kClientHeight = 542;
constexpr int kMargin = 10;
constexpr int kFontPixels = 11;
const char* const kDocument = ":/Resource_README";

// Characters that end a sentence rather than an address.
bool TrailingPunctuation(QChar c) { return QStringLiteral(".,;:!?)'\"").contains(c); }

}  // namespace

TFormReadme::TFormReadme(QWidget* parent)
    : QWidget(parent, Qt::Window | Qt::CustomizeWindowHint | Qt::WindowTitleHint | Qt::WindowSystemMenuHint |
                          Qt::WindowMaximizeButtonHint | Qt::WindowCloseButtonHint),
      RichEdit1(new QTextBrowser(this)),
      PopupMenu1(new QMenu(this)),
      ActionCopy(new QAction(QStringLiteral("Copy Selected Text"), this)),
      FOpenLink([](const QUrl& url) { return QDesktopServices::openUrl(url); }) {
  setObjectName(QStringLiteral("FormReadme"));
  setWindowTitle(QStringLiteral("Vondral64 Quillem README"));
  // The program ends with its main window, whether or not this one is open.
  setAttribute(Qt::WA_QuitOnClose, false);
  QFont tahoma(QStringLiteral("Tahoma"));
  tahoma.setPixelSize(kFontPixels);
  setFont(tahoma);
  resize(kClientWidth, kClientHeight);

  auto* layout = new QVBoxLayout(this);
  layout->setContentsMargins(kMargin, kMargin, kMargin, kMargin);
  layout->addWidget(RichEdit1);
  RichEdit1->setObjectName(QStringLiteral("RichEdit1"));
  RichEdit1->setFrameShape(QFrame::NoFrame);
  RichEdit1->setReadOnly(true);
  RichEdit1->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
  RichEdit1->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
  RichEdit1->setOpenLinks(false);
  RichEdit1->setOpenExternalLinks(false);
  RichEdit1->document()->setDefaultFont(tahoma);
  RichEdit1->setContextMenuPolicy(Qt::CustomContextMenu);
  RichEdit1->viewport()->installEventFilter(this);

  PopupMenu1->setObjectName(QStringLiteral("PopupMenu1"));
  ActionCopy->setObjectName(QStringLiteral("ActionCopy"));
  ActionCopy->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_C));
  ActionCopy->setShortcutContext(Qt::WidgetWithChildrenShortcut);
  addAction(ActionCopy);
  PopupMenu1->addAction(ActionCopy);

  connect(ActionCopy, &QAction::triggered, this, &TFormReadme::ActionCopyExecute);
  connect(RichEdit1, &QTextBrowser::copyAvailable, this, &TFormReadme::ActionCopyUpdate);
  connect(RichEdit1, &QTextBrowser::selectionChanged, this, &TFormReadme::ActionCopyUpdate);
  connect(RichEdit1, &QTextBrowser::anchorClicked, this, &TFormReadme::LinkClicked);
  connect(RichEdit1, &QTextBrowser::customContextMenuRequested, this, &TFormReadme::ShowPopupMenu);

  FormCreate();
  ActionCopyUpdate();
}

void TFormReadme::FormCreate() {
  QFile file{QString::fromLatin1(kDocument)};
  if (file.open(QIODevice::ReadOnly)) RichEdit1->setHtml(QString::fromUtf8(file.readAll()));
  LinkifyAddresses();
}

void TFormReadme::LinkifyAddresses() {
  QTextDocument* document = RichEdit1->document();
  static const QRegularExpression address(QStringLiteral(R"((?:https?://|www\.)[^\s<>"]+)"),
                                          QRegularExpression::CaseInsensitiveOption);
  QTextCursor found = document->find(address);
  while (!found.isNull()) {
    const int start = found.selectionStart();
    int end = found.selectionEnd();
    const QString text = found.selectedText();
    qsizetype keep = text.size();
    while (keep > 0 && TrailingPunctuation(text.at(keep - 1))) --keep;
    end = static_cast<int>(start + keep);
    QTextCursor probe(document);
    probe.setPosition(start + 1);
    if (keep > 0 && !probe.charFormat().isAnchor()) {
      QString href = text.left(keep);
      if (href.startsWith(QStringLiteral("www."), Qt::CaseInsensitive)) href.prepend(QStringLiteral("https://"));
      QTextCharFormat link;
      link.setAnchor(true);
      link.setAnchorHref(href);
      link.setForeground(palette().link());
      link.setFontUnderline(true);
      QTextCursor range(document);
      range.setPosition(start);
      range.setPosition(end, QTextCursor::KeepAnchor);
      range.mergeCharFormat(link);
    }
    found = document->find(address, found.selectionEnd());
  }
}

bool TFormReadme::eventFilter(QObject* watched, QEvent* event) {
  if (watched == RichEdit1->viewport() && event->type() == QEvent::MouseButtonPress) {
    const auto* mouse = static_cast<QMouseEvent*>(event);
    if (mouse->button() == Qt::LeftButton) FPressPosition = mouse->position().toPoint();
  }
  return QWidget::eventFilter(watched, event);
}

void TFormReadme::LinkClicked(const QUrl& url) {
  SelectLinkAt(FPressPosition);
  // Links to a part of this document move there.
  if (url.isRelative() && url.path().isEmpty() && url.hasFragment()) {
    RichEdit1->scrollToAnchor(url.fragment());
    return;
  }
  try {
    FOpenLink(url);
  } catch (...) {
    // A link that cannot be opened is ignored.
  }
}

void TFormReadme::SelectLinkAt(const QPoint& position) {
  const QString href = RichEdit1->anchorAt(position);
  if (href.isEmpty()) return;
  const QTextCursor at = RichEdit1->cursorForPosition(position);
  const int point = at.position();
  int runStart = -1;
  int runEnd = -1;
  for (auto it = at.block().begin(); !it.atEnd(); ++it) {
    const QTextFragment fragment = it.fragment();
    const bool inLink = fragment.charFormat().isAnchor() && fragment.charFormat().anchorHref() == href;
    if (inLink && runEnd == fragment.position()) {
      runEnd = fragment.position() + fragment.length();
    } else if (inLink) {
      if (runStart >= 0 && runStart <= point && point <= runEnd) break;
      runStart = fragment.position();
      runEnd = runStart + fragment.length();
    }
  }
  if (runStart < 0) return;
  QTextCursor selection(RichEdit1->document());
  selection.setPosition(runStart);
  selection.setPosition(runEnd, QTextCursor::KeepAnchor);
  RichEdit1->setTextCursor(selection);
}

void TFormReadme::ShowPopupMenu(const QPoint& position) {
  ActionCopyUpdate();
  PopupMenu1->popup(RichEdit1->viewport()->mapToGlobal(position));
}

void TFormReadme::ActionCopyExecute() {
  if (RichEdit1->textCursor().hasSelection()) RichEdit1->copy();
}

void TFormReadme::ActionCopyUpdate() { ActionCopy->setEnabled(RichEdit1->textCursor().hasSelection()); }

}  // namespace vq
