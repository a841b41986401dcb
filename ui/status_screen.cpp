#include "ui/status_screen.h"

#include <QEvent>
#include <QLabel>
#include <QPainter>
#include <chrono>

#include "ui/c64_palette.h"

namespace vq {

namespace {

constexpr int kPanelWidth = 271;
constexpr int kPanelHeight = 166;
constexpr int kBorder = 20;
constexpr int kSegment = 50;

// CR LF pairs become the line breaks a label understands.
QString ToDisplayText(const QString& text) {
  QString display = text;
  display.replace(QStringLiteral("\r\n"), QStringLiteral("\n"));
  return display;
}

}  // namespace

TStatusScreen::TStatusScreen(QWidget* parent)
    : QWidget(parent),
      staticText1_(new QLabel(this)),
      random_(static_cast<std::mt19937::result_type>(
          std::chrono::high_resolution_clock::now().time_since_epoch().count())) {
  setObjectName(QStringLiteral("Panel1"));
  resize(kPanelWidth, kPanelHeight);
  const QRect strips[4] = {
      {0, 0, kPanelWidth, kBorder},
      {0, kPanelHeight - kBorder, kPanelWidth, kBorder},
      {0, kBorder, kBorder, kPanelHeight - 2 * kBorder},
      {kPanelWidth - kBorder, kBorder, kBorder, kPanelHeight - 2 * kBorder},
  };
  for (int i = 0; i < 4; ++i) {
    auto* strip = new QWidget(this);
    strip->setObjectName(QStringLiteral("PaintBox%1").arg(i + 1));
    strip->setGeometry(strips[i]);
    strip->setAttribute(Qt::WA_OpaquePaintEvent);
    strip->installEventFilter(this);
    strips_[i] = strip;
  }

  staticText1_->setObjectName(QStringLiteral("StaticText1"));
  staticText1_->setGeometry(kBorder, kBorder, kPanelWidth - 2 * kBorder, kPanelHeight - 2 * kBorder);
  staticText1_->setTextFormat(Qt::PlainText);
  staticText1_->setAlignment(Qt::AlignLeft | Qt::AlignTop);
  staticText1_->setWordWrap(true);
  staticText1_->setAutoFillBackground(true);
  // The screen keeps its colours under any style: its own palette, and no
  // style sheet inherited from the window.
  QPalette palette = staticText1_->palette();
  for (auto group : {QPalette::Active, QPalette::Inactive, QPalette::Disabled}) {
    palette.setColor(group, QPalette::Window, QColor::fromRgb(kC64Palette[kC64Blue]));
    palette.setColor(group, QPalette::WindowText, QColor::fromRgb(kC64Palette[kC64LightBlue]));
  }
  staticText1_->setPalette(palette);
  QFont font = staticText1_->font();
  font.setBold(true);
  staticText1_->setFont(font);
}

void TStatusScreen::SetText(const QString& text) {
  text_ = text;
  staticText1_->setText(ToDisplayText(text));
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
    for (QWidget* strip : strips_) {
      if (watched == strip) {
        PaintBox3Paint(strip);
        return true;
      }
    }
  }
  return QWidget::eventFilter(watched, event);
}

void TStatusScreen::PaintBox3Paint(QWidget* strip) {
  QPainter painter(strip);
  PaintStrip(painter, strip->width(), strip->height(), jobRunning_, random_);
}

}  // namespace vq
