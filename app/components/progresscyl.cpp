#include "app/components/progresscyl.h"

#include <QPainter>
#include <algorithm>
#include <cmath>

namespace brevane {

namespace {

constexpr int kDepth[] = {1, 51, 102, 153, 204, 255};

int Clamp255(double v) { return v < 0 ? 0 : v > 255 ? 255 : static_cast<int>(v); }

QColor Shifted(const QColor& c, int d) {
  return QColor(std::clamp(c.red() + d, 0, 255), std::clamp(c.green() + d, 0, 255), std::clamp(c.blue() + d, 0, 255));
}

// Top and left lines in one colour, bottom and right in the other, Width
// times, each inside the last.
void Frame3D(QPainter& P, QRect R, const QColor& TopLeft, const QColor& BottomRight, int Width) {
  for (int i = 0; i < Width && R.width() > 0 && R.height() > 0; ++i) {
    P.setPen(TopLeft);
    P.drawLine(R.topLeft(), R.topRight());
    P.drawLine(R.topLeft(), R.bottomLeft());
    P.setPen(BottomRight);
    P.drawLine(R.bottomLeft(), R.bottomRight());
    P.drawLine(R.topRight(), R.bottomRight());
    R.adjust(1, 1, -1, -1);
  }
}

}  // namespace

void TPCColorStyle::Changed() {
  if (OnChange) OnChange();
}

void TPCColorStyle::SetIntensityRGB(int Value) {
  FIntensityRGB = Value;
  Changed();
}

void TPCColorStyle::SetIntensity(float Value) {
  if (Value == 0) return;
  FIntensity = Value;
  Changed();
}

void TPCColorStyle::SetIntensityFactor(float Value) {
  FIntensityFactor = Value;
  Changed();
}

void TPCColorStyle::SetRangeRGB(int Value) {
  if (Value == 0) return;
  FRangeRGB = Value;
  Changed();
}

void TPCColorStyle::SetColorRGB(int Value) {
  FColorRGB = Value;
  Changed();
}

void TPCColorStyle::SetColorFactor(float Value) {
  FColorFactor = Value;
  Changed();
}

void TPCColorStyle::SetLightAngle(float Value) {
  if (Value == 0) return;
  FLightAngle = Value;
  Changed();
}

double TPCColorStyle::ChannelFactor(int Channel) const {
  return ((Channel * static_cast<double>(FIntensityFactor) + FIntensityRGB) / FIntensity + Channel) / FRangeRGB;
}

TProgressCyl::TProgressCyl(QWidget* Parent) : QWidget(Parent) {
  const QPalette& pal = palette();
  const QColor face = pal.color(QPalette::Button);
  FForeColor = Qt::white;
  FForeLineColor = pal.color(QPalette::Highlight);
  FBackColor = face;
  FBackBorderColor = Qt::black;
  FBevelColor = face;
  FFontShadowColor = face;
  QFont f(QStringLiteral("Arial"), 9);
  f.setBold(true);
  setFont(f);
  QPalette p = pal;
  p.setColor(QPalette::WindowText, Qt::black);
  setPalette(p);
  resize(150, 22);
  const auto styleChanged = [this] {
    ProEffect = peCustom;
    Changed();
  };
  FForeStyle.OnChange = styleChanged;
  FBackStyle.OnChange = styleChanged;
}

QRect TProgressCyl::InnerRect() const {
  const int inset = 2 * FBevelWidth + FBorderWidth;
  return QRect(inset, inset, width() - 2 * inset, height() - 2 * inset);
}

int TProgressCyl::Slope() const {
  const QRect in = InnerRect();
  const int across = FOrientation == pbHorizontal ? in.height() : in.width();
  return across > 0 ? kDepth[FCylinderEffect] / across : 0;
}

int TProgressCyl::ComputeBarLength() const {
  const QRect in = InnerRect();
  const int along = FOrientation == pbHorizontal ? in.width() : in.height();
  if (along <= 0 || FMax <= FMin) return 0;
  const double fraction = static_cast<double>(FPosition - FMin) / (FMax - FMin);
  return static_cast<int>(std::nearbyint(fraction * along));
}

void TProgressCyl::Recalculate(bool Notify) {
  const int percent =
      FMax > FMin ? static_cast<int>(std::nearbyint(static_cast<double>(FPosition - FMin) / (FMax - FMin) * 100.0)) : 0;
  const int length = ComputeBarLength();
  if (percent == FPercent && length == FBarLength) return;
  FPercent = percent;
  FBarLength = length;
  if (Notify && FPosition == FMax && OnProgressDone) OnProgressDone(*this);
  update();
}

void TProgressCyl::SetPosition(int Value) {
  FPosition = std::clamp(Value, FMin, FMax);
  Recalculate(true);
}

void TProgressCyl::SetMin(int Value) {
  if (Value == FMin) return;
  if (Value == FMax) Value = FMax - 1;
  if (Value >= FMax) return;
  FMin = Value;
  if (FPosition < FMin) FPosition = FMin;
  Recalculate(false);
  update();
}

void TProgressCyl::SetMax(int Value) {
  if (Value == FMax) return;
  if (Value == FMin) Value = FMin + 1;
  if (Value <= FMin) return;
  FMax = Value;
  if (FPosition > FMax) FPosition = FMax;
  Recalculate(false);
  update();
}

void TProgressCyl::SetOrientation(TProgressBarOrientation Value) {
  FOrientation = Value;
  FFontOrientation = Value == pbVertical ? foBottomToTop : foLeftToRight;
  Recalculate(false);
  update();
}

void TProgressCyl::SetCylinderEffect(TCylinderEffect Value) {
  FCylinderEffect = Value;
  Changed();
}

void TProgressCyl::SetForeColor(const QColor& Value) {
  FForeColor = Value;
  Changed();
}

void TProgressCyl::SetForeLineColor(const QColor& Value) {
  FForeLineColor = Value;
  Changed();
}

void TProgressCyl::SetBackColor(const QColor& Value) {
  FBackColor = Value;
  Changed();
}

void TProgressCyl::SetBackBorderColor(const QColor& Value) {
  FBackBorderColor = Value;
  Changed();
}

void TProgressCyl::SetBevelInner(TBevelCut Value) {
  FBevelInner = Value;
  Changed();
}

void TProgressCyl::SetBevelOuter(TBevelCut Value) {
  FBevelOuter = Value;
  Changed();
}

void TProgressCyl::SetBevelWidth(int Value) {
  FBevelWidth = Value < 0 ? 0 : Value;
  Recalculate(false);
  update();
}

void TProgressCyl::SetBorderWidth(int Value) {
  FBorderWidth = Value < 0 ? 0 : Value;
  Recalculate(false);
  update();
}

void TProgressCyl::SetBevelColor(const QColor& Value) {
  FBevelColor = Value;
  Changed();
}

void TProgressCyl::SetShowText(bool Value) {
  FShowText = Value;
  Changed();
}

void TProgressCyl::SetText(const std::string& Value) {
  FText = Value;
  Changed();
}

void TProgressCyl::SetTextDone(const std::string& Value) {
  FTextDone = Value;
  Changed();
}

void TProgressCyl::SetFontEffect(TFontEffect Value) {
  FFontEffect = Value;
  Changed();
}

void TProgressCyl::SetFontShadowColor(const QColor& Value) {
  FFontShadowColor = Value;
  Changed();
}

void TProgressCyl::SetFontOrientation(TFontOrientation Value) {
  FFontOrientation = Value;
  Changed();
}

std::string TProgressCyl::DisplayText() const {
  if (!FTextDone.empty() && FPercent == 100) return FTextDone;
  return std::to_string(FPercent) + FText;
}

QImage TProgressCyl::PaintImage() const {
  const QRect in = InnerRect();
  if (width() <= 0 || height() <= 0 || in.width() <= 0 || in.height() <= 0) return {};
  QImage img(width(), height(), QImage::Format_RGB32);
  const QPalette& pal = palette();
  const QColor face = pal.color(QPalette::Button);
  img.fill(face);

  struct TShade {
    double Factor[3];
    const TPCColorStyle* Style;
  };
  const auto shade = [](const QColor& c, const TPCColorStyle& s) {
    return TShade{{s.ChannelFactor(c.red()), s.ChannelFactor(c.green()), s.ChannelFactor(c.blue())}, &s};
  };
  const TShade fore = shade(FForeColor, FForeStyle);
  const TShade line = shade(FForeLineColor, FForeStyle);
  const TShade back = shade(FBackColor, FBackStyle);
  const int slope = Slope();
  const auto pixel = [slope](const TShade& s, int k) {
    const double base = std::abs(k) * slope * static_cast<double>(s.Style->ColorFactor()) + s.Style->ColorRGB();
    return qRgb(Clamp255(std::trunc(base * s.Factor[0])), Clamp255(std::trunc(base * s.Factor[1])),
                Clamp255(std::trunc(base * s.Factor[2])));
  };
  const bool horizontal = FOrientation == pbHorizontal;
  const int across = horizontal ? in.height() : in.width();
  const int k0Fore = static_cast<int>(std::trunc(across / static_cast<double>(FForeStyle.LightAngle())));
  const int k0Back = static_cast<int>(std::trunc(across / static_cast<double>(FBackStyle.LightAngle())));
  if (horizontal) {
    int end = in.left() + FBarLength;
    if (in.width() >= 3) end = std::clamp(end, in.left() + 1, in.right() - 1);
    for (int r = 0; r < in.height(); ++r) {
      const QRgb pf = pixel(fore, k0Fore + r), pl = pixel(line, k0Fore + r), pb = pixel(back, k0Back + r);
      auto* row = reinterpret_cast<QRgb*>(img.scanLine(in.top() + r));
      for (int x = in.left(); x <= in.right(); ++x) row[x] = x < end ? pf : x == end ? pl : pb;
    }
  } else {
    int end = in.bottom() - FBarLength;
    if (in.height() >= 3) end = std::clamp(end, in.top() + 1, in.bottom() - 1);
    for (int c = 0; c < in.width(); ++c) {
      const QRgb pf = pixel(fore, k0Fore + c), pl = pixel(line, k0Fore + c), pb = pixel(back, k0Back + c);
      const int x = in.left() + c;
      for (int y = in.top(); y <= in.bottom(); ++y)
        reinterpret_cast<QRgb*>(img.scanLine(y))[x] = y > end ? pf : y == end ? pl : pb;
    }
  }

  QPainter p(&img);
  const QRect border = in.adjusted(-1, -1, 1, 1);
  p.setPen(FBackBorderColor);
  p.drawRect(border.adjusted(0, 0, -1, -1));

  QColor light, dark, light2, dark2;
  if (FBevelColor == face) {
    light = pal.color(QPalette::Light);
    dark = pal.color(QPalette::Dark);
    light2 = pal.color(QPalette::Midlight);
    dark2 = pal.color(QPalette::Shadow);
  } else {
    light = light2 = Shifted(FBevelColor, 64);
    dark = dark2 = Shifted(FBevelColor, -64);
  }
  const QRect whole = rect();
  if (FBevelInner != bvNone) {
    QColor tl = face, br = face;
    if (FBevelInner == bvLowered) {
      const bool deep = FBevelOuter == bvLowered && FBorderWidth == 0;
      tl = deep ? dark2 : dark;
      br = deep ? light2 : light;
    } else if (FBevelInner == bvRaised) {
      tl = FBevelOuter == bvRaised && FBorderWidth == 0 ? light2 : light;
      br = dark;
    }
    const int inset = FBevelWidth + FBorderWidth;
    Frame3D(p, whole.adjusted(inset, inset, -inset, -inset), tl, br, FBevelWidth);
  }
  if (FBevelOuter != bvNone) {
    QColor tl = face, br = face;
    if (FBevelOuter == bvLowered) {
      tl = dark;
      br = light;
    } else if (FBevelOuter == bvRaised) {
      tl = light;
      br = FBevelInner == bvRaised && FBorderWidth == 0 ? dark2 : dark;
    }
    Frame3D(p, whole, tl, br, FBevelWidth);
  }

  if (FShowText) {
    const QString text = QString::fromStdString(DisplayText());
    p.setFont(font());
    p.translate(whole.center().x() + 0.5, whole.center().y() + 0.5);
    if (FFontOrientation == foTopToBottom) p.rotate(90);
    if (FFontOrientation == foBottomToTop) p.rotate(-90);
    const bool turned = FFontOrientation != foLeftToRight;
    const int w = turned ? whole.height() : whole.width();
    const int h = turned ? whole.width() : whole.height();
    const QRect box(-w / 2, -h / 2, w, h);
    const QColor textColor = pal.color(QPalette::WindowText);
    if (FFontEffect == feShadowTopLeft || FFontEffect == feShadowBottomRight) {
      const int d = FFontEffect == feShadowTopLeft ? -1 : 1;
      p.setPen(FFontShadowColor);
      p.drawText(box.translated(d, d), Qt::AlignCenter, text);
    }
    if (FFontEffect == feInvert) {
      p.setCompositionMode(QPainter::CompositionMode_Difference);
      p.setPen(Qt::white);
    } else {
      p.setPen(textColor);
    }
    p.drawText(box, Qt::AlignCenter, text);
  }
  p.end();
  return img;
}

void TProgressCyl::paintEvent(QPaintEvent*) {
  const QImage img = PaintImage();
  if (img.isNull()) return;
  QPainter p(this);
  p.drawImage(0, 0, img);
}

void TProgressCyl::resizeEvent(QResizeEvent* Event) {
  QWidget::resizeEvent(Event);
  FBarLength = ComputeBarLength();
}

void TProgressCyl::enterEvent(QEnterEvent* Event) {
  QWidget::enterEvent(Event);
  if (OnMouseEnter) OnMouseEnter(*this);
  update();
}

void TProgressCyl::leaveEvent(QEvent* Event) {
  QWidget::leaveEvent(Event);
  if (OnMouseLeave) OnMouseLeave(*this);
  update();
}

}  // namespace brevane
