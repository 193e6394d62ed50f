#include "base/dates.h"

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <limits>

#include "base/errors.h"

namespace vsk {
namespace {

constexpr Int64 kMSecPerDay = 86400000;
// TDateTime day numbers of 0001-01-01 and 9999-12-31.
constexpr Int64 kMinDay = -693593;
constexpr Int64 kMaxDay = 2958465;
constexpr Int64 kEpochDay = 25569;

constexpr Int64 FloorDiv(Int64 a, Int64 b) { return a / b - ((a % b != 0) && ((a < 0) != (b < 0))); }

// Days since 1970-01-01 of a proleptic Gregorian date.
constexpr Int64 DaysFromCivil(Int64 y, int m, int d) {
  y -= m <= 2;
  const Int64 era = FloorDiv(y, 400);
  const Int64 yoe = y - era * 400;
  const Int64 doy = (153 * (m + (m > 2 ? -3 : 9)) + 2) / 5 + d - 1;
  const Int64 doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
  return era * 146097 + doe - 719468;
}

constexpr void CivilFromDays(Int64 z, int& y, int& m, int& d) {
  z += 719468;
  const Int64 era = FloorDiv(z, 146097);
  const Int64 doe = z - era * 146097;
  const Int64 yoe = (doe - doe / 1460 + doe / 36524 - doe / 146096) / 365;
  const Int64 doy = doe - (365 * yoe + yoe / 4 - yoe / 100);
  const Int64 mp = (5 * doy + 2) / 153;
  d = static_cast<int>(doy - (153 * mp + 2) / 5 + 1);
  m = static_cast<int>(mp < 10 ? mp + 3 : mp - 9);
  y = static_cast<int>(yoe + era * 400 + (m <= 2));
}

static_assert(DaysFromCivil(1970, 1, 1) == 0);
static_assert(DaysFromCivil(1899, 12, 30) == -kEpochDay);

// A TDateTime split into its day number and the milliseconds of its time of
// day (0..86399999), rounded to the millisecond first.
struct TStamp {
  Int64 Day;
  Int64 MSec;
};

TStamp ToStamp(TDateTime dt) {
  if (!std::isfinite(dt)) return {0, 0};
  if (dt < static_cast<double>(kMinDay - 1)) dt = static_cast<double>(kMinDay - 1);
  if (dt > static_cast<double>(kMaxDay + 1)) dt = static_cast<double>(kMaxDay + 1);
  const Int64 total = std::llround(dt * static_cast<double>(kMSecPerDay));
  return {total / kMSecPerDay, std::llabs(total) % kMSecPerDay};
}

TDateTime FromStamp(Int64 day, Int64 msec) {
  return ComposeDateTime(static_cast<double>(day), static_cast<double>(msec) / static_cast<double>(kMSecPerDay));
}

struct TFields {
  int Year, Month, Day, Hour, Min, Sec, MSec;
};

TFields ToFields(TDateTime dt) {
  const TStamp s = ToStamp(dt);
  TFields f;
  CivilFromDays(s.Day - kEpochDay, f.Year, f.Month, f.Day);
  f.Hour = static_cast<int>(s.MSec / 3600000);
  f.Min = static_cast<int>(s.MSec / 60000 % 60);
  f.Sec = static_cast<int>(s.MSec / 1000 % 60);
  f.MSec = static_cast<int>(s.MSec % 1000);
  return f;
}

TDateTime FromFields(int y, int mo, int d, int h, int mi, int s, int ms) {
  const Int64 day = DaysFromCivil(y, mo, d) + kEpochDay;
  return FromStamp(day, ((static_cast<Int64>(h) * 60 + mi) * 60 + s) * 1000 + ms);
}

TDateTime FromTm(const std::tm& tm, int ms = 0) {
  return FromFields(tm.tm_year + 1900, tm.tm_mon + 1, tm.tm_mday, tm.tm_hour, tm.tm_min, tm.tm_sec, ms);
}

// Milliseconds since 1970-01-01 00:00 of a TDateTime read as UTC.
Int64 ToUnixMSec(TDateTime dt) {
  const TStamp s = ToStamp(dt);
  return (s.Day - kEpochDay) * kMSecPerDay + s.MSec;
}

TDateTime FromUnixMSec(Int64 ms) {
  const Int64 day = FloorDiv(ms, kMSecPerDay);
  return FromStamp(day + kEpochDay, ms - day * kMSecPerDay);
}

bool SameWallClock(const std::tm& a, const TFields& f) {
  return a.tm_year + 1900 == f.Year && a.tm_mon + 1 == f.Month && a.tm_mday == f.Day && a.tm_hour == f.Hour &&
         a.tm_min == f.Min && a.tm_sec == f.Sec;
}

// The UTC seconds of a local wall-clock time (see LocalToUtc for the hours
// that occur twice or not at all). The candidates are the wall time less
// each UTC offset in force within a day of it; a candidate counts when the
// zone rules show it as that wall time again.
Int64 LocalFieldsToUnix(const TFields& f, bool* isDst = nullptr) {
  const Int64 wall = DaysFromCivil(f.Year, f.Month, f.Day) * 86400 + (f.Hour * 60 + f.Min) * 60 + f.Sec;
  long offsets[3];
  int count = 0;
  for (Int64 probe : {wall - 86400, wall, wall + 86400}) {
    const std::time_t t = static_cast<std::time_t>(probe);
    std::tm tm{};
    if (!localtime_r(&t, &tm)) continue;
    offsets[count++] = tm.tm_gmtoff;
  }
  if (count == 0) {
    if (isDst) *isDst = false;
    return wall;
  }
  bool found = false;
  Int64 best = 0;
  bool bestDst = false;
  for (int i = 0; i < count; ++i) {
    const Int64 cand = wall - offsets[i];
    if (found && cand >= best) continue;
    const std::time_t t = static_cast<std::time_t>(cand);
    std::tm tm{};
    if (!localtime_r(&t, &tm) || !SameWallClock(tm, f)) continue;
    best = cand;
    bestDst = tm.tm_isdst > 0;
    found = true;
  }
  if (!found) {
    // A skipped wall time: read with the offset in force before the change.
    best = wall - offsets[0];
    const std::time_t t = static_cast<std::time_t>(best);
    std::tm tm{};
    bestDst = localtime_r(&t, &tm) && tm.tm_isdst > 0;
  }
  if (isDst) *isDst = bestDst;
  return best;
}

UInt32 PackDos(int y, int mo, int d, int h, int mi, int s) {
  if (y < 1980) return 0x00210000u;
  if (y > 2107) {
    y = 2107;
    mo = 12;
    d = 31;
    h = 23;
    mi = 59;
    s = 58;
  }
  return (static_cast<UInt32>(y - 1980) << 25) | (static_cast<UInt32>(mo) << 21) | (static_cast<UInt32>(d) << 16) |
         (static_cast<UInt32>(h) << 11) | (static_cast<UInt32>(mi) << 5) | static_cast<UInt32>(s / 2);
}

}  // namespace

bool IsLeapYear(int Year) { return (Year % 4 == 0 && Year % 100 != 0) || Year % 400 == 0; }

int DaysInMonth(int Year, int Month) {
  static constexpr int kDays[12] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
  if (Month < 1 || Month > 12) return 0;
  return Month == 2 && IsLeapYear(Year) ? 29 : kDays[Month - 1];
}

bool TryEncodeDate(int Year, int Month, int Day, TDateTime& Date) {
  if (Year < 1 || Year > 9999 || Month < 1 || Month > 12 || Day < 1 || Day > DaysInMonth(Year, Month)) return false;
  Date = static_cast<double>(DaysFromCivil(Year, Month, Day) + kEpochDay);
  return true;
}

bool TryEncodeTime(int Hour, int Min, int Sec, int MSec, TDateTime& Time) {
  if (Hour < 0 || Hour > 23 || Min < 0 || Min > 59 || Sec < 0 || Sec > 59 || MSec < 0 || MSec > 999) return false;
  Time = static_cast<double>(((static_cast<Int64>(Hour) * 60 + Min) * 60 + Sec) * 1000 + MSec) /
         static_cast<double>(kMSecPerDay);
  return true;
}

TDateTime EncodeDate(int Year, int Month, int Day) {
  TDateTime d;
  if (!TryEncodeDate(Year, Month, Day, d)) throw ERangeError(0, "Invalid argument to date encode");
  return d;
}

TDateTime EncodeTime(int Hour, int Min, int Sec, int MSec) {
  TDateTime t;
  if (!TryEncodeTime(Hour, Min, Sec, MSec, t)) throw ERangeError(0, "Invalid argument to time encode");
  return t;
}

TDateTime ComposeDateTime(TDateTime Date, TDateTime Time) {
  return Date < 0 ? Date - std::fabs(Time) : Date + std::fabs(Time);
}

void DecodeDate(TDateTime DateTime, int& Year, int& Month, int& Day) {
  const TFields f = ToFields(DateTime);
  Year = f.Year;
  Month = f.Month;
  Day = f.Day;
}

void DecodeTime(TDateTime DateTime, int& Hour, int& Min, int& Sec, int& MSec) {
  const TFields f = ToFields(DateTime);
  Hour = f.Hour;
  Min = f.Min;
  Sec = f.Sec;
  MSec = f.MSec;
}

TDateTime Now() {
  timespec ts{};
  clock_gettime(CLOCK_REALTIME, &ts);
  std::tm tm{};
  if (!localtime_r(&ts.tv_sec, &tm)) return kDefaultDateTime;
  return FromTm(tm, static_cast<int>(ts.tv_nsec / 1000000));
}

TDateTime IncMonth(TDateTime Date, int Months) {
  const TStamp s = ToStamp(Date);
  int y, m, d;
  CivilFromDays(s.Day - kEpochDay, y, m, d);
  const Int64 total = static_cast<Int64>(y) * 12 + (m - 1) + Months;
  const Int64 ny = FloorDiv(total, 12);
  if (ny < 1 || ny > 9999) return Date;
  const int nm = static_cast<int>(total - ny * 12) + 1;
  const int nd = std::min(d, DaysInMonth(static_cast<int>(ny), nm));
  return FromStamp(DaysFromCivil(ny, nm, nd) + kEpochDay, s.MSec);
}

TDateTime DosDateTimeToDateTime(UInt32 Value) {
  if (Value == 0) Value = kDefaultDosDateTime;
  const int y = static_cast<int>(Value >> 25) + 1980;
  const int mo = static_cast<int>((Value >> 21) & 15);
  const int d = static_cast<int>((Value >> 16) & 31);
  const int h = static_cast<int>((Value >> 11) & 31);
  const int mi = static_cast<int>((Value >> 5) & 63);
  const int s = static_cast<int>(Value & 31) * 2;
  if (mo < 1 || mo > 12 || d < 1 || d > DaysInMonth(y, mo) || h > 23 || mi > 59 || s > 59) return kDefaultDateTime;
  return FromFields(y, mo, d, h, mi, s, 0);
}

UInt32 DateTimeToDosDateTime(TDateTime DateTime) {
  if (!std::isfinite(DateTime)) return PackDos(1979, 1, 1, 0, 0, 0);
  const TFields f = ToFields(DateTime);
  return PackDos(f.Year, f.Month, f.Day, f.Hour, f.Min, f.Sec);
}

UInt32 FileTimeToLocalDos(Int64 UnixSeconds) {
  std::tm tm{};
  const std::time_t t = static_cast<std::time_t>(UnixSeconds);
  if (!localtime_r(&t, &tm)) return UnixSeconds > 0 ? PackDos(9999, 1, 1, 0, 0, 0) : PackDos(1979, 1, 1, 0, 0, 0);
  return PackDos(tm.tm_year + 1900, tm.tm_mon + 1, tm.tm_mday, tm.tm_hour, tm.tm_min, tm.tm_sec);
}

UInt32 FileTimeToLocalDos(const struct timespec& FileTime) { return FileTimeToLocalDos(FileTime.tv_sec); }

bool IsDaylightTime(TDateTime LocalDate) {
  bool dst = false;
  LocalFieldsToUnix(ToFields(LocalDate), &dst);
  return dst;
}

TDateTime LocalToUtc(TDateTime DateTime) {
  const TFields f = ToFields(DateTime);
  const Int64 t = LocalFieldsToUnix(f);
  return FromUnixMSec(t * 1000 + f.MSec);
}

TDateTime UtcToLocal(TDateTime DateTime) {
  const Int64 ms = ToUnixMSec(DateTime);
  const std::time_t t = static_cast<std::time_t>(FloorDiv(ms, 1000));
  std::tm tm{};
  if (!localtime_r(&t, &tm)) return DateTime;
  return FromTm(tm, static_cast<int>(ms - FloorDiv(ms, 1000) * 1000));
}

Int64 DateTimeToUnix(TDateTime LocalDateTime) { return LocalFieldsToUnix(ToFields(LocalDateTime)); }

bool TryUnixTimeToDateTime(Int64 Seconds, TDateTime& DateTime) {
  if (Seconds == 0) {
    DateTime = kDefaultDateTime;
    return true;
  }
  const std::time_t t = static_cast<std::time_t>(Seconds);
  std::tm tm{};
  if (!localtime_r(&t, &tm) || tm.tm_year < 1 - 1900 || tm.tm_year > 9999 - 1900) return false;
  DateTime = FromTm(tm);
  return true;
}

TDateTime UnixTimeToDateTime(Int64 Seconds) {
  TDateTime dt;
  return TryUnixTimeToDateTime(Seconds, dt) ? dt : kDefaultDateTime;
}

Int64 OctalToInt(std::string_view Text) {
  std::size_t i = 0;
  while (i < Text.size() && (Text[i] == ' ' || Text[i] == '\0')) ++i;
  UInt64 v = 0;
  constexpr UInt64 kMax = static_cast<UInt64>(std::numeric_limits<Int64>::max());
  for (; i < Text.size(); ++i) {
    const char c = Text[i];
    if (c == '\0' || c == ' ') break;
    if (c < '0' || c > '7') continue;
    if (v > (kMax >> 3)) return std::numeric_limits<Int64>::max();
    v = (v << 3) | static_cast<UInt64>(c - '0');
  }
  return static_cast<Int64>(v);
}

std::string IntToOctalField(UInt64 Value, int Width) {
  char buf[24];
  int n = 0;
  do {
    buf[n++] = static_cast<char>('0' + (Value & 7));
    Value >>= 3;
  } while (Value != 0);
  std::string r;
  if (Width > n) r.assign(static_cast<std::size_t>(Width - n), '0');
  while (n > 0) r += buf[--n];
  return r;
}

}  // namespace vsk
