// The status screen: its text and blinking cursor line, its colours and
// geometry, and the border painting.
#include <gtest/gtest.h>

#include <QImage>
#include <QLabel>
#include <QPainter>
#include <QTimer>
#include <set>

#include "ui/c64_palette.h"
#include "ui/status_screen.h"
#include "ui/ui_test_util.h"

namespace vq::test {
namespace {

const QString kCursorLine = QStringLiteral("\r\n") + QChar(0x2588);

QLabel* TextArea(const TForm1& form) { return form.findChild<QLabel*>(QStringLiteral("StaticText1")); }

TEST(StatusText, ReadyBlinksWithACursorLineEveryOtherTick) {
  TFormHarness h;
  auto* timer = h.Form->findChild<QTimer*>("TimerUpdateStatus");
  ASSERT_NE(timer, nullptr);
  EXPECT_EQ(timer->interval(), 350);
  EXPECT_TRUE(timer->isActive());
  EXPECT_EQ(h.Form->Ui().Panel1->Text(), QStringLiteral("READY."));
  EXPECT_EQ(TextArea(*h.Form)->text(), QStringLiteral("READY."));
  h.Form->TimerUpdateStatusTimer();
  EXPECT_EQ(h.Form->Ui().Panel1->Text(), QStringLiteral("READY.") + kCursorLine);
  // CR LF becomes a line break on the screen.
  EXPECT_EQ(TextArea(*h.Form)->text(), QStringLiteral("READY.\n") + QChar(0x2588));
  h.Form->TimerUpdateStatusTimer();
  EXPECT_EQ(h.Form->Ui().Panel1->Text(), QStringLiteral("READY."));
  // The status text itself never carries the cursor.
  EXPECT_EQ(h.Form->Status(), QStringLiteral("READY."));
}

TEST(StatusText, ReportsAreShownAtTheNextTickAndNeverWithTheCursor) {
  TFormHarness h;
  h.FakeReports = -1;
  h.UseExistingFolders();
  h.Form->ButtonGoClick();
  ASSERT_TRUE(WaitUntil([&] { return h.Form->Status().startsWith(QStringLiteral("Report ")); }));
  for (int tick = 0; tick < 4; ++tick) {
    h.Form->TimerUpdateStatusTimer();
    EXPECT_EQ(h.Form->Ui().Panel1->Text(), h.Form->Status());
    EXPECT_FALSE(h.Form->Ui().Panel1->Text().contains(QChar(0x2588)));
  }
  // A report stores the text only; the screen keeps the old one until a tick.
  h.Form->OnWorkUpdate("Extracting archives...");
  EXPECT_NE(h.Form->Ui().Panel1->Text(), QStringLiteral("Extracting archives..."));
  h.Form->ButtonAbortClick();
  ASSERT_TRUE(WaitUntil([&] { return !h.Form->JobRunning(); }));
  EXPECT_EQ(h.Form->Ui().Panel1->Text().startsWith(QStringLiteral("Aborted.\r\nREADY.")), true);
  // The cursor line returns at the tick that turns it on.
  bool seen = false;
  for (int tick = 0; tick < 2; ++tick) {
    h.Form->TimerUpdateStatusTimer();
    seen = seen || h.Form->Ui().Panel1->Text() == QStringLiteral("Aborted.\r\nREADY.") + kCursorLine;
  }
  EXPECT_TRUE(seen);
}

TEST(StatusText, TheRunningTimerShowsAReportAtItsNextTick) {
  TFormHarness h;
  auto* timer = h.Form->findChild<QTimer*>("TimerUpdateStatus");
  ASSERT_NE(timer, nullptr);
  EXPECT_TRUE(timer->isActive());
  timer->setInterval(1);  // the test's clock: a tick now instead of in 350 ms
  h.Form->SetStatus(QStringLiteral("Settings Loaded.\r\n\r\nREADY."));
  EXPECT_TRUE(WaitUntil(
      [&] { return h.Form->Ui().Panel1->Text().startsWith(QStringLiteral("Settings Loaded.\r\n\r\nREADY.")); },
      100));
}

TEST(StatusScreenLayout, StripsAndTextAreaCoverThePanelInTheirColours) {
  TFormHarness h;
  TStatusScreen* panel = h.Form->Ui().Panel1;
  EXPECT_EQ(panel->geometry(), QRect(340, 300, 271, 166));
  const std::pair<const char*, QRect> parts[] = {
      {"PaintBox1", {0, 0, 271, 20}},  {"PaintBox2", {0, 146, 271, 20}}, {"PaintBox3", {0, 20, 20, 126}},
      {"PaintBox4", {251, 20, 20, 126}}, {"StaticText1", {20, 20, 231, 126}}};
  for (const auto& [name, rect] : parts) {
    auto* part = panel->findChild<QWidget*>(QLatin1String(name));
    ASSERT_NE(part, nullptr) << name;
    EXPECT_EQ(part->geometry(), rect) << name;
  }
  QLabel* text = TextArea(*h.Form);
  EXPECT_EQ(text->palette().color(QPalette::Window), QColor(0x00, 0x4A, 0xD0));
  EXPECT_EQ(text->palette().color(QPalette::WindowText), QColor(0x47, 0x88, 0xFF));
  EXPECT_TRUE(text->font().bold());
  EXPECT_TRUE(text->wordWrap());

  // Idle, the rendered panel shows light blue strips around a blue area.
  const QImage image = panel->grab().toImage();
  EXPECT_EQ(image.pixel(5, 5), kC64Palette[14]);
  EXPECT_EQ(image.pixel(260, 160), kC64Palette[14]);
  EXPECT_EQ(image.pixel(240, 140), kC64Palette[6]);
}

TEST(BorderPainting, IdleStripsAreSolidLightBlue) {
  std::mt19937 random(1);
  QImage image(271, 20, QImage::Format_RGB32);
  image.fill(Qt::white);
  QPainter painter(&image);
  TStatusScreen::PaintStrip(painter, 271, 20, false, random);
  painter.end();
  for (int y = 0; y < image.height(); ++y) {
    for (int x = 0; x < image.width(); ++x) ASSERT_EQ(image.pixel(x, y), kC64Palette[14]);
  }
}

TEST(BorderPainting, RunningStripsAre50PixelSegmentsWithAPhasePerRow) {
  const std::set<QRgb> palette(kC64Palette.begin(), kC64Palette.end());
  std::mt19937 random(64);
  std::set<QRgb> used;
  std::set<int> phases;
  for (const QSize size : {QSize(271, 20), QSize(20, 126)}) {
    QImage image(size, QImage::Format_RGB32);
    image.fill(Qt::white);
    QPainter painter(&image);
    TStatusScreen::PaintStrip(painter, size.width(), size.height(), true, random);
    painter.end();
    for (int y = 0; y < image.height(); ++y) {
      // Colour changes within a row happen only at segment boundaries, all
      // 50 pixels apart.
      int boundary = -1;
      for (int x = 0; x < image.width(); ++x) {
        const QRgb pixel = image.pixel(x, y);
        ASSERT_TRUE(palette.count(pixel)) << x << "," << y;
        used.insert(pixel);
        if (x > 0 && pixel != image.pixel(x - 1, y)) {
          if (boundary < 0) boundary = x % 50;
          EXPECT_EQ(x % 50, boundary) << "row " << y;
        }
      }
      if (boundary >= 0) phases.insert(boundary);
    }
  }
  // Colours come from all sixteen entries; phases differ from row to row.
  EXPECT_EQ(used.size(), 16u);
  EXPECT_GT(phases.size(), 10u);
}

}  // namespace
}  // namespace vq::test
