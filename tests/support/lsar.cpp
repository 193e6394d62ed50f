#include "tests/support/lsar.h"

#include <gtest/gtest.h>

#include <sstream>

#include "tests/support/testutil.h"

namespace vsktest {
namespace {

// The value after `"Key": ` on a line of lsar's JSON, unquoted.
bool JsonValue(const std::string& line, const std::string& key, std::string& value) {
  const std::string k = "\"" + key + "\": ";
  const auto p = line.find(k);
  if (p == std::string::npos) return false;
  std::string v = line.substr(p + k.size());
  if (!v.empty() && v.back() == ',') v.pop_back();
  if (v.size() >= 2 && v.front() == '"') {
    std::string out;
    for (std::size_t i = 1; i + 1 < v.size(); ++i) {
      if (v[i] == '\\' && i + 2 < v.size()) {
        const char c = v[++i];
        if (c == 'u' && i + 4 < v.size()) {
          out += static_cast<char>(std::stoi(v.substr(i + 1, 4), nullptr, 16));
          i += 4;
        } else {
          out += c == 'n' ? '\n' : c;
        }
      } else {
        out += v[i];
      }
    }
    v = out;
  }
  value = v;
  return true;
}

}  // namespace

std::vector<LsarEntry> LsarList(const std::string& archive) {
  EXPECT_TRUE(HaveTool("lsar")) << "lsar (package unar) is needed";
  const auto out = RunTool("lsar -j " + ShellQuote(archive));
  std::vector<LsarEntry> entries;
  std::istringstream in(out.output);
  std::string line, v;
  bool inside = false;
  while (std::getline(in, line)) {
    if (line == "    {") {
      entries.emplace_back();
      inside = true;
    } else if (line == "    }" || line == "    },") {
      inside = false;
    } else if (inside) {
      auto& e = entries.back();
      if (JsonValue(line, "XADFileName", v)) e.name = v;
      if (JsonValue(line, "XADFileSize", v)) e.size = std::stoll(v);
      if (JsonValue(line, "XADCompressedSize", v)) e.compressed = std::stoll(v);
      if (JsonValue(line, "XADComment", v)) e.comment = v;
      if (JsonValue(line, "XADIsDirectory", v)) e.directory = v == "1";
    }
  }
  EXPECT_EQ(out.exitCode, 0) << out.output;
  EXPECT_EQ(out.output.find("lsarError"), std::string::npos) << out.output;
  return entries;
}

}  // namespace vsktest
