#pragma once
// The "begin" line that starts the data of a uuencoded or xxencoded text:
// "begin " + mode + blank + file name.

#include <cstddef>
#include <string>
#include <string_view>

#include "base/types.h"

namespace vsk {

// How much of a text is searched for the begin line.
inline constexpr std::size_t kUuBeginSearchSize = 32767;
// Longest file name taken from a begin line.
inline constexpr std::size_t kUuMaxName = 255;

struct TUuBeginLine {
  // Where "begin " starts.
  std::size_t Offset = 0;
  // The mode text (up to the blank after it).
  std::string Mode;
  // The rest of the line after the mode and its blank, without the line
  // end, at most kUuMaxName bytes.
  std::string Name;
  // The line is the Base64 form "begin-base64 " (found by Parse only).
  bool Base64 = false;

  // Finds "begin " at the start of the text or right after a line feed,
  // starting at least 3 bytes before the end of Data.
  bool Find(const Byte* Data, std::size_t Count);
  // Reads one line (without its line feed) as a begin line: "begin " or,
  // with AllowBase64, "begin-base64 ", then mode and name as above.
  bool Parse(std::string_view Line, bool AllowBase64 = false);

 private:
  // Mode and name from the text after the keyword, up to the line end.
  void TakeModeAndName(const char* Text, std::size_t Count, std::size_t From);
};

}  // namespace vsk
