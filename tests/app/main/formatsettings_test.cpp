#include "app/main/formatsettings.h"

#include <gtest/gtest.h>

#include <cmath>

#include "base/dates.h"

namespace brevane {
namespace {

vsk::TDateTime At(int y, int mo, int d, int h, int mi) {
  return vsk::EncodeDate(y, mo, d) + vsk::EncodeTime(h, mi, 0, 0);
}

TEST(FormatSettings, WritesThePatternsWithTheSeparator) {
  TFormatSettings s;
  s.DateSeparator = '-';
  EXPECT_EQ(DateTimeToStr(At(2024, 3, 5, 14, 7), s), "2024-03-05 14:07");
  s.ShortDateFormat = "m/d/yyyy";
  s.ShortTimeFormat = "h:nn AMPM";
  EXPECT_EQ(DateTimeToStr(At(2024, 3, 5, 14, 7), s), "3-5-2024 2:07 PM");
  EXPECT_EQ(DateTimeToStr(At(2024, 12, 25, 0, 30), s), "12-25-2024 12:30 AM");
  s.ShortDateFormat = "dd/mm/yy";
  s.ShortTimeFormat = "hh:nn:ss";
  EXPECT_EQ(DateTimeToStr(At(1999, 1, 9, 9, 5), s), "09-01-99 09:05:00");
  EXPECT_EQ(FormatDateTime("'at' hh:nn", At(2000, 1, 1, 8, 9), s), "at 08:09");
}

TEST(FormatSettings, ReadsBackWhatItWrote) {
  const char* dates[] = {"yyyy/mm/dd", "m/d/yyyy", "dd/mm/yyyy", "d/m/yyyy"};
  const char* times[] = {"hh:nn", "h:nn AMPM", "hh:nn:ss"};
  const vsk::TDateTime values[] = {At(2021, 6, 15, 10, 30), At(1980, 1, 1, 0, 0), At(2099, 12, 31, 23, 59),
                                   At(2024, 2, 29, 12, 0)};
  for (const char* d : dates)
    for (const char* t : times)
      for (const auto v : values) {
        TFormatSettings s;
        s.DateSeparator = '-';
        s.ShortDateFormat = d;
        s.ShortTimeFormat = t;
        const std::string text = DateTimeToStr(v, s);
        vsk::TDateTime back = 0;
        ASSERT_TRUE(TryStrToDateTime(text, back, s)) << text;
        EXPECT_LT(std::fabs(back - v), 1.0 / 86400000.0) << text;
      }
}

TEST(FormatSettings, RefusesWhatIsNoDate) {
  TFormatSettings s;
  s.DateSeparator = '-';
  vsk::TDateTime v = 0;
  EXPECT_FALSE(TryStrToDateTime("", v, s));
  EXPECT_FALSE(TryStrToDateTime("2021-13-01 10:00", v, s));
  EXPECT_FALSE(TryStrToDateTime("2021-02-30", v, s));
  EXPECT_FALSE(TryStrToDateTime("2021/02/03 10:00", v, s));
  EXPECT_FALSE(TryStrToDateTime("2021-02-03 25:00", v, s));
  EXPECT_FALSE(TryStrToDateTime("2021-02-03 10:00 XM", v, s));
  EXPECT_FALSE(TryStrToDateTime("2021-02-03 13:00 PM", v, s));
  EXPECT_FALSE(TryStrToDateTime("20x1-02-03", v, s));
  EXPECT_TRUE(TryStrToDateTime("2021-02-03", v, s));
  EXPECT_EQ(v, vsk::EncodeDate(2021, 2, 3));
  EXPECT_TRUE(TryStrToDateTime("21-02-03 1:05PM", v, s));
  EXPECT_LT(std::fabs(v - At(2021, 2, 3, 13, 5)), 1e-9);
}

}  // namespace
}  // namespace brevane
