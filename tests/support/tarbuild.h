#pragma once
// Hand-built tar archives for tests: ustar headers with octal fields and the
// checksum filled in, padded data, pax records and the end blocks; and the
// GNU tar runs that the tar tests compare with.

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "tests/support/testutil.h"

namespace vsktest {

// A ustar header of a regular entry of mode 0644; the fields can be
// changed through `b` before Bytes() fills in the checksum.
struct TarHeader {
  char b[512] = {};
  TarHeader(const std::string& name, char type, std::int64_t size, std::int64_t mtime = 1600000001) {
    std::memcpy(b, name.data(), std::min<std::size_t>(name.size(), 100));
    std::memcpy(b + 100, "0000644", 7);
    std::snprintf(b + 124, 12, "%011llo", static_cast<unsigned long long>(size));
    std::snprintf(b + 136, 12, "%011llo", static_cast<unsigned long long>(mtime));
    b[156] = type;
    std::memcpy(b + 257, "ustar\0" "00", 8);
  }
  TarHeader& Link(const std::string& target) {
    std::memcpy(b + 157, target.data(), std::min<std::size_t>(target.size(), 100));
    return *this;
  }
  // One old GNU sparse map entry (of four) of the header.
  TarHeader& Part(int i, std::int64_t offset, std::int64_t length) {
    std::snprintf(b + 386 + 24 * i, 12, "%011llo", static_cast<unsigned long long>(offset));
    std::snprintf(b + 398 + 24 * i, 12, "%011llo", static_cast<unsigned long long>(length));
    return *this;
  }
  // The real size of an old GNU sparse entry.
  TarHeader& RealSize(std::int64_t size) {
    std::snprintf(b + 483, 12, "%011llo", static_cast<unsigned long long>(size));
    return *this;
  }
  // The 512 bytes, checksum in six octal digits, NUL and space.
  std::string Bytes() const {
    char c[512];
    std::memcpy(c, b, 512);
    std::memset(c + 148, ' ', 8);
    unsigned sum = 0;
    for (unsigned char x : c) sum += x;
    std::snprintf(c + 148, 8, "%06o", sum);
    c[155] = ' ';
    return std::string(c, 512);
  }
};

// Data padded with NULs to whole 512-byte blocks.
inline std::string TarPadded(const std::string& d) { return d + std::string((512 - d.size() % 512) % 512, '\0'); }

// A header of Type and the data after it.
inline std::string TarEntry(const std::string& name, const std::string& data, char type = '0') {
  return TarHeader(name, type, static_cast<std::int64_t>(data.size())).Bytes() + TarPadded(data);
}

// One pax record: its length counts its own digits.
inline std::string PaxRecord(const std::string& key, const std::string& value) {
  const std::string rec = " " + key + "=" + value + "\n";
  std::size_t len = rec.size() + 1;
  while (std::to_string(len).size() + rec.size() != len) ++len;
  return std::to_string(len) + rec;
}

// The two zero blocks that end an archive.
inline const std::string kTarEnd(1024, '\0');

// The lines GNU tar prints for `tar Flags Archive` (e.g. "tf", "tzf"), in
// its order; a failure of tar fails the test.
inline std::vector<std::string> GnuTarLines(const std::string& flags, const std::filesystem::path& archive) {
  const auto r = RunTool("LC_ALL=C.UTF-8 tar " + flags + " " + ShellQuote(archive.string()));
  EXPECT_EQ(r.exitCode, 0) << r.output;
  std::vector<std::string> lines;
  std::size_t p = 0;
  while (p < r.output.size()) {
    const auto nl = r.output.find('\n', p);
    const std::string line = r.output.substr(p, nl == std::string::npos ? std::string::npos : nl - p);
    if (!line.empty()) lines.push_back(line);
    if (nl == std::string::npos) break;
    p = nl + 1;
  }
  return lines;
}

// Extracts Archive with GNU tar (`tar Flags Archive -C Into`, e.g. "xf",
// "xzf") into Into, made first; a failure of tar fails the test.
inline void GnuTarExtract(const std::string& flags, const std::filesystem::path& archive,
                          const std::filesystem::path& into) {
  std::filesystem::create_directories(into);
  const auto r =
      RunTool("LC_ALL=C.UTF-8 tar " + flags + " " + ShellQuote(archive.string()) + " -C " + ShellQuote(into.string()));
  EXPECT_EQ(r.exitCode, 0) << r.output;
}

}  // namespace vsktest
