#include "chart/chart_views.h"

#include <QEvent>
#include <QFontInfo>
#include <QPaintEngine>
#include <QPaintEvent>
#include <QPainter>
#include <algorithm>
#include <climits>
#include <cmath>
#include <string_view>

#include "common/num_forms.h"
#include "shared/qt_color.h"
#include "shared/qt_text.h"

namespace kvn {

namespace {

// Positions inside the picture boxes are given in twips; the windows are laid
// out at 15 twips a pixel.
constexpr double kTwipsPerPixel = 15;
constexpr double Twips(double twips) { return twips / kTwipsPerPixel; }

// Texts start on whole pixels, as the positions in twips are meant to be
// (it also lets the glyph cache serve every text from one set of glyphs).
QPoint At(double x, double y) {
  return {static_cast<int>(std::lround(x)), static_cast<int>(std::lround(y))};
}

constexpr int kGridLineWidth = 1;   // in pixels of the window's layout
constexpr int kTraceLineWidth = 2;

// The widest reading the legend's font is fitted to: four digits and a sign
// (the digits of the panel's fonts all have one width, and a sign or a point
// is narrower than a digit).
constexpr std::string_view kWidestUsualReading = "-8888";
constexpr int kSmallestTextPx = 6;

// The part of a text that can show in maxWidth pixels: all of it, unless it
// is longer than any text that fits, at a pixel or more a character. (Only
// marks that combine with the character before them are narrower.)
std::string_view ShownPart(std::string_view text, int maxWidth) {
  const std::size_t most = 4 * static_cast<std::size_t>(std::max(maxWidth, 0)) + 64;
  return text.substr(0, std::min(text.size(), most));
}

// The pixels a text covers drawn from x = 0: its advance, or further where
// its last glyph reaches beyond it (an italic, say).
int TextWidth(const QFontMetrics& metrics, const QString& text) {
  return std::max(metrics.horizontalAdvance(text), metrics.boundingRect(text).right() + 1);
}

// True for a reading no wider than kWidestUsualReading.
bool UsualReading(std::string_view reading) {
  return reading.size() <= kWidestUsualReading.size() &&
         std::all_of(reading.begin(), reading.end(), [](char c) {
           return (c >= '0' && c <= '9') || c == '-' || c == '.';
         });
}

}  // namespace

bool TextStamp::set(const std::string& text) {
  if (text == text_) return false;
  text_ = text;
  rendered_ = false;
  return true;
}

void TextStamp::draw(QPainter& p, QPoint at, const QFont& font, QColor color, qreal dpr,
                     int maxWidth) {
  maxWidth = std::max(maxWidth, 1);
  if (!rendered_ || color.rgb() != color_ || dpr != dpr_ || font != font_ || maxWidth != maxWidth_) {
    rendered_ = true;
    color_ = color.rgb();
    dpr_ = dpr;
    font_ = font;
    maxWidth_ = maxWidth;
    const QString text = Q(std::string(ShownPart(text_, maxWidth)));
    const QFontMetrics metrics(font);
    const int width = std::max(metrics.horizontalAdvance(text), metrics.boundingRect(text).right()) + 2;
    image_ = QImage(static_cast<int>(std::ceil(std::min(width, maxWidth) * dpr)),
                    static_cast<int>(std::ceil(metrics.height() * dpr)),
                    QImage::Format_ARGB32_Premultiplied);
    image_.setDevicePixelRatio(dpr);
    image_.fill(Qt::transparent);
    QPainter q(&image_);
    q.setFont(font);
    q.setPen(color);
    q.drawText(QPointF(0, metrics.ascent()), text);
  }
  p.drawImage(at, image_);
}

std::size_t TextStamp::bytes() const {
  return sizeof(TextStamp) + text_.capacity() + static_cast<std::size_t>(image_.sizeInBytes());
}

void TextCache::draw(QPainter& p, QPoint at, std::string_view text, const QFont& font,
                     QColor color, qreal dpr, int maxWidth) {
  text = ShownPart(text, maxWidth);
  key_.assign(text);
  key_ += '\0';
  key_ += std::to_string(color.rgb());
  auto found = stamps_.find(key_);
  if (found == stamps_.end()) {
    if (stamps_.size() >= kMaxTexts) {
      stamps_.clear();
      bytes_ = 0;
    }
    found = stamps_.emplace(key_, TextStamp(text)).first;
    bytes_ += key_.size() + found->second.bytes();
  }
  TextStamp& stamp = found->second;
  bytes_ -= stamp.bytes();
  stamp.draw(p, at, font, color, dpr, maxWidth);
  bytes_ += stamp.bytes();
  // Drawn already; the next texts start afresh.
  if (bytes_ > kMaxBytes) {
    stamps_.clear();
    bytes_ = 0;
  }
}

PlotMapping::PlotMapping(const ChartFrame& frame, int w, int h)
    : xMin_(frame.xMin), yTop_(frame.viewTop) {
  const double xSpan = frame.xMax - frame.xMin;
  xScale_ = xSpan > 0 ? w / xSpan : 0;
  // The model keeps the view's height non-zero; it may exceed the largest
  // double, its half never does.
  yScale_ = h / (frame.viewTop / 2 - frame.viewBottom / 2);
}


PictureView::PictureView(QWidget* parent) : QFrame(parent) {
  setFrameStyle(QFrame::WinPanel | QFrame::Sunken);
  setAttribute(Qt::WA_OpaquePaintEvent);
  setAutoFillBackground(false);
}

void PictureView::redraw() { update(contentsRect()); }

void PictureView::paintEvent(QPaintEvent* event) {
  // A tick repaints the picture only; the border when it was uncovered.
  if (!contentsRect().contains(event->rect())) QFrame::paintEvent(event);
  QPainter p(this);
  const QRect area = contentsRect();
  p.setClipRect(area);
  p.translate(area.topLeft());
  paintPicture(p, area.size());
}

PlotView::PlotView(QWidget* parent) : PictureView(parent) {}

void PlotView::showFrame(const ChartFrame& frame) {
  frame_ = &frame;
  redraw();
}

namespace {

// Where a picture of `size` device pixels at the painter's origin, drawn at
// the pixel ratio dpr, can be drawn straight into the image the painter
// paints on (a window's backing store, say), sparing a copy: the first of its
// pixels, and the pixels from one row to the next (stride). Null unless the
// painter puts one pixel of it on one pixel of a 32-bit image that takes
// opaque pixels as they are, whole, inside the region being painted, so that
// nothing drawn there by others is overwritten.
std::uint32_t* DirectPixels(QPainter& p, QSize size, qreal dpr, std::size_t& stride) {
  QPaintEngine* engine = p.paintEngine();
  if (engine == nullptr || engine->type() != QPaintEngine::Raster) return nullptr;
  auto* image = dynamic_cast<QImage*>(engine->paintDevice());
  if (image == nullptr || !image->isDetached()) return nullptr;
  if (image->format() != QImage::Format_RGB32 &&
      image->format() != QImage::Format_ARGB32_Premultiplied)
    return nullptr;
  if (p.opacity() != 1 || p.compositionMode() != QPainter::CompositionMode_SourceOver)
    return nullptr;
  // Moved, and scaled by the pixel ratio only, which the picture has already.
  const QTransform t = p.deviceTransform();
  if (t.type() > QTransform::TxScale || t.m11() != dpr || t.m22() != dpr) return nullptr;
  const QPointF origin = t.map(QPointF(0, 0));
  const QPoint at(static_cast<int>(std::lround(origin.x())),
                  static_cast<int>(std::lround(origin.y())));
  if (QPointF(at) != origin) return nullptr;
  const QRect area(at, size);
  if (!image->rect().contains(area)) return nullptr;
  if (p.hasClipping() && !(QRegion(area) - t.map(p.clipRegion())).isEmpty()) return nullptr;
  const QRegion painted = engine->systemClip();
  if (!painted.isEmpty() && !(QRegion(area) - painted).isEmpty()) return nullptr;
  stride = static_cast<std::size_t>(image->bytesPerLine() / 4);
  return reinterpret_cast<std::uint32_t*>(image->bits()) +
         static_cast<std::size_t>(at.y()) * stride + static_cast<std::size_t>(at.x());
}

}  // namespace

void PlotView::paintPicture(QPainter& p, QSize size) {
  if (!frame_) {
    p.fillRect(QRect(QPoint(), size), Qt::white);
    return;
  }
  const qreal dpr = devicePixelRatioF();
  const auto device = [dpr](double v) { return static_cast<int>(std::lround(v * dpr)); };
  const int w = device(size.width()), h = device(size.height());
  const int gridWidth = std::max(1, device(kGridLineWidth));
  const int traceWidth = std::max(1, device(kTraceLineWidth));
  std::size_t stride = 0;
  if (std::uint32_t* pixels = DirectPixels(p, QSize(w, h), dpr, stride)) {
    canvas_.draw(*frame_, pixels, stride, w, h, gridWidth, traceWidth);
    return;
  }
  canvas_.draw(*frame_, w, h, gridWidth, traceWidth);
  // One image pixel to one screen pixel.
  QImage& image = canvas_.image();
  image.setDevicePixelRatio(dpr);
  p.drawImage(QPoint(), image);
}

void PlotCanvas::draw(const ChartFrame& f, int w, int h, int gridWidth, int traceWidth) {
  if (image_.width() != w || image_.height() != h) image_ = QImage(w, h, QImage::Format_RGB32);
  if (image_.isNull()) return;
  draw(f, reinterpret_cast<std::uint32_t*>(image_.bits()),
       static_cast<std::size_t>(image_.bytesPerLine() / 4), w, h, gridWidth, traceWidth);
}

void PlotCanvas::draw(const ChartFrame& f, std::uint32_t* pixels, std::size_t stride, int w, int h,
                      int gridWidth, int traceWidth) {
  if (w <= 0 || h <= 0) return;
  pixels_ = pixels;
  stride_ = stride;
  width_ = w;
  height_ = h;
  const PlotMapping map(f, w, h);

  // The white ground with the vertical grid lines is the same in every row:
  // made once as the first row, then copied into the others.
  const std::uint32_t grid = FromColorRef(ChartFrame::kGridColor).rgb();
  std::fill(pixels_, pixels_ + w, 0xFFFFFFFFu);
  for (int x : f.gridX) {
    const int column = map.column(x);
    fill(column, 0, column + gridWidth, 1, grid);
  }
  for (int y = 1; y < h; ++y)
    std::copy(pixels_, pixels_ + w, pixels_ + static_cast<std::size_t>(y) * stride_);
  for (double y : f.gridY) {
    const int row = map.row(y);
    fill(0, row, w, row + gridWidth, grid);
  }

  std::array<int, ChartFrame::kTracePoints> xs{};
  for (std::size_t i = 0; i < xs.size(); ++i) xs[i] = map.column(static_cast<double>(i));
  for (int t = 0; t < f.traceCount; ++t) {
    const auto& ys = f.traceY[static_cast<std::size_t>(t)];
    const std::uint32_t color = FromColorRef(f.traceColor[static_cast<std::size_t>(t)]).rgb();
    // Points in a row on one pixel row make one level segment from the
    // first to the last: the same pixels as the segments between them.
    std::size_t level = 0;
    int previous = map.row(ys[0]);
    for (std::size_t i = 1; i < xs.size(); ++i) {
      const int next = map.row(ys[i]);
      if (next == previous) continue;
      if (level + 1 < i) segment(xs[level], previous, xs[i - 1], previous, traceWidth, color);
      segment(xs[i - 1], previous, xs[i], next, traceWidth, color);
      level = i;
      previous = next;
    }
    if (level + 1 < xs.size()) segment(xs[level], previous, xs.back(), previous, traceWidth, color);
  }
}

// Fills the pixels left..right-1, top..bottom-1 that lie in the image.
inline void PlotCanvas::fill(int left, int top, int right, int bottom, std::uint32_t argb) {
  left = std::max(left, 0);
  top = std::max(top, 0);
  right = std::min(right, width_);
  bottom = std::min(bottom, height_);
  if (left >= right || top >= bottom) return;
  std::uint32_t* row = pixels_ + static_cast<std::size_t>(top) * stride_;
  for (int y = top; y < bottom; ++y, row += stride_) std::fill(row + left, row + right, argb);
}

// A line of the given width from (x1, y1) to (x2, y2), drawn as a square pen
// moved along it one column at a time: in each column the pen covers the
// rows the line passes through there, so steep parts stay joined.
void PlotCanvas::segment(int x1, int y1, int x2, int y2, int width, std::uint32_t argb) {
  if (x2 < x1) {
    std::swap(x1, x2);
    std::swap(y1, y2);
  }
  const int half = width / 2;
  // Nothing to draw when the line passes wholly above or below the image.
  if (std::max(y1, y2) - half + width <= 0 || std::min(y1, y2) - half >= height_) return;
  const int first = std::max(x1, -width);
  const int last = std::min(x2, width_ + width);
  if (first > last) return;
  if (y1 == y2) {
    // Level: the pens at first..last cover the same rows, and together the
    // columns first - half .. last - half + width - 1.
    fill(first - half, y1 - half, last - half + width, y1 - half + width, argb);
    return;
  }
  // The line's row at each column, in 16.16 fixed point, stepped from column
  // to column (rounded half up). Rows and columns lie within +-2^15, so
  // nothing overflows.
  const std::int64_t dx = x2 - x1;
  const std::int64_t step = dx > 0 ? (static_cast<std::int64_t>(y2 - y1) * 65536) / dx : 0;
  std::int64_t at = static_cast<std::int64_t>(y1) * 65536 + 32768 + step * (first - x1);
  const auto rowOf = [](std::int64_t fixed) { return static_cast<int>(fixed >> 16); };
  int a = dx > 0 ? rowOf(at) : y1;
  // The pen put down at column x covers the rows between the line's rows at
  // x and x + 1, in columns x - half .. x - half + width - 1.
  const auto nextPen = [&](int x) {
    at += step;
    const int b = x < x2 ? rowOf(at) : y2;
    const std::pair<int, int> rows{std::min(a, b) - half, std::max(a, b) - half + width};
    a = b;
    return rows;
  };
  const auto column = [&](int c, int top, int bottom) {
    top = std::max(top, 0);
    bottom = std::min(bottom, height_);
    if (top >= bottom) return;
    std::uint32_t* pixel = pixels_ + static_cast<std::size_t>(top) * stride_ + c;
    for (int y = top; y < bottom; ++y, pixel += stride_) *pixel = argb;
  };
  if (width == 2) {
    // The usual width: column c is covered by the pens at c and c + 1, so
    // each column is filled once with the union of the two.
    std::pair<int, int> previous{INT_MAX, INT_MIN};
    for (int x = first; x <= last + 1; ++x) {
      const std::pair<int, int> pen = x <= last ? nextPen(x) : previous;
      const int c = x - 1;
      if (c >= 0 && c < width_)
        column(c, std::min(previous.first, pen.first), std::max(previous.second, pen.second));
      previous = pen;
    }
    return;
  }
  for (int x = first; x <= last; ++x) {
    const auto [top, bottom] = nextPen(x);
    for (int c = std::max(x - half, 0); c < std::min(x - half + width, width_); ++c) column(c, top, bottom);
  }
}

YAxisView::YAxisView(QWidget* parent) : PictureView(parent) {}

bool YAxisView::Label::set(double value) {
  if (fitted_ && value == value_) return false;
  value_ = value;
  fitted_ = false;
  return true;
}

void YAxisView::Label::fit(const QFont& font, int width, int usualLeft, int top) {
  if (fitted_ && width == fittedWidth_ && font == askedFont_) return;
  fitted_ = true;
  fittedWidth_ = width;
  askedFont_ = font;
  font_ = font;
  const auto textWidth = [](const QFontMetrics& m, const std::string& text) {
    return TextWidth(m, Q(text));
  };
  // The forms from the most digits to the fewest, each tried at its usual
  // place, then moved left as far as it must be.
  std::vector<std::string> forms = {FileForm(value_), NumText(value_)};
  for (int digits = 15; digits >= 1; --digits) {
    std::string form = CompactNumText(value_, digits);
    if (form != forms.back()) forms.push_back(std::move(form));
  }
  const QFontMetrics metrics(font_);
  for (const std::string& form : forms) {
    const int w = textWidth(metrics, form);
    if (w > width) continue;
    text_ = form;
    rect_ = QRect(std::min(usualLeft, width - w), top, w, metrics.height());
    stamp_.set(text_);
    return;
  }
  // Not even one digit fits in this font: the shortest form in a smaller one.
  text_ = forms.back();
  const int px = QFontInfo(font_).pixelSize();
  for (int size = px - 1; size >= kSmallestTextPx; --size) {
    font_.setPixelSize(size);
    if (textWidth(QFontMetrics(font_), text_) <= width) break;
  }
  const QFontMetrics small(font_);
  rect_ = QRect(0, top, std::min(textWidth(small, text_), width), small.height());
  stamp_.set(text_);
}

void YAxisView::Label::draw(QPainter& p, QColor ink, qreal dpr) {
  stamp_.draw(p, rect_.topLeft(), font_, ink, dpr, fittedWidth_ - rect_.left());
}

void YAxisView::setLabels(double top, double bottom) {
  const bool changed = top_.set(top);
  if (bottom_.set(bottom) || changed) {
    fitLabels();
    redraw();
  }
}

void YAxisView::changeEvent(QEvent* event) {
  if (event->type() == QEvent::FontChange) fitLabels();
  PictureView::changeEvent(event);
}

void YAxisView::fitLabels() {
  const QSize size = contentsRect().size();
  const int left = static_cast<int>(std::lround(size.width() / 2.0 - Twips(100)));
  bottom_.fit(font(), size.width(), left, static_cast<int>(std::lround(size.height() - Twips(300))));
  top_.fit(font(), size.width(), left, static_cast<int>(std::lround(Twips(10))));
}

void YAxisView::paintPicture(QPainter& p, QSize size) {
  p.fillRect(QRect(QPoint(), size), palette().window());
  fitLabels();  // nothing to do unless the size or font changed
  const QColor ink = palette().color(foregroundRole());
  bottom_.draw(p, ink, devicePixelRatioF());
  top_.draw(p, ink, devicePixelRatioF());
}

XAxisView::XAxisView(QWidget* parent) : PictureView(parent) {}

void XAxisView::setLabels(const std::string& period, const std::string& title,
                          const std::string& zero) {
  bool changed = period_.set(period);
  changed = title_.set(title) || changed;
  if (zero_.set(zero) || changed) redraw();
}

void XAxisView::paintPicture(QPainter& p, QSize size) {
  p.fillRect(QRect(QPoint(), size), palette().window());
  const QColor ink = palette().color(foregroundRole());
  const qreal dpr = devicePixelRatioF();
  const auto drawAt = [&](TextStamp& text, double x) {
    const QPoint at = At(x, 0);
    text.draw(p, at, font(), ink, dpr, size.width() - at.x());
  };
  drawAt(title_, size.width() / 2.0);
  drawAt(zero_, size.width() - Twips(400));
  drawAt(period_, 0);
}

LegendView::LegendView(QWidget* parent) : PictureView(parent), rowFont_(font()) {}

void LegendView::changeEvent(QEvent* event) {
  if (event->type() == QEvent::FontChange) {
    fittedRoom_ = -1;
    fitFont();
  }
  PictureView::changeEvent(event);
}

void LegendView::setRows(const std::vector<LegendRow>& rows) {
  const auto same = [](const LegendRow& a, const LegendRow& b) {
    return a.y == b.y && a.color == b.color && a.text == b.text;
  };
  if (std::equal(rows.begin(), rows.end(), rows_.begin(), rows_.end(), same)) return;
  rows_.resize(rows.size());
  for (std::size_t i = 0; i < rows.size(); ++i) {
    // Assigned member by member, so that the texts keep their storage.
    rows_[i].y = rows[i].y;
    rows_[i].color = rows[i].color;
    rows_[i].text = rows[i].text;
    rows_[i].nameLength = rows[i].nameLength;
  }
  fitFont();
  redraw();
}

void LegendView::fitFont() {
  // The texts to fit, one a line: each row's name with the widest usual
  // reading, or the row's own text when its reading is wider.
  static constexpr std::string_view kEquals = " = ", kUnits = " units";
  fitting_.clear();
  for (const LegendRow& row : rows_) {
    const std::string_view text(row.text);
    const std::size_t name = std::min(row.nameLength, text.size());
    const std::size_t frame = name + kEquals.size() + kUnits.size();
    const bool usual =
        text.size() >= frame && UsualReading(text.substr(name + kEquals.size(), text.size() - frame));
    if (usual) {
      fitting_.append(text.substr(0, name)).append(kEquals).append(kWidestUsualReading).append(kUnits);
    } else {
      fitting_.append(text);
    }
    fitting_ += '\n';
  }
  // The texts start at X = 5 of 20; a pixel is kept free at the right.
  const int width = contentsRect().width();
  const int room = width - static_cast<int>(std::lround(5 * width / 20.0)) - 1;
  if (fitting_ == fittedTo_ && room == fittedRoom_) return;
  fittedTo_ = fitting_;
  fittedRoom_ = room;

  const auto widest = [this](const QFont& f) {
    const QFontMetrics metrics(f);
    int w = 0;
    for (const QString& line : Q(fitting_).split(QLatin1Char('\n'), Qt::SkipEmptyParts))
      w = std::max(w, TextWidth(metrics, line));
    return w;
  };
  rowFont_ = font();
  const int w = widest(rowFont_);
  if (w <= room || room <= 0) return;
  // Smaller in proportion, then a pixel at a time until every text fits.
  const int px = QFontInfo(rowFont_).pixelSize();
  for (int size = std::min(px - 1, px * room / w); size > kSmallestTextPx; --size) {
    rowFont_.setPixelSize(size);
    if (widest(rowFont_) <= room) return;
  }
  rowFont_.setPixelSize(kSmallestTextPx);
}

void LegendView::paintPicture(QPainter& p, QSize size) {
  p.fillRect(QRect(QPoint(), size), palette().window());
  // The legend's own scale: 0..20 to the right, 0..20 upward.
  const double ux = size.width() / 20.0;
  const double uy = size.height() / 20.0;
  for (const LegendRow& row : rows_) {
    const QColor color = FromColorRef(row.color);
    const double y = (20 - row.y) * uy;
    p.setPen(color);
    p.drawLine(QPointF(0, y), QPointF(5 * ux, y));
    const QPoint at = At(5 * ux, y - uy);
    texts_.draw(p, at, row.text, rowFont_, color, devicePixelRatioF(), size.width() - at.x());
  }
}


TitleLabel::TitleLabel(QWidget* parent) : QLabel(parent) {}

void TitleLabel::paintEvent(QPaintEvent* event) {
  QFrame::paintEvent(event);
  const QRect area = contentsRect();
  if (text() != shown_ || area.width() != shownWidth_) {
    shown_ = text();
    shownWidth_ = area.width();
    stamp_.set(S(fontMetrics().elidedText(shown_, Qt::ElideRight, shownWidth_)));
  }
  QPainter p(this);
  p.setClipRect(area);
  stamp_.draw(p, At(area.left(), area.top() + (area.height() - fontMetrics().height()) / 2.0),
              font(), palette().color(foregroundRole()), devicePixelRatioF(), area.width());
}

}  // namespace kvn
