#pragma once
// The character codes of uuencoded, xxencoded and Base64 texts: the
// alphabets, their decoding maps and the decoding of data lines.

#include <array>
#include <cstddef>
#include <string>
#include <string_view>

#include "base/types.h"

namespace vsk {

// Index 0 first; the UU alphabet is "`" followed by "!" (0x21) to "_" (0x5F).
inline constexpr std::string_view kUuAlphabet = "`!\"#$%&'()*+,-./0123456789:;<=>?@ABCDEFGHIJKLMNOPQRSTUVWXYZ[\\]^_";
inline constexpr std::string_view kXxAlphabet = "+-0123456789ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz";
inline constexpr std::string_view kBase64Alphabet = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";

inline constexpr std::size_t kUuAlphabetSize = 64;
// Bytes on a full UU or XX data line; its count character has this index.
inline constexpr std::size_t kUuFullLineBytes = 45;
// The most bytes one UU or XX data line can give (the highest index).
inline constexpr std::size_t kUuMaxLineBytes = 63;
inline constexpr Byte kNotInAlphabet = 0xFF;

class TUuAlphabet {
 public:
  // The first 64 characters of Chars; missing ones are taken from the XX
  // alphabet. A character that stands twice keeps its first index.
  explicit TUuAlphabet(std::string_view Chars = kXxAlphabet);

  const std::string& Chars() const { return FChars; }
  // The index of C, 0 for a blank outside the alphabet (encoders of old
  // wrote blanks for zero), kNotInAlphabet for any other character.
  Byte Index(char C) const { return FMap[static_cast<Byte>(C)]; }
  // Whether C itself is one of the 64 characters.
  bool Contains(char C) const { return FMember[static_cast<Byte>(C)]; }
  // The count character of a full data line.
  char FullLineChar() const { return FChars[kUuFullLineBytes]; }

 private:
  std::string FChars;
  std::array<Byte, 256> FMap{};
  std::array<bool, 256> FMember{};
};

// Characters a data line needs after its count character for Count bytes.
constexpr std::size_t UuCharsForBytes(std::size_t Count) { return (Count + 2) / 3 * 4; }

// Decodes one data line (without its line end) into Out, which holds
// kUuMaxLineBytes bytes; returns the line's byte count. The count character
// must be in the alphabet. Characters missing at the end of the line (blanks
// a mailer dropped) and characters outside the alphabet count as index 0.
std::size_t DecodeUuLine(const TUuAlphabet& Alphabet, std::string_view Line, Byte* Out);

// Whether Line is a whole data line: its characters belong to the alphabet
// and their number fits its count character (one or two more are allowed:
// some encoders add a check character).
bool IsUuDataLine(const TUuAlphabet& Alphabet, std::string_view Line);

// Whether Line is the "end" line of a UU or XX text. In the UU alphabet no
// data line starts with "e"; in the XX alphabet a data line may, so a line
// made only of alphabet characters counts as data unless it is "end" alone.
bool IsUuEndLine(const TUuAlphabet& Alphabet, std::string_view Line);

enum class TUuAlphabetChoice { Uu, Xx, None };

// Which alphabet the first data line after "begin" is written in: the one
// in which the line is whole (all characters belong to it and their number
// fits the count character); the full-line characters "M" and "h" and then
// the mere membership of the characters decide the rest.
TUuAlphabetChoice ChooseUuAlphabet(std::string_view FirstLine);

// Base64 decoding across lines: characters outside the alphabet (blanks,
// line ends) are passed over, "=" ends the data.
class TBase64Decoder {
 public:
  // Decodes Text into Out, which holds Text.size() / 4 * 3 + 3 bytes;
  // returns the bytes written.
  std::size_t Feed(std::string_view Text, Byte* Out);
  // The bytes of an unfinished last group (2 or 3 characters give 1 or 2
  // bytes; a single one gives none) when the data end without padding.
  std::size_t Finish(Byte* Out);
  // "=" was met: the data are complete.
  bool Padded() const { return FPadded; }
  // Characters of an unfinished group.
  int Pending() const { return FCount; }

 private:
  UInt32 FBits = 0;
  int FCount = 0;
  bool FPadded = false;
};

}  // namespace vsk
