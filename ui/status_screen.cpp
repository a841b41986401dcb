#include "ui/status_screen.h"

#include <QEvent>
#include <QPainter>
#include <chrono>

#include "ui/c64_font.h"
#include "ui/c64_palette.h"

namespace vq {

namespace {

constexpr int kSegment = 50;
constexpr char16_t kCursorBlock = u'\u2588';

// The glyph of `c`: its own in printable ASCII, the block for the cursor,
// the base letter of an accented one, else '?'.
const std::array<uint8_t, 8>& Glyph(QChar c) {
  if (c.unicode() == kCursorBlock) return kC64Font[kC64FontCursor];
  if (c.unicode() > kC64FontLast) {
    const QString base = c.decomposition();
    c = !base.isEmpty() && base[0].unicode() <= kC64FontLast ? base[0] : QChar(u'?');
  }
  if (c.unicode() < kC64FontFirst) c = QChar(u' ');
  return kC64Font[c.unicode() - kC64FontFirst];
}

}  // namespace

TStatusScreen::TStatusScreen(QWidget* parent)
    : QWidget(parent),
      staticText1_(new QWidget(this)),
      random_(static_cast<std::mt19937::result_type>(
          std::chrono::high_resolution_clock::now().time_since_epoch().count())) {
  setObjectName(QStringLiteral("Panel1"));
  setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Expanding);
  for (int i = 0; i < 4; ++i) {
    auto* strip = new QWidget(this);
    strip->setObjectName(QStringLiteral("PaintBox%1").arg(i + 1));
    strip->setAttribute(Qt::WA_OpaquePaintEvent);
    strip->installEventFilter(this);
    strips_[i] = strip;
  }
  staticText1_->setObjectName(QStringLiteral("StaticText1"));
  staticText1_->setAttribute(Qt::WA_OpaquePaintEvent);
  staticText1_->installEventFilter(this);
  resize(sizeHint());
}

QSize TStatusScreen::sizeHint() const {
  return {kColumns * kCell + 2 * kMinBorder, kRows * kCell + 2 * kMinBorder};
}

int TStatusScreen::ScaleFor(int width) { return std::max(1, (width - 2 * kMinBorder) / (kColumns * kCell)); }

int TStatusScreen::RowCount() const { return std::max(1, (height() - 2 * kMinBorder) / (kCell * scale_)); }

void TStatusScreen::resizeEvent(QResizeEvent* event) {
  QWidget::resizeEvent(event);
  scale_ = ScaleFor(width());
  // The text area in the middle; the strips take what is left around it.
  const QSize area(kColumns * kCell * scale_, RowCount() * kCell * scale_);
  const int left = (width() - area.width()) / 2;
  const int top = (height() - area.height()) / 2;
  const int bottom = top + area.height();
  staticText1_->setGeometry(left, top, area.width(), area.height());
  strips_[0]->setGeometry(0, 0, width(), top);
  strips_[1]->setGeometry(0, bottom, width(), height() - bottom);
  strips_[2]->setGeometry(0, top, left, area.height());
  strips_[3]->setGeometry(left + area.width(), top, width() - left - area.width(), area.height());
}

void TStatusScreen::SetText(const QString& text) {
  if (text == text_) return;
  text_ = text;
  staticText1_->update();
}

QStringList TStatusScreen::WrapText(const QString& text, int columns) {
  QStringList rows;
  QString all = text;
  all.replace(QStringLiteral("\r\n"), QStringLiteral("\n"));
  for (QString line : all.split(QLatin1Char('\n'))) {
    while (line.size() > columns) {
      // Break after the last blank that fits, else within the word.
      int cut = static_cast<int>(line.lastIndexOf(QLatin1Char(' '), columns));
      const bool atBlank = cut > 0;
      if (!atBlank) cut = columns;
      rows << line.left(cut);
      line = line.mid(atBlank ? cut + 1 : cut);
    }
    rows << line;
  }
  return rows;
}

QStringList TStatusScreen::Lines() const {
  QStringList rows = WrapText(text_, kColumns);
  const int count = RowCount();
  if (rows.size() > count) rows = rows.mid(rows.size() - count);
  return rows;
}

QImage TStatusScreen::RenderRows(const QStringList& rows, int rowCount) {
  QImage image(kColumns * kCell, rowCount * kCell, QImage::Format_RGB32);
  image.fill(kC64Palette[kC64Blue]);
  for (int row = 0; row < std::min(static_cast<int>(rows.size()), rowCount); ++row) {
    const QString& line = rows[row];
    for (int column = 0; column < std::min(static_cast<int>(line.size()), kColumns); ++column) {
      const std::array<uint8_t, 8>& glyph = Glyph(line[column]);
      for (int y = 0; y < kCell; ++y) {
        auto* pixels = reinterpret_cast<QRgb*>(image.scanLine(row * kCell + y)) + static_cast<ptrdiff_t>(column) * kCell;
        for (int x = 0; x < kCell; ++x) {
          if (glyph[y] & (0x80 >> x)) pixels[x] = kC64Palette[kC64LightBlue];
        }
      }
    }
  }
  return image;
}

void TStatusScreen::RepaintBorder() {
  for (QWidget* strip : strips_) strip->update();
}

void TStatusScreen::PaintStrip(QPainter& painter, int width, int height, bool running, std::mt19937& random) {
  if (!running) {
    painter.fillRect(0, 0, width, height, QColor::fromRgb(kC64Palette[kC64LightBlue]));
    return;
  }
  std::uniform_int_distribution<int> phase(0, kSegment - 1);
  std::uniform_int_distribution<int> colour(0, 15);
  for (int y = 0; y < height; ++y) {
    for (int x = -phase(random); x < width; x += kSegment) {
      painter.fillRect(x, y, kSegment, 1, QColor::fromRgb(kC64Palette[colour(random)]));
    }
  }
}

bool TStatusScreen::eventFilter(QObject* watched, QEvent* event) {
  if (event->type() == QEvent::Paint) {
    if (watched == staticText1_) {
      PaintText(staticText1_);
      return true;
    }
    for (QWidget* strip : strips_) {
      if (watched == strip) {
        PaintBox3Paint(strip);
        return true;
      }
    }
  }
  return QWidget::eventFilter(watched, event);
}

void TStatusScreen::PaintText(QWidget* area) {
  QPainter painter(area);
  // Whole-factor scaling without smoothing keeps every pixel square.
  painter.drawImage(area->rect(), RenderRows(Lines(), RowCount()));
}

void TStatusScreen::PaintBox3Paint(QWidget* strip) {
  QPainter painter(strip);
  PaintStrip(painter, strip->width(), strip->height(), jobRunning_, random_);
}

}  // namespace vq
