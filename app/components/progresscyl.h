#pragma once
// A progress bar drawn as a shaded cylinder in a bevelled frame, with the
// percentage (or a completion text) written over it. Drawing goes through
// an off-screen bitmap copied to the control in one step.

#include <QColor>
#include <QImage>
#include <QWidget>
#include <functional>
#include <string>

namespace brevane {

// The shading of the bar or of the background.
class TPCColorStyle {
 public:
  int IntensityRGB() const { return FIntensityRGB; }
  void SetIntensityRGB(int Value);
  float Intensity() const { return FIntensity; }
  void SetIntensity(float Value);  // 0 is ignored
  float IntensityFactor() const { return FIntensityFactor; }
  void SetIntensityFactor(float Value);
  int RangeRGB() const { return FRangeRGB; }
  void SetRangeRGB(int Value);  // 0 is ignored
  int ColorRGB() const { return FColorRGB; }
  void SetColorRGB(int Value);
  float ColorFactor() const { return FColorFactor; }
  void SetColorFactor(float Value);
  float LightAngle() const { return FLightAngle; }
  void SetLightAngle(float Value);  // 0 is ignored

  // Brightness factor of one colour channel (0..255).
  double ChannelFactor(int Channel) const;

  std::function<void()> OnChange;

 private:
  void Changed();
  int FIntensityRGB = 255;
  float FIntensity = 4.0f;
  float FIntensityFactor = -1.0f;
  int FRangeRGB = 255;
  int FColorRGB = 255;
  float FColorFactor = -1.0f;
  float FLightAngle = -3.0f;
};

enum TProgressBarOrientation : int { pbHorizontal, pbVertical };
enum TCylinderEffect : int { ceFlat, ceUltraLow, ceLow, ceMedium, ceHigh, ceMaximum };
enum TBevelCut : int { bvNone, bvLowered, bvRaised, bvSpace };
enum TFontEffect : int { feNone, feInvert, feShadowTopLeft, feShadowBottomRight };
enum TFontOrientation : int { foLeftToRight, foTopToBottom, foBottomToTop };
enum TProEffect : int { peCustom };

class TProgressCyl : public QWidget {
  Q_OBJECT

 public:
  explicit TProgressCyl(QWidget* Parent = nullptr);

  int Min() const { return FMin; }
  void SetMin(int Value);
  int Max() const { return FMax; }
  void SetMax(int Value);
  int Position() const { return FPosition; }
  void SetPosition(int Value);
  int Step = 1;
  bool StopAtMax = true;
  TProgressBarOrientation Orientation() const { return FOrientation; }
  void SetOrientation(TProgressBarOrientation Value);
  TCylinderEffect CylinderEffect() const { return FCylinderEffect; }
  void SetCylinderEffect(TCylinderEffect Value);

  QColor ForeColor() const { return FForeColor; }
  void SetForeColor(const QColor& Value);
  QColor ForeLineColor() const { return FForeLineColor; }
  void SetForeLineColor(const QColor& Value);
  TPCColorStyle& ForeStyle() { return FForeStyle; }
  QColor BackColor() const { return FBackColor; }
  void SetBackColor(const QColor& Value);
  QColor BackBorderColor() const { return FBackBorderColor; }
  void SetBackBorderColor(const QColor& Value);
  TPCColorStyle& BackStyle() { return FBackStyle; }
  TBevelCut BevelInner() const { return FBevelInner; }
  void SetBevelInner(TBevelCut Value);
  TBevelCut BevelOuter() const { return FBevelOuter; }
  void SetBevelOuter(TBevelCut Value);
  int BevelWidth() const { return FBevelWidth; }
  void SetBevelWidth(int Value);
  int BorderWidth() const { return FBorderWidth; }
  void SetBorderWidth(int Value);
  QColor BevelColor() const { return FBevelColor; }
  void SetBevelColor(const QColor& Value);
  bool ShowText() const { return FShowText; }
  void SetShowText(bool Value);
  const std::string& Text() const { return FText; }
  void SetText(const std::string& Value);
  const std::string& TextDone() const { return FTextDone; }
  void SetTextDone(const std::string& Value);
  TFontEffect FontEffect() const { return FFontEffect; }
  void SetFontEffect(TFontEffect Value);
  QColor FontShadowColor() const { return FFontShadowColor; }
  void SetFontShadowColor(const QColor& Value);
  TFontOrientation FontOrientation() const { return FFontOrientation; }
  void SetFontOrientation(TFontOrientation Value);
  TProEffect ProEffect = peCustom;

  std::function<void(TProgressCyl& Sender)> OnProgressDone;
  std::function<void(TProgressCyl& Sender)> OnMouseEnter;
  std::function<void(TProgressCyl& Sender)> OnMouseLeave;

  int Percent() const { return FPercent; }
  // The bar's length in pixels along the inner area.
  int BarLength() const { return FBarLength; }
  // The text written over the bar.
  std::string DisplayText() const;
  // The bar area inside the frame.
  QRect InnerRect() const;
  // Brightness steps per pixel row (or column) across the cylinder; 0 when
  // the inner area has no extent across.
  int Slope() const;
  // The picture the control shows; a null image when there is no room.
  QImage PaintImage() const;

  QSize sizeHint() const override { return {150, 22}; }

 protected:
  void paintEvent(QPaintEvent* Event) override;
  void resizeEvent(QResizeEvent* Event) override;
  void enterEvent(QEnterEvent* Event) override;
  void leaveEvent(QEvent* Event) override;

 private:
  void Recalculate(bool Notify);
  int ComputeBarLength() const;
  void Changed() { update(); }

  int FMin = 0;
  int FMax = 100;
  int FPosition = 0;
  int FPercent = 0;
  int FBarLength = 0;
  TProgressBarOrientation FOrientation = pbHorizontal;
  TCylinderEffect FCylinderEffect = ceMaximum;
  QColor FForeColor;
  QColor FForeLineColor;
  TPCColorStyle FForeStyle;
  QColor FBackColor;
  QColor FBackBorderColor;
  TPCColorStyle FBackStyle;
  TBevelCut FBevelInner = bvRaised;
  TBevelCut FBevelOuter = bvLowered;
  int FBevelWidth = 1;
  int FBorderWidth = 2;
  QColor FBevelColor;
  bool FShowText = true;
  std::string FText = "%";
  std::string FTextDone;
  TFontEffect FFontEffect = feShadowBottomRight;
  QColor FFontShadowColor;
  TFontOrientation FFontOrientation = foLeftToRight;
};

}  // namespace brevane
