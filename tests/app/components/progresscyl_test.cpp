#include "app/components/progresscyl.h"

#include <gtest/gtest.h>

#include <QApplication>
#include <QEnterEvent>

namespace brevane {
namespace {

TEST(ProgressCyl, Defaults) {
  TProgressCyl c;
  EXPECT_EQ(c.Min(), 0);
  EXPECT_EQ(c.Max(), 100);
  EXPECT_EQ(c.Position(), 0);
  EXPECT_EQ(c.width(), 150);
  EXPECT_EQ(c.height(), 22);
  EXPECT_EQ(c.CylinderEffect(), ceMaximum);
  EXPECT_EQ(c.BevelInner(), bvRaised);
  EXPECT_EQ(c.BevelOuter(), bvLowered);
  EXPECT_EQ(c.FontEffect(), feShadowBottomRight);
  EXPECT_EQ(c.Text(), "%");
  EXPECT_EQ(c.DisplayText(), "0%");
  EXPECT_EQ(c.ForeColor(), QColor(Qt::white));
  EXPECT_EQ(c.BackBorderColor(), QColor(Qt::black));
  EXPECT_TRUE(c.font().bold());
  // The bar area is inset by two bevels and the border on every side.
  EXPECT_EQ(c.InnerRect(), QRect(4, 4, 142, 14));
  EXPECT_EQ(c.Slope(), 255 / 14);
}

TEST(ProgressCyl, PositionPercentAndDoneEvent) {
  TProgressCyl c;
  int done = 0;
  c.OnProgressDone = [&](TProgressCyl& Sender) {
    EXPECT_EQ(&Sender, &c);
    ++done;
  };
  c.SetPosition(68);
  EXPECT_EQ(c.Percent(), 68);
  EXPECT_EQ(c.DisplayText(), "68%");
  EXPECT_EQ(c.BarLength(), 97);  // 0.68 of 142
  EXPECT_EQ(done, 0);

  c.SetPosition(150);
  EXPECT_EQ(c.Position(), 100);
  EXPECT_EQ(c.Percent(), 100);
  EXPECT_EQ(c.DisplayText(), "100%");
  EXPECT_EQ(done, 1);
  // Nothing changed, so no second event.
  c.SetPosition(100);
  EXPECT_EQ(done, 1);
  c.SetTextDone("Done");
  EXPECT_EQ(c.DisplayText(), "Done");
  c.SetPosition(-5);
  EXPECT_EQ(c.Position(), 0);
  EXPECT_EQ(c.DisplayText(), "0%");

  // Halves round to even.
  c.SetMax(200);
  c.SetPosition(1);
  EXPECT_EQ(c.Percent(), 0);
  c.SetPosition(3);
  EXPECT_EQ(c.Percent(), 2);
  c.SetPosition(5);
  EXPECT_EQ(c.Percent(), 2);
  c.SetPosition(200);
  EXPECT_EQ(done, 2);
}

TEST(ProgressCyl, RangeSetters) {
  TProgressCyl c;
  c.SetPosition(50);
  c.SetMin(100);  // equal to Max: becomes Max - 1
  EXPECT_EQ(c.Min(), 99);
  EXPECT_EQ(c.Position(), 99);
  c.SetMin(150);  // above Max: refused
  EXPECT_EQ(c.Min(), 99);
  c.SetMin(0);
  c.SetPosition(80);
  c.SetMax(0);  // equal to Min: becomes Min + 1
  EXPECT_EQ(c.Max(), 1);
  EXPECT_EQ(c.Position(), 1);
  c.SetMax(-10);
  EXPECT_EQ(c.Max(), 1);
  c.SetMin(-100);
  c.SetMax(100);
  c.SetPosition(0);
  EXPECT_EQ(c.Percent(), 50);

  c.ForeStyle().SetIntensity(0);
  EXPECT_FLOAT_EQ(c.ForeStyle().Intensity(), 4.0f);
  c.ForeStyle().SetLightAngle(0);
  EXPECT_FLOAT_EQ(c.ForeStyle().LightAngle(), -3.0f);
  c.BackStyle().SetRangeRGB(0);
  EXPECT_EQ(c.BackStyle().RangeRGB(), 255);
  c.ForeStyle().SetIntensity(2);
  EXPECT_FLOAT_EQ(c.ForeStyle().Intensity(), 2.0f);

  c.SetOrientation(pbVertical);
  EXPECT_EQ(c.FontOrientation(), foBottomToTop);
  c.SetOrientation(pbHorizontal);
  EXPECT_EQ(c.FontOrientation(), foLeftToRight);
}

TEST(ProgressCyl, ChannelFactors) {
  TPCColorStyle s;
  // With the defaults: ((255 - c) / 4 + c) / 255.
  EXPECT_DOUBLE_EQ(s.ChannelFactor(255), 1.0);
  EXPECT_DOUBLE_EQ(s.ChannelFactor(0), (255.0 / 4) / 255);
  EXPECT_DOUBLE_EQ(s.ChannelFactor(128), ((255.0 - 128) / 4 + 128) / 255);
}

TEST(ProgressCyl, PaintsAShadedCylinder) {
  TProgressCyl c;
  c.SetShowText(false);
  c.SetBackColor(QColor(0, 0, 255));
  c.SetPosition(50);
  const QImage img = c.PaintImage();
  ASSERT_FALSE(img.isNull());
  ASSERT_EQ(img.size(), QSize(150, 22));
  const QRect in = c.InnerRect();
  const int end = in.left() + c.BarLength();
  // The bar is white shaded to grey; the background a lightened blue
  // (a channel of 0 gets a quarter of the light with the default style).
  const QRgb bar = img.pixel(in.left() + 5, in.top() + 4);
  EXPECT_EQ(bar, qRgb(255, 255, 255));
  const QRgb back = img.pixel(end + 5, in.top() + 4);
  EXPECT_EQ(back, qRgb(63, 63, 255));
  // The brightest row is where the light falls, a third of the way down
  // (k = trunc(14 / -3) + row passes 0 at row 4); it darkens towards the edges.
  auto grey = [&](int row) { return qRed(img.pixel(in.left() + 5, in.top() + row)); };
  EXPECT_EQ(grey(4), 255);
  EXPECT_LT(grey(0), grey(3));
  EXPECT_LT(grey(13), grey(6));
  EXPECT_GT(grey(4), grey(13));
  // The one-pixel border around the bar area shows where no inner bevel
  // is drawn over it.
  c.SetBevelInner(bvNone);
  const QImage framed = c.PaintImage();
  EXPECT_EQ(framed.pixel(in.left() - 1, in.top() + 5), qRgb(0, 0, 0));
  EXPECT_EQ(framed.pixel(in.right() + 1, in.top() + 5), qRgb(0, 0, 0));
  EXPECT_EQ(framed.pixel(in.left() + 3, in.top() - 1), qRgb(0, 0, 0));

  // Vertical bars grow from the bottom.
  c.SetOrientation(pbVertical);
  c.resize(22, 150);
  c.SetPosition(40);
  const QImage v = c.PaintImage();
  const QRect vin = c.InnerRect();
  const QRgb low = v.pixel(vin.left() + 4, vin.bottom() - 2);
  const QRgb high = v.pixel(vin.left() + 4, vin.top() + 2);
  EXPECT_EQ(qRed(low), qBlue(low));
  EXPECT_LT(qRed(high), qBlue(high));
}

TEST(ProgressCyl, NoRoomPaintsNothing) {
  TProgressCyl c;
  c.resize(150, 4);
  EXPECT_TRUE(c.PaintImage().isNull());
  c.SetPosition(30);
  EXPECT_TRUE(c.PaintImage().isNull());
  // An inner area with no height: no division by it.
  c.resize(150, 8);
  EXPECT_EQ(c.InnerRect().height(), 0);
  EXPECT_EQ(c.Slope(), 0);
  EXPECT_TRUE(c.PaintImage().isNull());
  c.SetOrientation(pbVertical);
  c.resize(8, 150);
  EXPECT_EQ(c.Slope(), 0);
  c.SetPosition(60);
  EXPECT_TRUE(c.PaintImage().isNull());
  c.grab();
  // A frame without bevels or border leaves the whole control to the bar.
  c.SetBevelWidth(0);
  c.SetBorderWidth(0);
  EXPECT_EQ(c.InnerRect(), QRect(0, 0, 8, 150));
  EXPECT_FALSE(c.PaintImage().isNull());
}

TEST(ProgressCyl, MouseEnterAndLeave) {
  TProgressCyl c;
  int enter = 0, leave = 0;
  c.OnMouseEnter = [&](TProgressCyl&) { ++enter; };
  c.OnMouseLeave = [&](TProgressCyl&) { ++leave; };
  QEnterEvent in(QPointF(5, 5), QPointF(5, 5), QPointF(5, 5));
  QApplication::sendEvent(&c, &in);
  QEvent out(QEvent::Leave);
  QApplication::sendEvent(&c, &out);
  EXPECT_EQ(enter, 1);
  EXPECT_EQ(leave, 1);
}

}  // namespace
}  // namespace brevane
