#pragma once

#include <QString>
#include <QWidget>
#include <array>
#include <random>

class QLabel;
class QPainter;

namespace vq {

// The imitation of the C64 text screen: a blue text area with light-blue
// bold text inside a 20-pixel border of four strips. Idle, the border is
// plain light blue; while a job runs each repaint fills it with random
// 50-pixel stripes in the sixteen C64 colours. The owner decides what text
// to show and when to repaint.
class TStatusScreen : public QWidget {
  Q_OBJECT

 public:
  // A 271 x 166 panel; the border strips and the text area cover it.
  explicit TStatusScreen(QWidget* parent);

  // Shows `text` in the text area; CR LF starts a new line.
  void SetText(const QString& text);
  // The text last given to SetText, with its CR LF line breaks.
  const QString& Text() const { return text_; }
  // Whether a job runs: decides how the border is painted.
  void SetJobRunning(bool running) { jobRunning_ = running; }
  // True while the border is painted as for a running job.
  bool JobRunning() const { return jobRunning_; }
  // Requests a repaint of the four strips, top, bottom, left, right.
  void RepaintBorder();

  // Paints one strip of `width` x `height`: solid light blue when idle,
  // otherwise per pixel row 50-pixel segments of random palette colours,
  // starting at a random phase from 0 to 49 pixels left of the strip.
  static void PaintStrip(QPainter& painter, int width, int height, bool running, std::mt19937& random);

 protected:
  bool eventFilter(QObject* watched, QEvent* event) override;

 private:
  void PaintBox3Paint(QWidget* strip);

  std::array<QWidget*, 4> strips_{};  // PaintBox1 .. PaintBox4
  QLabel* staticText1_;
  QString text_;
  bool jobRunning_ = false;
  std::mt19937 random_;
};

}  // namespace vq
