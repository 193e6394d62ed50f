#include "archive/formats/uu/uucodec.h"

#include <cstring>

namespace vsk {

namespace {

constexpr std::array<Byte, 256> MakeBase64Map() {
  std::array<Byte, 256> map{};
  for (auto& v : map) v = kNotInAlphabet;
  for (std::size_t i = 0; i < kBase64Alphabet.size(); ++i) map[static_cast<Byte>(kBase64Alphabet[i])] = static_cast<Byte>(i);
  return map;
}

constexpr std::array<Byte, 256> kBase64Map = MakeBase64Map();

// The bytes of a group of Count (2 or 3) characters whose 6-bit values
// stand in the low bits of Bits.
std::size_t EmitPartialGroup(UInt32 Bits, int Count, Byte* Out) {
  if (Count == 2) {
    Out[0] = static_cast<Byte>(Bits >> 4);
    return 1;
  }
  if (Count == 3) {
    Out[0] = static_cast<Byte>(Bits >> 10);
    Out[1] = static_cast<Byte>(Bits >> 2);
    return 2;
  }
  return 0;
}

bool StartsWithEnd(std::string_view Line) { return Line.substr(0, 3) == "end"; }

// Every character of Line is in the alphabet (a blank counts as index 0).
bool AllInAlphabet(const TUuAlphabet& A, std::string_view Line) {
  for (char c : Line)
    if (A.Index(c) == kNotInAlphabet) return false;
  return true;
}

}  // namespace

bool IsUuDataLine(const TUuAlphabet& Alphabet, std::string_view Line) {
  if (Line.empty()) return false;
  const Byte count = Alphabet.Index(Line[0]);
  if (count == kNotInAlphabet) return false;
  const std::size_t need = UuCharsForBytes(count);
  const std::size_t body = Line.size() - 1;
  return body >= need && body <= need + 2 && AllInAlphabet(Alphabet, Line.substr(1));
}

TUuAlphabet::TUuAlphabet(std::string_view Chars) : FChars(kXxAlphabet) {
  for (std::size_t i = 0; i < kUuAlphabetSize && i < Chars.size(); ++i) FChars[i] = Chars[i];
  FMap.fill(kNotInAlphabet);
  for (std::size_t i = 0; i < kUuAlphabetSize; ++i) {
    const Byte c = static_cast<Byte>(FChars[i]);
    FMember[c] = true;
    if (FMap[c] == kNotInAlphabet) FMap[c] = static_cast<Byte>(i);
  }
  if (FMap[static_cast<Byte>(' ')] == kNotInAlphabet) FMap[static_cast<Byte>(' ')] = 0;
}

std::size_t DecodeUuLine(const TUuAlphabet& Alphabet, std::string_view Line, Byte* Out) {
  if (Line.empty()) return 0;
  const Byte count = Alphabet.Index(Line[0]);
  if (count == kNotInAlphabet) return 0;
  Byte bytes[kUuMaxLineBytes + 3];
  std::size_t made = 0, p = 1;
  while (made < count) {
    Byte q[4];
    for (int k = 0; k < 4; ++k, ++p) {
      const Byte v = p < Line.size() ? Alphabet.Index(Line[p]) : 0;
      q[k] = v == kNotInAlphabet ? 0 : v;
    }
    bytes[made++] = static_cast<Byte>(q[0] << 2 | q[1] >> 4);
    bytes[made++] = static_cast<Byte>((q[1] & 0x0F) << 4 | q[2] >> 2);
    bytes[made++] = static_cast<Byte>((q[2] & 0x03) << 6 | q[3]);
  }
  std::memcpy(Out, bytes, count);
  return count;
}

bool IsUuEndLine(const TUuAlphabet& Alphabet, std::string_view Line) {
  if (!StartsWithEnd(Line)) return false;
  if (Line.size() == 3) return true;
  for (char c : Line)
    if (!Alphabet.Contains(c)) return true;
  return false;
}

TUuAlphabetChoice ChooseUuAlphabet(std::string_view FirstLine) {
  if (FirstLine.empty()) return TUuAlphabetChoice::Uu;
  static const TUuAlphabet uu(kUuAlphabet), xx(kXxAlphabet);
  const bool uuWhole = IsUuDataLine(uu, FirstLine);
  const bool xxWhole = IsUuDataLine(xx, FirstLine);
  if (uuWhole != xxWhole) return uuWhole ? TUuAlphabetChoice::Uu : TUuAlphabetChoice::Xx;
  if (uuWhole) return TUuAlphabetChoice::Uu;
  // Neither is whole (blanks dropped at line ends, a check character more):
  // the full-line characters, then the characters themselves decide.
  if (FirstLine[0] == uu.FullLineChar()) return TUuAlphabetChoice::Uu;
  if (FirstLine[0] == xx.FullLineChar()) return TUuAlphabetChoice::Xx;
  if (StartsWithEnd(FirstLine)) return TUuAlphabetChoice::Uu;
  if (AllInAlphabet(uu, FirstLine)) return TUuAlphabetChoice::Uu;
  if (AllInAlphabet(xx, FirstLine)) return TUuAlphabetChoice::Xx;
  return TUuAlphabetChoice::None;
}

std::size_t TBase64Decoder::Feed(std::string_view Text, Byte* Out) {
  std::size_t n = 0;
  for (char c : Text) {
    if (FPadded) break;
    if (c == '=') {
      n += EmitPartialGroup(FBits, FCount, Out + n);
      FBits = 0;
      FCount = 0;
      FPadded = true;
      break;
    }
    const Byte v = kBase64Map[static_cast<Byte>(c)];
    if (v == kNotInAlphabet) continue;
    FBits = FBits << 6 | v;
    if (++FCount == 4) {
      Out[n++] = static_cast<Byte>(FBits >> 16);
      Out[n++] = static_cast<Byte>(FBits >> 8);
      Out[n++] = static_cast<Byte>(FBits);
      FBits = 0;
      FCount = 0;
    }
  }
  return n;
}

std::size_t TBase64Decoder::Finish(Byte* Out) {
  const std::size_t n = EmitPartialGroup(FBits, FCount, Out);
  FBits = 0;
  FCount = 0;
  return n;
}

}  // namespace vsk
