#pragma once

#include <QPoint>
#include <QWidget>
#include <functional>

class QAction;
class QMenu;
class QTextBrowser;
class QUrl;

namespace vq {

// The user documentation in a read-only viewer. A single left click on a
// link selects the link and opens it with the user's default application.
// Closing the window only hides it.
class TFormReadme : public QWidget {
  Q_OBJECT

 public:
  // Opens a link; returns false when it could not. Errors are ignored.
  using TLinkOpener = std::function<bool(const QUrl&)>;

  // Creates the hidden window and loads the embedded document once.
  explicit TFormReadme(QWidget* parent = nullptr);

  // Replaces how links are opened (tests); the default is the desktop's.
  void SetLinkOpener(TLinkOpener opener) { FOpenLink = std::move(opener); }
  // The viewer, RichEdit1.
  QTextBrowser* Viewer() const { return RichEdit1; }
  // "Copy Selected Text".
  QAction* CopyAction() const { return ActionCopy; }

  // Copies the viewer's selection to the clipboard.
  void ActionCopyExecute();
  // Enables the copy action exactly when text is selected.
  void ActionCopyUpdate();

 protected:
  bool eventFilter(QObject* watched, QEvent* event) override;

 private:
  void FormCreate();
  void LinkClicked(const QUrl& url);
  void LinkifyAddresses();
  void SelectLinkAt(const QPoint& position);
  void ShowPopupMenu(const QPoint& position);

  QTextBrowser* RichEdit1;
  QMenu* PopupMenu1;
  QAction* ActionCopy;
  TLinkOpener FOpenLink;
  QPoint FPressPosition;
};

}  // namespace vq
