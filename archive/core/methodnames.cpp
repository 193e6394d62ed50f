#include "archive/core/methodnames.h"

#include <array>

namespace vsk {
namespace {

constexpr std::string_view kUnsupported = "Unsupported";
constexpr std::string_view kDir = "<Dir>";

template <std::size_t N>
std::string_view Pick(const std::array<std::string_view, N>& names, int first, int method) {
  const long i = static_cast<long>(method) - first;
  if (i < 0 || i >= static_cast<long>(N)) return {};
  return names[static_cast<std::size_t>(i)];
}

std::string_view ArcName(int m) {
  static constexpr std::array<std::string_view, 11> k = {"Stored",   "Stored", "Packed", "Squeezed",
                                                         "Crunched", "Crunched", "Squashed", "Pack10",
                                                         "Pack11",   "Pack12", "Stored"};
  return Pick(k, 1, m);
}

std::string_view ZipName(int m, UInt16 flags) {
  static constexpr std::array<std::string_view, 8> k = {"Stored",   "Shrunk",   "Reduce-1", "Reduce-2",
                                                        "Reduce-3", "Reduce-4", "Imploded", "Tokened"};
  if (m == 8) return DeflateLevelName(flags);
  if (m == 9) return Deflate64LevelName(flags);
  if (m == 10) return "DCL-implode";
  return Pick(k, 0, m);
}

std::string_view Lookup(const TMethodQuery& q) {
  const int m = q.Method;
  switch (q.ArcType) {
    case atAce:
    case atAceExe: {
      static constexpr std::array<std::string_view, 6> k = {"Fastest", "Fast", "Normal", "Good", "Best", "Lzw"};
      return Pick(k, 0, m);
    }
    case atArc:
    case atArcExe:
      if (auto n = ArcName(m); !n.empty()) return n;
      // Method 30 is how ARC marks a directory entry.
      return q.IsDirectory || m == 30 ? kDir : std::string_view{};
    case atArj:
    case atArjExe: {
      static constexpr std::array<std::string_view, 5> k = {"Stored", "Most", "2nd Most", "2nd Fast", "Fastest"};
      if (auto n = Pick(k, 0, m); !n.empty()) return n;
      return q.IsDirectory ? kDir : std::string_view{};
    }
    case atBh:
    case atBhExe: {
      static constexpr std::array<std::string_view, 4> k = {"Stored", "Fused1", "Deflate", "Fused3"};
      if (m == 8) return DeflateLevelName(q.Flags);
      return Pick(k, 0, m);
    }
    case atGZip:
      if (m == 0) return "Stored";
      if (m == 8) return "Deflate";
      if (m == 144) return "LzwMAGIC";
      if (q.GzMagic0 == 0x1F && q.GzMagic1 == 0x1E) return "PackMAGIC";
      if (q.GzMagic0 == 0x1F && q.GzMagic1 == 0xA0) return "LzhMAGIC";
      return {};
    case atHA:
      switch (m) {
        case 0: return "Cpy";
        case 1: return "Asc";
        case 2: return "HSC";
        case 14: return kDir;
        case 15: return "Special";
        default: return {};
      }
    case atJar:
    case atJarExe:
    case atZip:
    case atZipExe:
    case atZipMV:
      if (auto n = ZipName(m, q.Flags); !n.empty()) return n;
      return (q.ExternalAttr & 0x10) != 0 ? kDir : std::string_view{};
    case atLha:
    case atLhaExe:
    case atLzh:
    case atLzhExe: {
      static constexpr std::array<std::string_view, 8> k = {"Stored",   "Frozen-1", "Frozen-2", "Frozen-3",
                                                            "Frozen-4", "Frozen-5", "Frozen-6", "Frozen-7"};
      if (m == 'd') return kDir;
      return Pick(k, '0', m);
    }
    case atPak:
    case atPakExe: {
      static constexpr std::array<std::string_view, 11> k = {"Stored",   "Stored",   "RLE",     "Squeezed",
                                                             "FixedLen", "FixedLen", "FixedLen", "Varible",
                                                             "Varible",  "Crushed",  "Distill"};
      return Pick(k, 1, m);
    }
    case atRar:
    case atRarExe: {
      static constexpr std::array<std::string_view, 6> k = {"Stored", "Fastest", "Fast", "Normal", "Good", "Best"};
      if (q.IsDirectory) return kDir;
      return Pick(k, '0', m);
    }
    case atTar:
      if (m == 0) return "Tarred";
      if (!q.EntryName.empty() && (q.EntryName.back() == '/' || q.EntryName.back() == '\\')) return kDir;
      return {};
    case atZoo: {
      static constexpr std::array<std::string_view, 3> k = {"Stored", "Fastest", "Greatest"};
      return Pick(k, 0, m);
    }
    default:
      return {};
  }
}

}  // namespace

std::string_view DeflateLevelName(UInt16 Flags) {
  static constexpr std::array<std::string_view, 4> k = {"DeflateN", "DeflateX", "DeflateF", "DeflateS"};
  return k[(Flags & 6) >> 1];
}

std::string_view Deflate64LevelName(UInt16 Flags) {
  static constexpr std::array<std::string_view, 4> k = {"Def-64N", "Def-64X", "Def-64F", "Def-64S"};
  return k[(Flags & 6) >> 1];
}

std::string CompressMethodName(const TMethodQuery& Query) {
  if (Query.ArcType == atCab) {
    const int t = Query.Method & 15;
    static constexpr std::array<std::string_view, 4> k = {"Stored", "MsZIP", "Quantum", "Lzx"};
    if (t < 4) return std::string(k[static_cast<std::size_t>(t)]);
    return "Lzx" + std::to_string(t);
  }
  const std::string_view n = Lookup(Query);
  return std::string(n.empty() ? kUnsupported : n);
}

}  // namespace vsk
