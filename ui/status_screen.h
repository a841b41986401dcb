#pragma once

#include <QImage>
#include <QString>
#include <QStringList>
#include <QWidget>
#include <array>
#include <random>

class QPainter;

namespace vq {

// The imitation of the C64 text screen: a 40-column grid of 8x8 characters
// in light blue on blue, drawn in the program's own character set and
// scaled by the largest whole factor that fits, inside a border of four
// strips that cover the rest of the panel. Idle, the border is plain light
// blue; while a job runs each repaint fills it with random 50-pixel stripes
// in the sixteen C64 colours. The owner decides what text to show and when
// to repaint.
class TStatusScreen : public QWidget {
  Q_OBJECT

 public:
  static constexpr int kColumns = 40;
  static constexpr int kRows = 14;        // rows at the smallest size
  static constexpr int kMinBorder = 20;   // the border's least width
  static constexpr int kCell = 8;         // a character's pixels at factor 1

  explicit TStatusScreen(QWidget* parent);

  // Shows `text` in the text area; CR LF starts a new line.
  void SetText(const QString& text);
  // The text last given to SetText, with its CR LF line breaks.
  const QString& Text() const { return text_; }
  // The screen's rows as shown: the text wrapped to 40 columns, its last
  // rows when it has more than fit.
  QStringList Lines() const;
  // Whether a job runs: decides how the border is painted.
  void SetJobRunning(bool running) { jobRunning_ = running; }
  // True while the border is painted as for a running job.
  bool JobRunning() const { return jobRunning_; }
  // Requests a repaint of the four strips, top, bottom, left, right.
  void RepaintBorder();
  // The whole factor the characters are drawn at.
  int Scale() const { return scale_; }

  QSize sizeHint() const override;
  QSize minimumSizeHint() const override { return sizeHint(); }

  // `text` split at its line breaks and wrapped to `columns`, at a blank
  // where a row has one, else within the word.
  static QStringList WrapText(const QString& text, int columns);
  // The largest whole factor at which 40 columns with the least border fit
  // `width`, at least 1.
  static int ScaleFor(int width);
  // The rows in 8x8 pixels at factor 1, light blue on blue, `rowCount` rows.
  static QImage RenderRows(const QStringList& rows, int rowCount);
  // Paints one strip of `width` x `height`: solid light blue when idle,
  // otherwise per pixel row 50-pixel segments of random palette colours,
  // starting at a random phase from 0 to 49 pixels left of the strip.
  static void PaintStrip(QPainter& painter, int width, int height, bool running, std::mt19937& random);

 protected:
  bool eventFilter(QObject* watched, QEvent* event) override;
  void resizeEvent(QResizeEvent* event) override;

 private:
  void PaintBox3Paint(QWidget* strip);
  void PaintText(QWidget* area);
  int RowCount() const;

  std::array<QWidget*, 4> strips_{};  // PaintBox1 .. PaintBox4
  QWidget* staticText1_;
  QString text_;
  bool jobRunning_ = false;
  int scale_ = 1;
  std::mt19937 random_;
};

}  // namespace vq
