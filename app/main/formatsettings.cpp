#include "app/main/formatsettings.h"

#include <cctype>
#include <cstdio>
#include <vector>

#include "base/dates.h"
#include "base/textcase.h"

namespace brevane {

TFormatSettings FormatSettings;

namespace {

using vsk::AsciiLower;

bool StartsWithNoCase(const std::string& Text, std::size_t Pos, const char* Word) {
  for (std::size_t i = 0; Word[i] != '\0'; ++i)
    if (Pos + i >= Text.size() || AsciiLower(Text[Pos + i]) != AsciiLower(Word[i])) return false;
  return true;
}

bool HasAmPm(const std::string& Pattern) {
  for (std::size_t i = 0; i < Pattern.size(); ++i)
    if (StartsWithNoCase(Pattern, i, "ampm")) return true;
  return false;
}

void AppendNumber(std::string& Out, int Value, int Width) {
  char buf[16];
  std::snprintf(buf, sizeof buf, "%0*d", Width, Value);
  Out += buf;
}

bool AllDigits(const std::string& s) {
  if (s.empty() || s.size() > 9) return false;
  for (char c : s)
    if (!std::isdigit(static_cast<unsigned char>(c))) return false;
  return true;
}

std::vector<std::string> Split(const std::string& Text, char Sep) {
  std::vector<std::string> parts(1);
  for (char c : Text) {
    if (c == Sep)
      parts.emplace_back();
    else
      parts.back() += c;
  }
  return parts;
}

}  // namespace

std::string FormatDateTime(const std::string& Pattern, vsk::TDateTime Value, const TFormatSettings& Settings) {
  int year = 0, month = 0, day = 0, hour = 0, minute = 0, second = 0, msec = 0;
  vsk::DecodeDate(Value, year, month, day);
  vsk::DecodeTime(Value, hour, minute, second, msec);
  const bool twelve = HasAmPm(Pattern);
  std::string out;
  std::size_t i = 0;
  while (i < Pattern.size()) {
    const char c = Pattern[i];
    const char l = AsciiLower(c);
    if (StartsWithNoCase(Pattern, i, "ampm")) {
      out += hour < 12 ? Settings.TimeAMString : Settings.TimePMString;
      i += 4;
      continue;
    }
    if (c == '\'' || c == '"') {
      const std::size_t end = Pattern.find(c, i + 1);
      const std::size_t stop = end == std::string::npos ? Pattern.size() : end;
      out.append(Pattern, i + 1, stop - i - 1);
      i = stop == Pattern.size() ? stop : stop + 1;
      continue;
    }
    std::size_t run = 1;
    while (i + run < Pattern.size() && AsciiLower(Pattern[i + run]) == l) ++run;
    switch (l) {
      case 'd':
        AppendNumber(out, day, run >= 2 ? 2 : 1);
        break;
      case 'm':
        AppendNumber(out, month, run >= 2 ? 2 : 1);
        break;
      case 'y':
        if (run <= 2)
          AppendNumber(out, year % 100, 2);
        else
          AppendNumber(out, year, 4);
        break;
      case 'h': {
        int h = hour;
        if (twelve) {
          h %= 12;
          if (h == 0) h = 12;
        }
        AppendNumber(out, h, run >= 2 ? 2 : 1);
        break;
      }
      case 'n':
        AppendNumber(out, minute, run >= 2 ? 2 : 1);
        break;
      case 's':
        AppendNumber(out, second, run >= 2 ? 2 : 1);
        break;
      case '/':
        out.append(run, Settings.DateSeparator);
        break;
      case ':':
        out.append(run, Settings.TimeSeparator);
        break;
      default:
        out.append(Pattern, i, run);
        break;
    }
    i += run;
  }
  return out;
}

std::string DateTimeToStr(vsk::TDateTime Value, const TFormatSettings& Settings) {
  return FormatDateTime(Settings.ShortDateFormat, Value, Settings) + " " +
         FormatDateTime(Settings.ShortTimeFormat, Value, Settings);
}

bool TryStrToDateTime(const std::string& Text, vsk::TDateTime& Value, const TFormatSettings& Settings) {
  std::vector<std::string> words;
  std::string word;
  for (char c : Text) {
    if (std::isspace(static_cast<unsigned char>(c))) {
      if (!word.empty()) words.push_back(word);
      word.clear();
    } else {
      word += c;
    }
  }
  if (!word.empty()) words.push_back(word);
  if (words.empty() || words.size() > 3) return false;

  // The order of day, month and year in the short date pattern.
  int posDay = -1, posMonth = -1, posYear = -1, next = 0;
  for (std::size_t i = 0; i < Settings.ShortDateFormat.size(); ++i) {
    const char l = AsciiLower(Settings.ShortDateFormat[i]);
    if (i > 0 && AsciiLower(Settings.ShortDateFormat[i - 1]) == l) continue;
    if (l == 'd' && posDay < 0) posDay = next++;
    if (l == 'm' && posMonth < 0) posMonth = next++;
    if (l == 'y' && posYear < 0) posYear = next++;
  }
  if (posDay < 0 || posMonth < 0 || posYear < 0) {
    posYear = 0;
    posMonth = 1;
    posDay = 2;
  }
  const auto date = Split(words[0], Settings.DateSeparator);
  if (date.size() != 3) return false;
  for (const auto& p : date)
    if (!AllDigits(p)) return false;
  int year = std::stoi(date[static_cast<std::size_t>(posYear)]);
  const int month = std::stoi(date[static_cast<std::size_t>(posMonth)]);
  const int day = std::stoi(date[static_cast<std::size_t>(posDay)]);
  if (date[static_cast<std::size_t>(posYear)].size() <= 2) year += year < 50 ? 2000 : 1900;
  vsk::TDateTime d = 0;
  if (!vsk::TryEncodeDate(year, month, day, d)) return false;

  int hour = 0, minute = 0, second = 0;
  if (words.size() > 1) {
    std::string time = words[1];
    std::string marker = words.size() > 2 ? words[2] : "";
    // A marker written without a blank ("1:05PM").
    while (!time.empty() && std::isalpha(static_cast<unsigned char>(time.back()))) {
      marker.insert(marker.begin(), time.back());
      time.pop_back();
    }
    const auto parts = Split(time, Settings.TimeSeparator);
    if (parts.size() < 2 || parts.size() > 3) return false;
    for (const auto& p : parts)
      if (!AllDigits(p)) return false;
    hour = std::stoi(parts[0]);
    minute = std::stoi(parts[1]);
    second = parts.size() > 2 ? std::stoi(parts[2]) : 0;
    if (!marker.empty()) {
      auto same = [&](const std::string& s) {
        if (s.size() != marker.size()) return false;
        for (std::size_t i = 0; i < s.size(); ++i)
          if (AsciiLower(s[i]) != AsciiLower(marker[i])) return false;
        return true;
      };
      const bool pm = same(Settings.TimePMString) || same("PM");
      const bool am = same(Settings.TimeAMString) || same("AM");
      if ((!pm && !am) || hour < 1 || hour > 12) return false;
      hour %= 12;
      if (pm) hour += 12;
    }
  } else if (words.size() > 2) {
    return false;
  }
  vsk::TDateTime t = 0;
  if (!vsk::TryEncodeTime(hour, minute, second, 0, t)) return false;
  Value = vsk::ComposeDateTime(d, t);
  return true;
}

}  // namespace brevane
