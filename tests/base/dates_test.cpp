#include "base/dates.h"

#include <gtest/gtest.h>

#include <cmath>
#include <ctime>

#include "base/errors.h"
#include "tests/support/testutil.h"

namespace vsk {
namespace {

// Switches the process to a time zone for the object's lifetime.
class ScopedZone {
 public:
  explicit ScopedZone(const std::string& tz) : env_("TZ", tz) { tzset(); }
  ~ScopedZone() { tzset(); }

 private:
  vsktest::ScopedEnv env_;
};

TDateTime At(int y, int mo, int d, int h = 0, int mi = 0, int s = 0, int ms = 0) {
  return ComposeDateTime(EncodeDate(y, mo, d), EncodeTime(h, mi, s, ms));
}

// Seconds of a UTC civil time by the C library, independent of our arithmetic.
Int64 Utc(int y, int mo, int d, int h = 0, int mi = 0, int s = 0) {
  std::tm tm{};
  tm.tm_year = y - 1900;
  tm.tm_mon = mo - 1;
  tm.tm_mday = d;
  tm.tm_hour = h;
  tm.tm_min = mi;
  tm.tm_sec = s;
  return timegm(&tm);
}

#define EXPECT_SAME_TIME(a, b) EXPECT_NEAR((a), (b), 1e-8)

TEST(Dates, EncodeAndDecode) {
  EXPECT_EQ(EncodeDate(1899, 12, 30), 0.0);
  EXPECT_EQ(EncodeDate(1970, 1, 1), kUnixEpochDateTime);
  EXPECT_EQ(EncodeDate(1980, 1, 1), 29221.0);
  EXPECT_EQ(EncodeDate(2000, 3, 1) - EncodeDate(2000, 2, 28), 2.0);
  EXPECT_EQ(EncodeDate(2100, 3, 1) - EncodeDate(2100, 2, 28), 1.0);
  EXPECT_SAME_TIME(EncodeTime(12, 0, 0, 0), 0.5);
  EXPECT_THROW(EncodeDate(2023, 2, 29), ERangeError);
  EXPECT_THROW(EncodeDate(0, 1, 1), ERangeError);
  EXPECT_THROW(EncodeTime(24, 0, 0, 0), ERangeError);
  TDateTime t;
  EXPECT_FALSE(TryEncodeTime(0, 60, 0, 0, t));
  EXPECT_TRUE(TryEncodeDate(2024, 2, 29, t));

  int y, mo, d, h, mi, s, ms;
  DecodeDate(At(2024, 2, 29, 23, 59, 59, 999), y, mo, d);
  DecodeTime(At(2024, 2, 29, 23, 59, 59, 999), h, mi, s, ms);
  EXPECT_EQ((std::array{y, mo, d, h, mi, s, ms}), (std::array{2024, 2, 29, 23, 59, 59, 999}));
  // Before day 0 the time of day counts away from zero.
  EXPECT_SAME_TIME(At(1899, 12, 29, 6), -1.25);
  DecodeDate(-1.25, y, mo, d);
  DecodeTime(-1.25, h, mi, s, ms);
  EXPECT_EQ((std::array{y, mo, d, h}), (std::array{1899, 12, 29, 6}));
  DecodeDate(std::nan(""), y, mo, d);  // must not trap
  EXPECT_TRUE(IsLeapYear(2000));
  EXPECT_TRUE(IsLeapYear(2024));
  EXPECT_FALSE(IsLeapYear(1900));
  EXPECT_FALSE(IsLeapYear(2100));
  EXPECT_FALSE(IsLeapYear(2023));
}

TEST(Dates, IncMonthCarriesAndClamps) {
  EXPECT_SAME_TIME(IncMonth(At(2024, 1, 31, 10, 30)), At(2024, 2, 29, 10, 30));
  EXPECT_SAME_TIME(IncMonth(At(2023, 1, 31)), At(2023, 2, 28));
  EXPECT_SAME_TIME(IncMonth(At(2023, 11, 15), 3), At(2024, 2, 15));
  EXPECT_SAME_TIME(IncMonth(At(2024, 3, 31), -1), At(2024, 2, 29));
  EXPECT_SAME_TIME(IncMonth(At(2024, 1, 10), -13), At(2022, 12, 10));
  EXPECT_SAME_TIME(IncMonth(At(2024, 5, 5), 0), At(2024, 5, 5));
  EXPECT_SAME_TIME(IncMonth(At(2000, 2, 29), 12), At(2001, 2, 28));
}

TEST(Dates, DosDateTimes) {
  EXPECT_SAME_TIME(DosDateTimeToDateTime(0), At(1980, 1, 1, 0, 1));
  EXPECT_SAME_TIME(kDefaultDateTime, 29221.000694444);
  const UInt32 v = (43u << 25) | (6u << 21) | (15u << 16) | (13u << 11) | (45u << 5) | 29u;
  EXPECT_SAME_TIME(DosDateTimeToDateTime(v), At(2023, 6, 15, 13, 45, 58));
  EXPECT_EQ(DateTimeToDosDateTime(At(2023, 6, 15, 13, 45, 58)), v);
  EXPECT_EQ(DateTimeToDosDateTime(At(2023, 6, 15, 13, 45, 59)), v);  // odd seconds round down
  EXPECT_EQ(DateTimeToDosDateTime(At(1980, 1, 1, 0, 1)), kDefaultDosDateTime);

  // Fields that form no real date or time give the default.
  const UInt32 date = (43u << 25) | (6u << 21) | (15u << 16);
  for (UInt32 bad : {(43u << 25) | (13u << 21) | (1u << 16), (43u << 25) | (0u << 21) | (1u << 16),
                     (43u << 25) | (2u << 21) | (29u << 16), (44u << 25) | (2u << 21) | (30u << 16),
                     (43u << 25) | (4u << 21) | (31u << 16), (43u << 25) | (1u << 21) | (0u << 16),
                     date | (24u << 11), date | (60u << 5), date | 30u, 0x00000020u})
    EXPECT_SAME_TIME(DosDateTimeToDateTime(bad), kDefaultDateTime) << std::hex << bad;
  EXPECT_SAME_TIME(DosDateTimeToDateTime((44u << 25) | (2u << 21) | (29u << 16)), At(2024, 2, 29));

  // Packing clamps to the years the format holds.
  EXPECT_EQ(DateTimeToDosDateTime(At(1979, 12, 31, 23, 59, 59)), 0x00210000u);
  EXPECT_EQ(DateTimeToDosDateTime(At(1601, 1, 1)), 0x00210000u);
  const UInt32 maxDos = (127u << 25) | (12u << 21) | (31u << 16) | (23u << 11) | (59u << 5) | 29u;
  EXPECT_EQ(DateTimeToDosDateTime(At(2108, 1, 1)), maxDos);
  EXPECT_EQ(DateTimeToDosDateTime(At(9999, 12, 31, 23, 59, 59)), maxDos);
  EXPECT_EQ(DateTimeToDosDateTime(At(2107, 12, 31, 23, 59, 58)), maxDos);
  EXPECT_SAME_TIME(DosDateTimeToDateTime(maxDos), At(2107, 12, 31, 23, 59, 58));
  EXPECT_EQ(DateTimeToDosDateTime(std::nan("")), 0x00210000u);

  EXPECT_EQ(SwapDosWords(0x12345678u), 0x56781234u);
  EXPECT_EQ(SwapDosWords(SwapDosWords(v)), v);
}

TEST(Dates, UnixTimesInUtc) {
  ScopedZone tz("UTC");
  EXPECT_SAME_TIME(UnixTimeToDateTime(0), At(1980, 1, 1, 0, 1));
  EXPECT_SAME_TIME(UnixTimeToDateTime(86400), At(1970, 1, 2));
  EXPECT_SAME_TIME(UnixTimeToDateTime(90000), At(1970, 1, 2, 1));
  EXPECT_SAME_TIME(UnixTimeToDateTime(86399), At(1970, 1, 1, 23, 59, 59));
  EXPECT_SAME_TIME(UnixTimeToDateTime(1), At(1970, 1, 1, 0, 0, 1));
  EXPECT_SAME_TIME(UnixTimeToDateTime(-1), At(1969, 12, 31, 23, 59, 59));
  EXPECT_SAME_TIME(UnixTimeToDateTime(-86400), At(1969, 12, 31));
  EXPECT_SAME_TIME(UnixTimeToDateTime(-86400 * 365), At(1969, 1, 1));
  EXPECT_SAME_TIME(UnixTimeToDateTime(Utc(2000, 2, 29)), At(2000, 2, 29));
  EXPECT_SAME_TIME(UnixTimeToDateTime(Utc(2000, 2, 29, 12, 34, 56)), At(2000, 2, 29, 12, 34, 56));
  EXPECT_SAME_TIME(UnixTimeToDateTime(4102444800), At(2100, 1, 1));
  EXPECT_SAME_TIME(UnixTimeToDateTime(4102444800 + 59 * 86400), At(2100, 3, 1));
  EXPECT_SAME_TIME(UnixTimeToDateTime(4102444800 + 59 * 86400 - 1), At(2100, 2, 28, 23, 59, 59));
  EXPECT_EQ(Utc(2100, 3, 1), 4102444800 + 59 * 86400);

  for (Int64 t : {Int64{1}, Int64{86400}, Int64{-1}, Int64{-2208988800}, Int64{951782400}, Int64{4107542400},
                  Int64{253402300799}})
    EXPECT_EQ(DateTimeToUnix(UnixTimeToDateTime(t)), t) << t;
  EXPECT_EQ(DateTimeToUnix(At(1970, 1, 1)), 0);
  EXPECT_EQ(DateTimeToUnix(At(1970, 1, 1, 0, 0, 1, 900)), 1);  // fractions are dropped

  TDateTime out = 0;
  EXPECT_FALSE(TryUnixTimeToDateTime(INT64_MAX, out));
  EXPECT_FALSE(TryUnixTimeToDateTime(INT64_MIN, out));
  EXPECT_FALSE(TryUnixTimeToDateTime(253402300800 + 86400, out));
  EXPECT_SAME_TIME(UnixTimeToDateTime(INT64_MAX), kDefaultDateTime);
  EXPECT_FALSE(IsDaylightTime(At(2023, 7, 1, 12)));
  EXPECT_SAME_TIME(LocalToUtc(At(2023, 7, 1, 12)), At(2023, 7, 1, 12));
}

TEST(Dates, UnixTimesInBerlinAcrossDaylightSaving) {
  ScopedZone tz("Europe/Berlin");
  EXPECT_SAME_TIME(UnixTimeToDateTime(0), At(1980, 1, 1, 0, 1));  // no zone for the unset stamp
  EXPECT_SAME_TIME(UnixTimeToDateTime(86400), At(1970, 1, 2, 1));
  EXPECT_SAME_TIME(UnixTimeToDateTime(90000), At(1970, 1, 2, 2));
  EXPECT_SAME_TIME(UnixTimeToDateTime(Utc(2023, 7, 1, 10)), At(2023, 7, 1, 12));
  EXPECT_SAME_TIME(UnixTimeToDateTime(Utc(2023, 1, 15, 10)), At(2023, 1, 15, 11));

  EXPECT_TRUE(IsDaylightTime(At(2023, 7, 1, 12)));
  EXPECT_FALSE(IsDaylightTime(At(2023, 1, 15, 12)));
  EXPECT_FALSE(IsDaylightTime(At(2023, 3, 26, 1, 59, 59)));
  EXPECT_TRUE(IsDaylightTime(At(2023, 3, 26, 3)));
  EXPECT_TRUE(IsDaylightTime(At(2023, 10, 29, 2, 30)));  // first of the two 02:30
  EXPECT_FALSE(IsDaylightTime(At(2023, 10, 29, 3)));

  EXPECT_SAME_TIME(LocalToUtc(At(2023, 7, 1, 12, 0, 0, 250)), At(2023, 7, 1, 10, 0, 0, 250));
  EXPECT_SAME_TIME(UtcToLocal(At(2023, 7, 1, 10, 0, 0, 250)), At(2023, 7, 1, 12, 0, 0, 250));
  EXPECT_SAME_TIME(LocalToUtc(At(2023, 1, 1, 0, 30)), At(2022, 12, 31, 23, 30));
  EXPECT_SAME_TIME(UtcToLocal(At(2022, 12, 31, 23, 30)), At(2023, 1, 1, 0, 30));

  // Spring: 02:00 CET becomes 03:00 CEST at 01:00 UTC. Every UTC second
  // round-trips; the skipped local hour reads with the offset before it.
  const Int64 spring = Utc(2023, 3, 26, 1);
  for (Int64 t = spring - 7200; t <= spring + 7200; t += 900)
    EXPECT_EQ(DateTimeToUnix(UnixTimeToDateTime(t)), t) << t - spring;
  EXPECT_SAME_TIME(UnixTimeToDateTime(spring - 1), At(2023, 3, 26, 1, 59, 59));
  EXPECT_SAME_TIME(UnixTimeToDateTime(spring), At(2023, 3, 26, 3));
  EXPECT_EQ(DateTimeToUnix(At(2023, 3, 26, 2, 30)), spring + 1800);

  // Autumn: 03:00 CEST becomes 02:00 CET at 01:00 UTC, so 02:00-02:59 local
  // happens twice; a local time there means its first occurrence.
  const Int64 autumn = Utc(2023, 10, 29, 1);
  for (Int64 t = autumn - 7200; t <= autumn + 7200; t += 900) {
    const Int64 back = DateTimeToUnix(UnixTimeToDateTime(t));
    if (t >= autumn && t < autumn + 3600)
      EXPECT_EQ(back, t - 3600) << t - autumn;
    else
      EXPECT_EQ(back, t) << t - autumn;
  }
  EXPECT_SAME_TIME(UnixTimeToDateTime(autumn - 1), At(2023, 10, 29, 2, 59, 59));
  EXPECT_SAME_TIME(UnixTimeToDateTime(autumn), At(2023, 10, 29, 2));
  // 1945 went from +3 to +2 with daylight saving on both sides; the repeated
  // hour still reads as its first occurrence.
  EXPECT_EQ(DateTimeToUnix(At(1945, 9, 24, 2, 30)), Utc(1945, 9, 23, 23, 30));
  EXPECT_SAME_TIME(UnixTimeToDateTime(Utc(1945, 9, 24, 0, 30)), At(1945, 9, 24, 2, 30));

  // DOS values carry local time: a file stamp becomes local wall-clock time.
  timespec ts{};
  ts.tv_sec = Utc(2023, 7, 1, 10, 0, 7);
  EXPECT_EQ(FileTimeToLocalDos(ts), DateTimeToDosDateTime(At(2023, 7, 1, 12, 0, 6)));
  EXPECT_EQ(FileTimeToLocalDos(Utc(2023, 1, 15, 10)), DateTimeToDosDateTime(At(2023, 1, 15, 11)));
  EXPECT_EQ(FileTimeToLocalDos(Utc(1979, 6, 1)), 0x00210000u);
  // DOS -> local -> Unix -> local -> DOS is the identity on both sides of a change.
  for (TDateTime local : {At(2023, 3, 26, 1, 58), At(2023, 3, 26, 3, 2), At(2023, 10, 29, 1, 58),
                          At(2023, 10, 29, 3, 2), At(2024, 2, 29, 23, 59, 58)}) {
    const UInt32 dos = DateTimeToDosDateTime(local);
    EXPECT_EQ(DateTimeToDosDateTime(UnixTimeToDateTime(DateTimeToUnix(DosDateTimeToDateTime(dos)))), dos);
    EXPECT_EQ(FileTimeToLocalDos(DateTimeToUnix(local)), dos);
  }
}

TEST(Dates, NowIsTheLocalClock) {
  // UTC: in a zone with daylight saving the repeated autumn hour would map
  // back to its first occurrence.
  ScopedZone tz("UTC");
  const Int64 before = std::time(nullptr);
  const TDateTime now = Now();
  const Int64 after = std::time(nullptr);
  EXPECT_GE(DateTimeToUnix(now), before);
  EXPECT_LE(DateTimeToUnix(now), after);
}

TEST(Dates, OctalFields) {
  EXPECT_EQ(OctalToInt(std::string_view("0000644 ", 8)), 420);
  EXPECT_EQ(OctalToInt(std::string_view("0000644\0", 8)), 420);
  EXPECT_EQ(OctalToInt(std::string_view("  \0 644\0 12", 11)), 420);
  EXPECT_EQ(OctalToInt("12 34"), 10);
  EXPECT_EQ(OctalToInt("1x2"), 10);   // other characters are skipped
  EXPECT_EQ(OctalToInt("1892"), 10);  // so are 8 and 9
  EXPECT_EQ(OctalToInt(""), 0);
  EXPECT_EQ(OctalToInt("    "), 0);
  EXPECT_EQ(OctalToInt("77777777777"), 8589934591);           // largest 11-digit size
  EXPECT_EQ(OctalToInt("777777777777"), 68719476735);         // 12 digits
  EXPECT_EQ(OctalToInt("77777777777777777777"), (Int64{1} << 60) - 1);
  EXPECT_EQ(OctalToInt("777777777777777777777"), INT64_MAX);  // 2^63 - 1 exactly
  EXPECT_EQ(OctalToInt("7777777777777777777777777"), INT64_MAX);

  EXPECT_EQ(IntToOctalField(420, 7), "0000644");
  EXPECT_EQ(IntToOctalField(0, 3), "000");
  EXPECT_EQ(IntToOctalField(0, 0), "0");
  EXPECT_EQ(IntToOctalField(8589934591, 11), "77777777777");
  EXPECT_EQ(IntToOctalField(8589934592, 11), "100000000000");
  EXPECT_EQ(IntToOctalField(UINT64_MAX, 1), "1777777777777777777777");
  for (Int64 v : {Int64{0}, Int64{7}, Int64{511}, Int64{1688205599}, Int64{1} << 40})
    EXPECT_EQ(OctalToInt(IntToOctalField(static_cast<UInt64>(v), 12)), v);
}

}  // namespace
}  // namespace vsk
