#pragma once
// How the program writes and reads dates: the locale's short date and time
// patterns with a date separator the program may replace (it uses "-" for
// the whole run). Patterns use "d", "dd", "m", "mm", "yy", "yyyy" for the
// date, "h", "hh", "n", "nn", "s", "ss" and "AMPM" for the time; "/" and
// ":" in a pattern stand for the separators.

#include <string>

#include "base/types.h"

namespace brevane {

struct TFormatSettings {
  char DateSeparator = '/';
  char TimeSeparator = ':';
  std::string ShortDateFormat = "yyyy/mm/dd";
  std::string ShortTimeFormat = "hh:nn";
  std::string TimeAMString = "AM";
  std::string TimePMString = "PM";
};

// The settings of the run.
extern TFormatSettings FormatSettings;

// A date-time by a pattern, as "ddddd t" does with the short formats.
std::string FormatDateTime(const std::string& Pattern, vsk::TDateTime Value,
                           const TFormatSettings& Settings = FormatSettings);
// Short date, a blank, short time.
std::string DateTimeToStr(vsk::TDateTime Value, const TFormatSettings& Settings = FormatSettings);

// Reads a text written by DateTimeToStr: the date's numbers in the order of
// the short date pattern (split at the date separator), optionally followed
// by a time of hours, minutes and seconds with an AM/PM marker. A two-digit
// year is taken within 50 years of 2000. False for anything else.
bool TryStrToDateTime(const std::string& Text, vsk::TDateTime& Value, const TFormatSettings& Settings = FormatSettings);

}  // namespace brevane
