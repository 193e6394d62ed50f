#include "base/codepage.h"

#include <algorithm>
#include <array>
#include <utility>

namespace vsk {
namespace {

// Upper halves of the code pages; the lower halves are ASCII.
constexpr std::array<char16_t, 128> kCp437High = {
    0x00C7, 0x00FC, 0x00E9, 0x00E2, 0x00E4, 0x00E0, 0x00E5, 0x00E7,  // 80
    0x00EA, 0x00EB, 0x00E8, 0x00EF, 0x00EE, 0x00EC, 0x00C4, 0x00C5,  // 88
    0x00C9, 0x00E6, 0x00C6, 0x00F4, 0x00F6, 0x00F2, 0x00FB, 0x00F9,  // 90
    0x00FF, 0x00D6, 0x00DC, 0x00A2, 0x00A3, 0x00A5, 0x20A7, 0x0192,  // 98
    0x00E1, 0x00ED, 0x00F3, 0x00FA, 0x00F1, 0x00D1, 0x00AA, 0x00BA,  // A0
    0x00BF, 0x2310, 0x00AC, 0x00BD, 0x00BC, 0x00A1, 0x00AB, 0x00BB,  // A8
    0x2591, 0x2592, 0x2593, 0x2502, 0x2524, 0x2561, 0x2562, 0x2556,  // B0
    0x2555, 0x2563, 0x2551, 0x2557, 0x255D, 0x255C, 0x255B, 0x2510,  // B8
    0x2514, 0x2534, 0x252C, 0x251C, 0x2500, 0x253C, 0x255E, 0x255F,  // C0
    0x255A, 0x2554, 0x2569, 0x2566, 0x2560, 0x2550, 0x256C, 0x2567,  // C8
    0x2568, 0x2564, 0x2565, 0x2559, 0x2558, 0x2552, 0x2553, 0x256B,  // D0
    0x256A, 0x2518, 0x250C, 0x2588, 0x2584, 0x258C, 0x2590, 0x2580,  // D8
    0x03B1, 0x00DF, 0x0393, 0x03C0, 0x03A3, 0x03C3, 0x00B5, 0x03C4,  // E0
    0x03A6, 0x0398, 0x03A9, 0x03B4, 0x221E, 0x03C6, 0x03B5, 0x2229,  // E8
    0x2261, 0x00B1, 0x2265, 0x2264, 0x2320, 0x2321, 0x00F7, 0x2248,  // F0
    0x00B0, 0x2219, 0x00B7, 0x221A, 0x207F, 0x00B2, 0x25A0, 0x00A0,  // F8
};

// The five bytes CP1252 leaves undefined map to the C1 controls of the same
// value, so every byte survives a round trip.
constexpr std::array<char16_t, 32> kCp1252C1 = {
    0x20AC, 0x0081, 0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021,  // 80
    0x02C6, 0x2030, 0x0160, 0x2039, 0x0152, 0x008D, 0x017D, 0x008F,  // 88
    0x0090, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022, 0x2013, 0x2014,  // 90
    0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0x009D, 0x017E, 0x0178,  // 98
};

using TReverse = std::array<std::pair<char32_t, Byte>, 128>;

template <typename ToUnicode>
TReverse BuildReverse(ToUnicode f) {
  TReverse r{};
  for (int i = 0; i < 128; ++i) r[i] = {f(static_cast<Byte>(0x80 + i)), static_cast<Byte>(0x80 + i)};
  std::sort(r.begin(), r.end());
  return r;
}

const TReverse& Cp437Reverse() {
  static const TReverse r = BuildReverse(Cp437ToUnicode);
  return r;
}

const TReverse& Cp1252Reverse() {
  static const TReverse r = BuildReverse(Cp1252ToUnicode);
  return r;
}


// Decodes one character at s[i], advancing i; false on an invalid sequence.
bool NextUtf8(std::string_view s, std::size_t& i, char32_t& c) {
  const Byte b0 = static_cast<Byte>(s[i]);
  if (b0 < 0x80) {
    c = b0;
    ++i;
    return true;
  }
  int len;
  char32_t min;
  if (b0 >= 0xC2 && b0 <= 0xDF) {
    len = 2;
    min = 0x80;
    c = b0 & 0x1F;
  } else if (b0 >= 0xE0 && b0 <= 0xEF) {
    len = 3;
    min = 0x800;
    c = b0 & 0x0F;
  } else if (b0 >= 0xF0 && b0 <= 0xF4) {
    len = 4;
    min = 0x10000;
    c = b0 & 0x07;
  } else {
    return false;
  }
  if (s.size() - i < static_cast<std::size_t>(len)) return false;
  for (int k = 1; k < len; ++k) {
    const Byte b = static_cast<Byte>(s[i + k]);
    if ((b & 0xC0) != 0x80) return false;
    c = (c << 6) | (b & 0x3F);
  }
  if (c < min || c > 0x10FFFF || (c >= 0xD800 && c <= 0xDFFF)) return false;
  i += len;
  return true;
}

template <typename ToUnicode>
std::string ToUtf8(std::string_view in, ToUnicode f) {
  std::string out;
  out.reserve(in.size() + in.size() / 2);
  for (char ch : in) AppendUtf8(out, f(static_cast<Byte>(ch)));
  return out;
}

bool FromUtf8(std::string_view in, const TReverse& rev, std::string* out) {
  std::string r;
  if (out) r.reserve(in.size());
  for (std::size_t i = 0; i < in.size();) {
    char32_t c;
    if (!NextUtf8(in, i, c)) return false;
    if (c < 0x80) {
      if (out) r += static_cast<char>(c);
      continue;
    }
    auto it = std::lower_bound(rev.begin(), rev.end(), std::pair<char32_t, Byte>{c, 0});
    if (it == rev.end() || it->first != c) return false;
    if (out) r += static_cast<char>(it->second);
  }
  if (out) *out = std::move(r);
  return true;
}

}  // namespace

void AppendUtf8(std::string& out, char32_t c) {
  if (c < 0x80) {
    out += static_cast<char>(c);
  } else if (c < 0x800) {
    out += static_cast<char>(0xC0 | (c >> 6));
    out += static_cast<char>(0x80 | (c & 0x3F));
  } else if (c < 0x10000) {
    out += static_cast<char>(0xE0 | (c >> 12));
    out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
    out += static_cast<char>(0x80 | (c & 0x3F));
  } else {
    out += static_cast<char>(0xF0 | (c >> 18));
    out += static_cast<char>(0x80 | ((c >> 12) & 0x3F));
    out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
    out += static_cast<char>(0x80 | (c & 0x3F));
  }
}

char32_t Cp437ToUnicode(Byte b) { return b < 0x80 ? b : kCp437High[b - 0x80]; }

char32_t Cp1252ToUnicode(Byte b) {
  if (b < 0x80 || b >= 0xA0) return b;
  return kCp1252C1[b - 0x80];
}

bool IsValidUtf8(std::string_view s) {
  for (std::size_t i = 0; i < s.size();) {
    if (static_cast<Byte>(s[i]) < 0x80) {
      ++i;
      continue;
    }
    char32_t c;
    if (!NextUtf8(s, i, c)) return false;
  }
  return true;
}

bool IsAscii(std::string_view s) {
  return std::all_of(s.begin(), s.end(), [](char c) { return static_cast<Byte>(c) < 0x80; });
}

std::string Cp437ToUtf8(std::string_view oem) { return ToUtf8(oem, Cp437ToUnicode); }
std::string Cp1252ToUtf8(std::string_view ansi) { return ToUtf8(ansi, Cp1252ToUnicode); }

bool TryUtf8ToCp437(std::string_view utf8, std::string& Out) {
  Out.clear();
  return FromUtf8(utf8, Cp437Reverse(), &Out);
}

bool TryUtf8ToCp1252(std::string_view utf8, std::string& Out) {
  Out.clear();
  return FromUtf8(utf8, Cp1252Reverse(), &Out);
}

bool FitsCp437(std::string_view utf8) { return FromUtf8(utf8, Cp437Reverse(), nullptr); }
bool FitsCp1252(std::string_view utf8) { return FromUtf8(utf8, Cp1252Reverse(), nullptr); }

std::string DecodeStoredName(std::string_view stored, bool FlaggedUtf8) {
  if (FlaggedUtf8 || IsValidUtf8(stored)) return std::string(stored);
  return Cp437ToUtf8(stored);
}

TStoredName EncodeStoredName(std::string_view name, bool FormatHasUtf8Flag) {
  TStoredName r;
  if (IsAscii(name) || !IsValidUtf8(name)) {
    r.Bytes = name;
    return r;
  }
  if (FormatHasUtf8Flag) {
    r.Bytes = name;
    r.Utf8Flag = true;
    return r;
  }
  if (!TryUtf8ToCp437(name, r.Bytes)) r.Bytes = name;
  return r;
}

}  // namespace vsk
