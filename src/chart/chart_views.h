// The painting areas of the strip chart window. Each one maps its part of a
// prepared ChartFrame to pixels; none of them reads the board or the model.
//
// The plot is drawn in device pixels with our own arithmetic, so that on a
// screen with a scale factor it has the screen's full resolution, and without
// antialiasing, straight into an image: the grid as whole-pixel rows and
// columns, the traces as runs of a square pen. That is many times faster than
// a painter stroking wide lines, and it is what the chart redraws on every
// tick, up to a thousand times a second.
#pragma once

#include <QFrame>
#include <QImage>
#include <QLabel>
#include <algorithm>
#include <array>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

#include "chart/chart_model.h"

namespace kvn {

// A text drawn once into a small image of its own, in a font and a colour,
// then stamped wherever it is shown: much cheaper than laying out and drawing
// its glyphs again on every tick.
class TextStamp {
 public:
  TextStamp() = default;
  explicit TextStamp(std::string_view text) : text_(text) {}
  // True when the text changed.
  bool set(const std::string& text);
  // Draws the text with its top-left corner at `at`, rendering it again
  // first when the text, font, colour, pixel ratio or room changed. What lies
  // beyond maxWidth (in the painter's pixels) is neither drawn nor kept.
  void draw(QPainter& p, QPoint at, const QFont& font, QColor color, qreal dpr, int maxWidth);
  // The memory the stamp holds, its text and image.
  std::size_t bytes() const;

 private:
  std::string text_;
  QImage image_;
  QFont font_;
  QRgb color_ = 0;
  qreal dpr_ = 0;
  int maxWidth_ = 0;
  bool rendered_ = false;
};

// Stamps kept by their text and colour, for texts that come back often (the
// legend's readings). Forgets everything once they hold more than a few
// MiB, or once there are too many of them.
class TextCache {
 public:
  void draw(QPainter& p, QPoint at, std::string_view text, const QFont& font, QColor color,
            qreal dpr, int maxWidth);
  std::size_t bytes() const { return bytes_; }

  static constexpr std::size_t kMaxBytes = std::size_t{4} << 20;
  static constexpr std::size_t kMaxTexts = 1024;

 private:
  std::unordered_map<std::string, TextStamp> stamps_;
  std::size_t bytes_ = 0;
  std::string key_;
};

// A label that draws its text from a stamp, left-aligned and centred
// vertically; a text too long for the label ends in an ellipsis.
class TitleLabel : public QLabel {
  Q_OBJECT
 public:
  explicit TitleLabel(QWidget* parent = nullptr);

 protected:
  void paintEvent(QPaintEvent* event) override;

 private:
  QString shown_;
  int shownWidth_ = -1;
  TextStamp stamp_;
};

// Maps the plot's data units to the device pixels of an area w x h: X from
// frame.xMin (left edge) to frame.xMax (right edge), Y from frame.viewTop
// (top row) to frame.viewBottom (bottom edge). Results are clamped far
// outside the area, so that any finite value gives a usable pixel.
class PlotMapping {
 public:
  PlotMapping(const ChartFrame& frame, int w, int h);
  int column(double x) const { return ToPixel((x - xMin_) * xScale_); }
  int row(double y) const { return ToPixel((yTop_ / 2 - y / 2) * yScale_); }

 private:
  // Pixel results are kept within this distance of the area, far enough that
  // a line to a point beyond it leaves the area at the true angle to within a
  // pixel, near enough that the drawing's integer arithmetic is safe.
  static constexpr double kFarPixels = 1 << 15;
  static int ToPixel(double v) {
    // Rounded half up; v is finite here, or infinite and clamped.
    const double up = std::clamp(v, -kFarPixels, kFarPixels) + 0.5;
    const int i = static_cast<int>(up);
    return up < i ? i - 1 : i;
  }

  double xMin_, xScale_, yTop_, yScale_;
};

// The plot's picture in device pixels: white ground, the grid, the traces.
class PlotCanvas {
 public:
  // Draws the frame into an image of w x h pixels of its own; gridWidth and
  // traceWidth are the line widths in those pixels.
  void draw(const ChartFrame& frame, int w, int h, int gridWidth, int traceWidth);
  QImage& image() { return image_; }
  // Draws the frame into w x h pixels of 32 bits (0xAARRGGBB, opaque) that
  // start at `pixels`, rows `stride` pixels apart.
  void draw(const ChartFrame& frame, std::uint32_t* pixels, std::size_t stride, int w, int h,
            int gridWidth, int traceWidth);

 private:
  void fill(int left, int top, int right, int bottom, std::uint32_t argb);
  void segment(int x1, int y1, int x2, int y2, int width, std::uint32_t argb);

  QImage image_;
  // The image's pixels while it is drawn.
  std::uint32_t* pixels_ = nullptr;
  std::size_t stride_ = 0;
  int width_ = 0;
  int height_ = 0;
};

// A picture box: a sunken border around the picture that is drawn.
class PictureView : public QFrame {
  Q_OBJECT
 public:
  explicit PictureView(QWidget* parent = nullptr);

 protected:
  // Asks for the picture to be painted again (not the border).
  void redraw();
  void paintEvent(QPaintEvent* event) final;
  // Paints the whole picture, of the given size, with the origin at its
  // top-left corner.
  virtual void paintPicture(QPainter& p, QSize size) = 0;
};

// The plot (Graph_pic): white ground, the grid, one trace per channel in use.
class PlotView : public PictureView {
  Q_OBJECT
 public:
  explicit PlotView(QWidget* parent = nullptr);
  // The frame is kept by reference and read at every paint.
  void showFrame(const ChartFrame& frame);
  // Asks for the picture to be painted again from the frame, which changed;
  // the border stays.
  void frameChanged() { redraw(); }

 protected:
  void paintPicture(QPainter& p, QSize size) override;

 private:
  const ChartFrame* frame_ = nullptr;
  PlotCanvas canvas_;
};

// The Y-axis strip (y_pic): the plot's top and bottom values, in the file
// form (" 10 ") where it fits. A value too long for its place is shown
// further left, and in fewer digits (CompactNumText) when even that is too
// narrow, so that its magnitude always shows whole.
class YAxisView : public PictureView {
  Q_OBJECT
 public:
  explicit YAxisView(QWidget* parent = nullptr);
  void setLabels(double top, double bottom);

  // What a label shows, and where in the strip's picture.
  struct Shown {
    std::string text;
    QRect rect;
  };
  Shown shownTop() const { return top_.shown(); }
  Shown shownBottom() const { return bottom_.shown(); }

 protected:
  void paintPicture(QPainter& p, QSize size) override;
  void changeEvent(QEvent* event) override;

 private:
  class Label {
   public:
    // True when the value changed.
    bool set(double value);
    // Chooses the text and its place for a picture `width` wide whose usual
    // text position is `usualLeft`, at `top`.
    void fit(const QFont& font, int width, int usualLeft, int top);
    void draw(QPainter& p, QColor ink, qreal dpr);
    Shown shown() const { return {text_, rect_}; }

   private:
    double value_ = 0;
    bool fitted_ = false;
    std::string text_;
    QFont askedFont_;  // the strip's font, which the label was fitted in
    QFont font_;       // the font it is drawn in
    QRect rect_;
    int fittedWidth_ = -1;
    TextStamp stamp_;
  };
  void fitLabels();

  Label top_, bottom_;
};

// The X-axis strip (x_pic): the sample period, "Time(sec)" and 0.
class XAxisView : public PictureView {
  Q_OBJECT
 public:
  explicit XAxisView(QWidget* parent = nullptr);
  void setLabels(const std::string& period, const std::string& title, const std::string& zero);

 protected:
  void paintPicture(QPainter& p, QSize size) override;

 private:
  TextStamp period_, title_, zero_;
};

// The legend (legend_pic), scaled 0..20 both ways with Y upward: per row a
// colour sample from (0, y) to (5, y) and the text from (5, y + 1) down.
//
// Its texts are drawn in the box's font, or in a smaller one for all rows
// when a row would not fit beside its colour sample. The font is fitted to
// the short names with a reading of up to four digits and a sign, so that it
// does not change as the readings do; a longer reading is fitted as it is.
class LegendView : public PictureView {
  Q_OBJECT
 public:
  explicit LegendView(QWidget* parent = nullptr);
  void setRows(const std::vector<LegendRow>& rows);

 protected:
  void paintPicture(QPainter& p, QSize size) override;
  void changeEvent(QEvent* event) override;

 private:
  void fitFont();

  std::vector<LegendRow> rows_;
  TextCache texts_;
  QFont rowFont_;
  // What the font was fitted to: the rows' names and longer readings, and
  // the room beside the colour samples.
  std::string fittedTo_, fitting_;
  int fittedRoom_ = -1;
};

}  // namespace kvn
