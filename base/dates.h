#pragma once
// Dates and times: TDateTime (days since 1899-12-30, time of day as the
// fraction), packed DOS date-times (date in the high 16 bits: year - 1980 in
// bits 9..15, month 5..8, day 0..4; time in the low 16 bits: hours 11..15,
// minutes 5..10, seconds / 2 in 0..4), Unix seconds and tar's octal fields.
// Local time follows the system's zone rules (TZ and the zone database); a
// program that changes TZ calls tzset() afterwards.

#include <ctime>
#include <string>
#include <string_view>

#include "base/types.h"

namespace vsk {

// 1980-01-01 00:01:00, the date given to entries without a usable one.
inline constexpr UInt32 kDefaultDosDateTime = 0x00210020u;
inline constexpr TDateTime kDefaultDateTime = 29221.0 + 1.0 / 1440.0;
// The TDateTime of 1970-01-01 00:00.
inline constexpr TDateTime kUnixEpochDateTime = 25569.0;

bool IsLeapYear(int Year);
int DaysInMonth(int Year, int Month);

// Calendar parts. The Try forms reject a year outside 1..9999 or a field out
// of range; the plain forms raise ERangeError then.
bool TryEncodeDate(int Year, int Month, int Day, TDateTime& Date);
bool TryEncodeTime(int Hour, int Min, int Sec, int MSec, TDateTime& Time);
TDateTime EncodeDate(int Year, int Month, int Day);
TDateTime EncodeTime(int Hour, int Min, int Sec, int MSec);
// A date plus a time of day (the time counts away from day 0 for dates
// before 1899-12-30, as the representation has it).
TDateTime ComposeDateTime(TDateTime Date, TDateTime Time);
void DecodeDate(TDateTime DateTime, int& Year, int& Month, int& Day);
void DecodeTime(TDateTime DateTime, int& Hour, int& Min, int& Sec, int& MSec);
// The current local date and time.
TDateTime Now();

// Adds months, carrying into years; the day is clamped to the new month's
// length; the time of day is kept.
TDateTime IncMonth(TDateTime Date, int Months = 1);

// Packed DOS date-time to TDateTime. 0 counts as 1980-01-01 00:01:00; a
// value whose fields do not form a real date and time gives the same.
TDateTime DosDateTimeToDateTime(UInt32 Value);
// TDateTime to packed DOS date-time (odd seconds round down). Dates before
// 1980 give 1980-01-01 00:00:00, dates after 2107 give 2107-12-31 23:59:58.
UInt32 DateTimeToDosDateTime(TDateTime DateTime);
// A file's UTC time stamp as a local packed DOS date-time (clamped as above).
UInt32 FileTimeToLocalDos(Int64 UnixSeconds);
UInt32 FileTimeToLocalDos(const struct timespec& FileTime);
// Exchanges the two 16-bit halves (time-first <-> date-first layouts).
constexpr UInt32 SwapDosWords(UInt32 Value) { return (Value >> 16) | (Value << 16); }

// Whether a local date and time lies in the daylight-saving period.
bool IsDaylightTime(TDateTime LocalDate);
// Local time <-> UTC by the zone rules in force at that moment. A local time
// that occurs twice (the hour repeated when the clocks go back) is taken as
// its first occurrence; one skipped when they go forward is read with the
// offset in force before the change.
TDateTime LocalToUtc(TDateTime DateTime);
TDateTime UtcToLocal(TDateTime DateTime);

// Local TDateTime -> seconds since 1970-01-01 00:00 UTC (fractions of a
// second are dropped).
Int64 DateTimeToUnix(TDateTime LocalDateTime);
// Seconds since 1970-01-01 00:00 UTC -> local TDateTime. 0 gives
// 1980-01-01 00:01:00 (the value of an unset time stamp, no zone applied);
// negative values are dates before 1970. The Try form is false for a value
// outside the years 1..9999 (the plain form then gives the 1980 default).
bool TryUnixTimeToDateTime(Int64 Seconds, TDateTime& DateTime);
TDateTime UnixTimeToDateTime(Int64 Seconds);

// The value of an octal text field (tar). Leading blanks and NULs are
// skipped; the first NUL or blank after that ends the number; any other
// character that is not 0..7 is skipped. A value too large for Int64 gives
// the Int64 maximum.
Int64 OctalToInt(std::string_view Text);
// Value in octal, padded with leading zeros to Width (longer when needed).
std::string IntToOctalField(UInt64 Value, int Width);

}  // namespace vsk
