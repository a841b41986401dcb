// The readme window: the embedded document, links, the copy action and
// closing that only hides.
#include "ui/readme_window.h"

#include <gtest/gtest.h>

#include <QAction>
#include <QApplication>
#include <QClipboard>
#include <QPushButton>
#include <QScrollBar>
#include <QTest>
#include <QTextBlock>
#include <QTextBrowser>
#include <QTextCursor>
#include <QTextDocument>
#include <QUrl>

#include "ui/ui_test_util.h"

namespace vq::test {
namespace {

// Scrolls to the first link whose address satisfies `wanted` and returns
// the viewport position of its middle, with the link's text; an empty text
// when there is none. The text cursor is left there without a selection.
std::pair<QPoint, QString> FindLink(QTextBrowser* viewer, const std::function<bool(const QString&)>& wanted) {
  QTextDocument* document = viewer->document();
  for (QTextBlock block = document->begin(); block.isValid(); block = block.next()) {
    for (auto it = block.begin(); !it.atEnd(); ++it) {
      const QTextFragment fragment = it.fragment();
      const QTextCharFormat format = fragment.charFormat();
      if (!format.isAnchor() || !wanted(format.anchorHref())) continue;
      QTextCursor cursor(document);
      cursor.setPosition(fragment.position() + fragment.length() / 2);
      viewer->setTextCursor(cursor);
      viewer->ensureCursorVisible();
      return {viewer->cursorRect(cursor).center(), fragment.text()};
    }
  }
  return {};
}

class ReadmeTest : public ::testing::Test {
 protected:
  void SetUp() override {
    readme.SetLinkOpener([this](const QUrl& url) {
      opened << url;
      return true;
    });
    readme.show();
    RunEvents(50);
  }

  TFormReadme readme;
  QList<QUrl> opened;
};

TEST_F(ReadmeTest, ShowsTheEmbeddedDocumentReadOnly) {
  EXPECT_EQ(readme.windowTitle(), QStringLiteral("Vondral64 Quillem README"));
  EXPECT_FALSE(readme.windowFlags() & Qt::WindowMinimizeButtonHint);
  QTextBrowser* viewer = readme.Viewer();
  EXPECT_EQ(viewer->objectName(), QStringLiteral("RichEdit1"));
  EXPECT_EQ(viewer->geometry(), QRect(10, 10, readme.width() - 20, readme.height() - 20));
  const QString text = viewer->toPlainText();
  EXPECT_GT(text.size(), 2000);
  EXPECT_TRUE(text.contains(QStringLiteral("Vondral64 Quillem SD")));
  EXPECT_TRUE(text.contains(QStringLiteral("GameList.csv")));
  viewer->setFocus();
  QTest::keyClicks(viewer, QStringLiteral("typed"));
  QTest::keyClick(viewer, Qt::Key_Delete);
  EXPECT_EQ(viewer->toPlainText(), text);
}

TEST_F(ReadmeTest, EveryWebAddressInTheTextIsALink) {
  QTextDocument* document = readme.Viewer()->document();
  int addresses = 0;
  for (QTextCursor found = document->find(QStringLiteral("http")); !found.isNull();
       found = document->find(QStringLiteral("http"), found)) {
    QTextCursor probe(document);
    probe.setPosition(found.selectionStart() + 1);
    const QString word = found.block().text().mid(found.selectionStart() - found.block().position(), 8);
    if (!word.startsWith(QStringLiteral("http://")) && !word.startsWith(QStringLiteral("https://"))) continue;
    ++addresses;
    EXPECT_TRUE(probe.charFormat().isAnchor()) << found.block().text().toStdString();
  }
  EXPECT_GT(addresses, 0);
}

TEST_F(ReadmeTest, CopyIsEnabledOnlyWithASelection) {
  QTextBrowser* viewer = readme.Viewer();
  QAction* copy = readme.CopyAction();
  EXPECT_EQ(copy->text(), QStringLiteral("Copy Selected Text"));
  EXPECT_EQ(copy->shortcut(), QKeySequence(Qt::CTRL | Qt::Key_C));
  EXPECT_FALSE(copy->isEnabled());
  QApplication::clipboard()->setText(QStringLiteral("before"));
  readme.ActionCopyExecute();
  EXPECT_EQ(QApplication::clipboard()->text(), QStringLiteral("before"));

  QTextCursor cursor(viewer->document());
  cursor.movePosition(QTextCursor::NextWord, QTextCursor::KeepAnchor);
  viewer->setTextCursor(cursor);
  EXPECT_TRUE(copy->isEnabled());
  copy->trigger();
  EXPECT_EQ(QApplication::clipboard()->text(), cursor.selectedText());
  viewer->setTextCursor(QTextCursor(viewer->document()));
  EXPECT_FALSE(copy->isEnabled());
}

TEST_F(ReadmeTest, ALeftClickOnAWebLinkSelectsAndOpensIt) {
  QTextBrowser* viewer = readme.Viewer();
  const auto [point, linkText] =
      FindLink(viewer, [](const QString& href) { return href.startsWith(QStringLiteral("http")); });
  ASSERT_FALSE(linkText.isEmpty());
  QTest::mouseClick(viewer->viewport(), Qt::LeftButton, Qt::NoModifier, point);
  ASSERT_EQ(opened.size(), 1);
  EXPECT_TRUE(opened[0].scheme().startsWith(QStringLiteral("http")));
  EXPECT_EQ(viewer->textCursor().selectedText(), linkText);
  // A right click opens nothing.
  QTest::mouseClick(viewer->viewport(), Qt::RightButton, Qt::NoModifier, point);
  EXPECT_EQ(opened.size(), 1);
}

TEST_F(ReadmeTest, LinksWithinTheDocumentScrollInsteadOfOpening) {
  QTextBrowser* viewer = readme.Viewer();
  const auto [point, linkText] =
      FindLink(viewer, [](const QString& href) { return href == QStringLiteral("#history"); });
  ASSERT_FALSE(linkText.isEmpty());
  const int before = viewer->verticalScrollBar()->value();
  QTest::mouseClick(viewer->viewport(), Qt::LeftButton, Qt::NoModifier, point);
  EXPECT_TRUE(opened.isEmpty());
  EXPECT_GT(viewer->verticalScrollBar()->value(), before + 100);
}

TEST_F(ReadmeTest, ClosingOnlyHidesAndKeepsTheSelection) {
  QTextBrowser* viewer = readme.Viewer();
  QTextCursor cursor(viewer->document());
  cursor.setPosition(5);
  cursor.setPosition(25, QTextCursor::KeepAnchor);
  viewer->setTextCursor(cursor);
  const QString before = viewer->toHtml();
  EXPECT_TRUE(readme.close());
  EXPECT_FALSE(readme.isVisible());
  readme.show();
  EXPECT_EQ(viewer->textCursor().selectionStart(), 5);
  EXPECT_EQ(viewer->textCursor().selectionEnd(), 25);
  EXPECT_EQ(viewer->toHtml(), before);
}

TEST(ReadmeFromWindow, TheReadmeButtonShowsItBesideTheMainWindow) {
  TFormHarness h;
  TFormReadme readme;
  h.Form->SetReadmeWindow(&readme);
  h.Form->show();
  EXPECT_FALSE(readme.isVisible());
  h.Form->Ui().RzButtonReadme->click();
  EXPECT_TRUE(readme.isVisible());
  EXPECT_TRUE(h.Form->isVisible());
  EXPECT_FALSE(readme.isModal());
  EXPECT_FALSE(readme.testAttribute(Qt::WA_QuitOnClose));
}

}  // namespace
}  // namespace vq::test
