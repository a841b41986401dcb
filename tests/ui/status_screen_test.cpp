// The status screen: its text and blinking cursor line, its character grid,
// font, colours and geometry, and the border painting.
#include <gtest/gtest.h>

#include <QImage>
#include <QRegion>
#include <algorithm>
#include <QPainter>
#include <QTimer>
#include <set>
#include <string_view>

#include "ui/c64_font.h"
#include "ui/c64_palette.h"
#include "ui/status_screen.h"
#include "ui/ui_test_util.h"

namespace vq::test {
namespace {

const QString kCursorLine = QStringLiteral("\r\n") + QChar(0x2588);

QWidget* TextArea(const TForm1& form) { return form.findChild<QWidget*>(QStringLiteral("StaticText1")); }

TEST(StatusText, ReadyBlinksWithACursorLineEveryOtherTick) {
  TFormHarness h;
  auto* timer = h.Form->findChild<QTimer*>("TimerUpdateStatus");
  ASSERT_NE(timer, nullptr);
  EXPECT_EQ(timer->interval(), 350);
  EXPECT_TRUE(timer->isActive());
  EXPECT_EQ(h.Form->Ui().Panel1->Text(), QStringLiteral("READY."));
  EXPECT_EQ(h.Form->Ui().Panel1->Lines(), QStringList{QStringLiteral("READY.")});
  h.Form->TimerUpdateStatusTimer();
  EXPECT_EQ(h.Form->Ui().Panel1->Text(), QStringLiteral("READY.") + kCursorLine);
  // CR LF starts a new row on the screen.
  EXPECT_EQ(h.Form->Ui().Panel1->Lines(), (QStringList{QStringLiteral("READY."), QString(QChar(0x2588))}));
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

TEST(StatusScreenLayout, TheGridSitsInsideStripsThatCoverThePanelAtAWholeScale) {
  TFormHarness h;
  h.Form->show();
  TStatusScreen* panel = h.Form->Ui().Panel1;
  QWidget* text = TextArea(*h.Form);
  ASSERT_NE(text, nullptr);
  for (const QSize size : {panel->size(), panel->sizeHint(), QSize(700, 300), QSize(1100, 333)}) {
    panel->resize(size);
    const int scale = std::max(1, (size.width() - 40) / 320);
    EXPECT_EQ(panel->Scale(), scale) << size.width();
    // 40 columns and whole rows of 8x8 characters at that scale, clear of the
    // panel's edges by the border.
    EXPECT_EQ(text->width(), 320 * scale);
    EXPECT_EQ(text->height() % (8 * scale), 0);
    EXPECT_TRUE(panel->rect().adjusted(20, 20, -20, -20).contains(text->geometry())) << size.width();
    // The strips and the text area cover the panel without overlapping.
    QRegion covered(text->geometry());
    int area = text->width() * text->height();
    for (const char* name : {"PaintBox1", "PaintBox2", "PaintBox3", "PaintBox4"}) {
      auto* strip = panel->findChild<QWidget*>(QLatin1String(name));
      ASSERT_NE(strip, nullptr) << name;
      EXPECT_FALSE(covered.intersects(strip->geometry())) << name;
      covered += strip->geometry();
      area += strip->width() * strip->height();
    }
    EXPECT_EQ(covered, QRegion(panel->rect()));
    EXPECT_EQ(area, size.width() * size.height());
  }

  // Idle, the rendered panel shows light blue strips around a blue area, and
  // each character's pixels in light blue, scaled.
  panel->resize(700, 300);
  panel->SetText(QStringLiteral("READY."));
  const QImage image = panel->grab().toImage();
  EXPECT_EQ(image.pixel(5, 5), kC64Palette[14]);
  EXPECT_EQ(image.pixel(695, 295), kC64Palette[14]);
  const QPoint origin = text->pos();
  for (int y = 0; y < 16; ++y) {
    for (int x = 0; x < 16; ++x) {
      const bool set = kC64Font['R' - 0x20][y / 2] & (0x80 >> (x / 2));
      ASSERT_EQ(image.pixel(origin + QPoint(x, y)), kC64Palette[set ? 14 : 6]) << x << "," << y;
    }
  }
  EXPECT_EQ(image.pixel(origin + QPoint(text->width() - 1, text->height() - 1)), kC64Palette[6]);
}

TEST(StatusScreenText, RowsAreWrappedTo40ColumnsAndTheLastRowsShown) {
  const QString forty = QString(40, QLatin1Char('x'));
  const std::pair<QString, QStringList> cases[] = {
      {QStringLiteral("READY."), {QStringLiteral("READY.")}},
      {QStringLiteral("a\r\n\r\nb"), {QStringLiteral("a"), QString(), QStringLiteral("b")}},
      {forty, {forty}},
      {forty + QStringLiteral("yz"), {forty, QStringLiteral("yz")}},
      {QStringLiteral("Done. 12 archives scanned, 0 invalid, 0 excluded by filter."),
       {QStringLiteral("Done. 12 archives scanned, 0 invalid, 0"), QStringLiteral("excluded by filter.")}},
  };
  for (const auto& [text, rows] : cases) EXPECT_EQ(TStatusScreen::WrapText(text, 40), rows) << text.toStdString();

  TFormHarness h;
  TStatusScreen* panel = h.Form->Ui().Panel1;
  panel->resize(360, 40 + 8 * 3);  // three rows
  panel->SetText(QStringLiteral("1\r\n2\r\n3\r\n4\r\nREADY."));
  EXPECT_EQ(panel->Lines(), (QStringList{QStringLiteral("3"), QStringLiteral("4"), QStringLiteral("READY.")}));
}

TEST(StatusScreenFont, EveryGlyphIsItsOwnAndKeepsItsCellsEdgesFreeButForDescenders) {
  std::set<std::array<uint8_t, 8>> seen;
  for (size_t i = 0; i < kC64Font.size(); ++i) {
    const auto& glyph = kC64Font[i];
    EXPECT_TRUE(seen.insert(glyph).second) << "glyph " << i << " repeats another";
    if (i == static_cast<size_t>(kC64FontCursor)) continue;
    const bool descender = std::string_view("gjpqy").find(static_cast<char>(0x20 + i)) != std::string_view::npos;
    EXPECT_EQ(glyph[7] != 0, descender) << "glyph " << i;
    for (uint8_t row : glyph) EXPECT_EQ(row & 0x80, 0) << "glyph " << i;
    EXPECT_EQ(std::all_of(glyph.begin(), glyph.end(), [](uint8_t row) { return row == 0; }), i == 0) << i;
  }
  // Characters outside the set show as their base letter or '?'.
  const QImage shown = TStatusScreen::RenderRows({QStringLiteral("\u00e9\u4e00")}, 1);
  EXPECT_EQ(shown.copy(0, 0, 8, 8), TStatusScreen::RenderRows({QStringLiteral("e")}, 1).copy(0, 0, 8, 8));
  EXPECT_EQ(shown.copy(8, 0, 8, 8), TStatusScreen::RenderRows({QStringLiteral("?")}, 1).copy(0, 0, 8, 8));
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
