#pragma once
// Code pages of stored entry names. On our side every name is UTF-8; the
// "OEM" code page of archives is CP437 and the "ANSI" one CP1252.
//
// Reading: a name flagged UTF-8 by its format, or one that already is valid
// UTF-8, stays as it is; any other name is CP437 and is converted.
// Writing: ASCII stays; other names are written as UTF-8 with the format's
// UTF-8 flag where it has one, as CP437 where it has none and every
// character fits, else as UTF-8.

#include <string>
#include <string_view>

#include "base/types.h"

namespace vsk {

// Appends the UTF-8 form of one code point.
void AppendUtf8(std::string& out, char32_t c);

// Strict UTF-8: no overlong forms, no surrogates, nothing above U+10FFFF.
bool IsValidUtf8(std::string_view s);
bool IsAscii(std::string_view s);

// Every byte is a character, so these always succeed.
std::string Cp437ToUtf8(std::string_view oem);
std::string Cp1252ToUtf8(std::string_view ansi);

// True when Text is valid UTF-8 and every character has a byte in the code
// page; Out then holds the converted bytes. On false Out is left empty.
bool TryUtf8ToCp437(std::string_view utf8, std::string& Out);
bool TryUtf8ToCp1252(std::string_view utf8, std::string& Out);
bool FitsCp437(std::string_view utf8);
bool FitsCp1252(std::string_view utf8);

// The Unicode code point of a byte of the code page.
char32_t Cp437ToUnicode(Byte b);
char32_t Cp1252ToUnicode(Byte b);

// A stored name as read from an archive, in our form (UTF-8).
std::string DecodeStoredName(std::string_view stored, bool FlaggedUtf8);

struct TStoredName {
  std::string Bytes;
  // The format's UTF-8 flag is to be set (only ever with FormatHasUtf8Flag).
  bool Utf8Flag = false;
};
// Our name in the form a format stores it. A name that is not valid UTF-8
// (a file name in some other encoding on disk) cannot be converted and is
// stored byte for byte without the flag.
TStoredName EncodeStoredName(std::string_view name, bool FormatHasUtf8Flag);

}  // namespace vsk
