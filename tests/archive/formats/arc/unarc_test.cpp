// Extracting and testing ARC and PAK archives. No Debian tool writes ARC, so
// the archives are built here from the format's layout with small encoders
// of each method; nomarch and unar extract every archive the tests rely on,
// which checks both the encoders and the reader against independent ones.

#include "archive/formats/arc/unarc.h"

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <algorithm>
#include <filesystem>
#include <map>
#include <queue>
#include <random>
#include <unordered_map>

#include "base/checksum.h"
#include "archive/formats/arc/arccrunch.h"
#include "archive/formats/arc/arcio.h"
#include "archive/formats/arc/arclzw.h"
#include "archive/formats/arc/arcsqueeze.h"
#include "tests/support/archivebytes.h"
#include "tests/support/readerrun.h"
#include "tests/support/testutil.h"

namespace vsk {
namespace {

namespace fs = std::filesystem;
using vsktest::Bytes;
using vsktest::Count;
using vsktest::ReadFile;
using vsktest::RunLog;
using vsktest::RunTool;
using vsktest::ShellQuote;
using vsktest::TempDir;
using vsktest::Tree;
using vsktest::WriteFile;

// ---- method 3: runs of a byte become byte 0x90 count

// A 0x90 is written as 0x90 0 and never starts a run: readers disagree on
// which byte a count after it repeats.
std::string PackRle(const std::string& Data) {
  std::string out;
  for (std::size_t i = 0; i < Data.size();) {
    const char c = Data[i];
    if (static_cast<Byte>(c) == 0x90) {
      out += "\x90";
      out += '\0';
      ++i;
      continue;
    }
    std::size_t run = 1;
    while (i + run < Data.size() && Data[i + run] == c && run < 255) ++run;
    out += c;
    if (run >= 3) {
      out += '\x90';
      out += static_cast<char>(run);
    } else if (run == 2) {
      out += c;
    }
    i += run;
  }
  return out;
}

// ---- method 4: a Huffman tree over the packed bytes and an end symbol

std::string Squeeze(const std::string& Data) {
  std::vector<UInt32> freq(257, 0);
  for (char c : Data) ++freq[static_cast<Byte>(c)];
  freq[256] = 1;
  struct Node {
    UInt32 weight;
    int left, right;  // tree nodes are >= 0, leaves are -(symbol + 1)
  };
  std::vector<Node> nodes;
  using Item = std::pair<UInt32, int>;  // weight, child value
  std::priority_queue<Item, std::vector<Item>, std::greater<>> queue;
  for (int s = 0; s < 257; ++s)
    if (freq[s]) queue.push({freq[s], -(s + 1)});
  std::string bits;  // '0' and '1' per symbol, filled below
  Bytes b;
  std::map<int, std::string> codes;
  if (queue.size() == 1) {
    // The end symbol alone: one node, both of its children the end.
    b.U16(1).U16(static_cast<UInt16>(-257)).U16(static_cast<UInt16>(-257));
    codes[256] = "0";
  } else {
    while (queue.size() > 1) {
      const Item l = queue.top();
      queue.pop();
      const Item r = queue.top();
      queue.pop();
      nodes.push_back({l.first + r.first, l.second, r.second});
      queue.push({l.first + r.first, static_cast<int>(nodes.size() - 1)});
    }
    // Renumber so that the root is node 0.
    const int n = static_cast<int>(nodes.size());
    const auto renum = [n](int v) { return v < 0 ? v : n - 1 - v; };
    b.U16(static_cast<unsigned>(n));
    for (int i = n - 1; i >= 0; --i)
      b.U16(static_cast<UInt16>(renum(nodes[i].left))).U16(static_cast<UInt16>(renum(nodes[i].right)));
    std::vector<std::pair<int, std::string>> stack = {{n - 1, ""}};
    while (!stack.empty()) {
      auto [v, path] = stack.back();
      stack.pop_back();
      if (v < 0) {
        codes[-v - 1] = path;
        continue;
      }
      stack.push_back({nodes[v].left, path + "0"});
      stack.push_back({nodes[v].right, path + "1"});
    }
  }
  for (char c : Data) bits += codes[static_cast<Byte>(c)];
  bits += codes[256];
  std::string out = b.str();
  for (std::size_t i = 0; i < bits.size(); i += 8) {
    Byte v = 0;
    for (std::size_t k = 0; k < 8 && i + k < bits.size(); ++k)
      if (bits[i + k] == '1') v |= static_cast<Byte>(1u << k);
    out += static_cast<char>(v);
  }
  // unar reads a byte beyond the end symbol's; readers stop at the symbol.
  return out + '\0';
}

// ---- methods 5 to 7: 12-bit codes into a hashed table

class CrunchTable {
 public:
  explicit CrunchTable(bool NewHash) : newHash_(NewHash) {
    for (unsigned c = 0; c < 256; ++c) Enter(0xFFFF, static_cast<Byte>(c));
  }
  bool Full() const { return count_ == 4096; }
  // The table place of (Predecessor, Follower), made where the reader makes it.
  UInt32 Enter(UInt32 Predecessor, Byte Follower) {
    const UInt32 sum = (Predecessor + Follower) & 0xFFFF;
    UInt32 at = newHash_ ? (sum * 15073u) & 0xFFF : ((sum | 0x800u) * (sum | 0x800u) >> 6) & 0xFFF;
    if (used_[at]) {
      while (next_[at]) at = next_[at];
      UInt32 f = (at + 101) & 0xFFF;
      while (used_[f]) f = (f + 1) & 0xFFF;
      next_[at] = static_cast<UInt16>(f);
      at = f;
    }
    used_[at] = true;
    ++count_;
    codes_[Predecessor << 8 | Follower] = at;
    return at;
  }
  bool Find(UInt32 Predecessor, Byte Follower, UInt32& Code) const {
    auto it = codes_.find(Predecessor << 8 | Follower);
    if (it == codes_.end()) return false;
    Code = it->second;
    return true;
  }

 private:
  bool newHash_;
  bool used_[4096] = {};
  UInt16 next_[4096] = {};
  unsigned count_ = 0;
  std::unordered_map<UInt32, UInt32> codes_;
};

std::string Crunch(const std::string& Data, bool NewHash) {
  CrunchTable t(NewHash);
  std::vector<UInt32> codes;
  if (!Data.empty()) {
    UInt32 cur = 0;
    t.Find(0xFFFF, static_cast<Byte>(Data[0]), cur);
    for (std::size_t i = 1; i < Data.size(); ++i) {
      const auto c = static_cast<Byte>(Data[i]);
      UInt32 code = 0;
      if (t.Find(cur, c, code)) {
        cur = code;
        continue;
      }
      codes.push_back(cur);
      if (!t.Full()) t.Enter(cur, c);
      t.Find(0xFFFF, c, cur);
    }
    codes.push_back(cur);
  }
  std::string out;
  for (std::size_t i = 0; i < codes.size(); i += 2) {
    out += static_cast<char>(codes[i] >> 4);
    const UInt32 second = i + 1 < codes.size() ? codes[i + 1] : 0;
    out += static_cast<char>((codes[i] & 0xF) << 4 | second >> 8);
    if (i + 1 < codes.size()) out += static_cast<char>(second & 0xFF);
  }
  return out;
}

// ---- methods 8 and 9: 9 to 12 or 13 bits in groups of width bytes

struct LzwOptions {
  bool clearWhenFull = false;
};

std::string Squash(const std::string& Data, int MaxBits, const LzwOptions& O = {}) {
  const UInt32 tableSize = 1u << MaxBits;
  std::string out;
  std::string group;
  UInt64 acc = 0;
  int accBits = 0, inGroup = 0, width = 9;
  UInt32 maxCode = 511, next = 257;
  std::unordered_map<UInt32, UInt32> dict;
  const auto flushGroup = [&](bool Whole) {
    if (accBits > 0) {
      group += static_cast<char>(acc & 0xFF);
      acc = 0;
      accBits = 0;
    }
    if (Whole) group.resize(static_cast<std::size_t>(width), '\0');
    out += group;
    group.clear();
    inGroup = 0;
  };
  const auto emit = [&](UInt32 Code, bool Clear) {
    acc |= static_cast<UInt64>(Code) << accBits;
    accBits += width;
    while (accBits >= 8) {
      group += static_cast<char>(acc & 0xFF);
      acc >>= 8;
      accBits -= 8;
    }
    if (++inGroup == 8) flushGroup(false);
    if (Clear || next > maxCode) {
      if (inGroup > 0) flushGroup(true);
      if (Clear) {
        width = 9;
        maxCode = 511;
      } else {
        ++width;
        maxCode = width == MaxBits ? tableSize : (1u << width) - 1;
      }
    }
  };
  if (!Data.empty()) {
    UInt32 cur = static_cast<Byte>(Data[0]);
    for (std::size_t i = 1; i < Data.size(); ++i) {
      const auto c = static_cast<Byte>(Data[i]);
      const UInt32 key = cur << 8 | c;
      if (auto it = dict.find(key); it != dict.end()) {
        cur = it->second;
        continue;
      }
      emit(cur, false);
      if (next < tableSize) {
        dict[key] = next++;
      } else if (O.clearWhenFull) {
        dict.clear();
        next = 257;
        emit(256, true);
      }
      cur = c;
    }
    emit(cur, false);
  }
  if (inGroup > 0) flushGroup(false);
  std::string head = MaxBits == 12 ? std::string(1, '\x0C') : std::string();
  return head + out;
}

// ---- archives

struct ArcItem {
  std::string name;
  std::string data;
  Byte method = 2;
  std::string packed = {};  // made from data by the method when empty
  Int64 unpacked = -1;      // the data's size when negative
  UInt16 date = vsktest::DosDate(2003, 4, 5);
  UInt16 time = vsktest::DosTime(6, 7, 8);
};

std::string PackedOf(const ArcItem& I) {
  if (!I.packed.empty()) return I.packed;
  switch (I.method) {
    case 3:
      return PackRle(I.data);
    case 4:
      return Squeeze(PackRle(I.data));
    case 5:
      return Crunch(I.data, false);
    case 6:
      return Crunch(PackRle(I.data), false);
    case 7:
      return Crunch(PackRle(I.data), true);
    case 8:
      return Squash(PackRle(I.data), 12);
    case 9:
      return Squash(I.data, 13);
    default:
      return I.data;
  }
}

struct ArcArchive {
  std::string bytes;
  std::vector<std::size_t> entryAt, dataAt;
};

ArcArchive MakeArc(const std::vector<ArcItem>& Items, bool EndMarker = true) {
  ArcArchive a;
  for (const auto& item : Items) {
    const std::string packed = PackedOf(item);
    Bytes b;
    b.U8(0x1A).U8(item.method).Field(item.name, 13).U32(static_cast<UInt32>(packed.size()));
    b.U16(item.date).U16(item.time).U16(Crc16Of(item.data.data(), item.data.size()));
    if (item.method != 1)
      b.U32(static_cast<UInt32>(item.unpacked < 0 ? static_cast<Int64>(item.data.size()) : item.unpacked));
    a.entryAt.push_back(a.bytes.size());
    a.dataAt.push_back(a.bytes.size() + b.size());
    a.bytes += b.str() + packed;
  }
  if (EndMarker) a.bytes += std::string("\x1A\x00", 2);
  return a;
}

// ---- runs

RunLog Unpack(const fs::path& Archive, const fs::path& Dest, const vsktest::RunOptions& O = {}) {
  return vsktest::RunReader<TUnArc>(Archive, Dest, O, [](TUnArc&) {});
}

// The names whose contents differ or that only one side has, for short
// failure messages.
std::string Differences(const std::map<std::string, std::string>& Got,
                        const std::map<std::string, std::string>& Want) {
  std::string d;
  for (const auto& [name, data] : Want) {
    auto it = Got.find(name);
    if (it == Got.end())
      d += " missing:" + name;
    else if (it->second != data)
      d += " differs:" + name + "(" + std::to_string(it->second.size()) + " bytes)";
  }
  for (const auto& [name, data] : Got)
    if (!Want.count(name)) d += " extra:" + name;
  return d;
}

std::map<std::string, std::string> Nomarch(const fs::path& Archive, const fs::path& Dest) {
  EXPECT_TRUE(vsktest::HaveTool("nomarch"));
  fs::create_directories(Dest);
  const auto t = RunTool("nomarch -t " + ShellQuote(Archive.string()));
  EXPECT_EQ(t.exitCode, 0) << t.output.substr(0, 2000);
  const auto r = RunTool("nomarch -U " + ShellQuote(fs::absolute(Archive).string()), Dest);
  EXPECT_EQ(r.exitCode, 0) << r.output.substr(0, 2000);
  return Tree(Dest);
}

std::map<std::string, std::string> Unar(const fs::path& Archive, const fs::path& Dest) {
  EXPECT_TRUE(vsktest::HaveTool("unar"));
  fs::create_directories(Dest);
  const auto r = RunTool("unar -q -D -f -o " + ShellQuote(Dest.string()) + " " + ShellQuote(Archive.string()));
  EXPECT_EQ(r.exitCode, 0) << r.output.substr(0, 2000);
  return Tree(Dest);
}

// unar, run on one archive per entry (behind a stored entry that makes it
// an archive by its first bytes): in this unar version a dynamic LZW entry
// that follows another one crashes it.
std::map<std::string, std::string> UnarEach(const std::vector<ArcItem>& Items, const fs::path& Dest) {
  std::map<std::string, std::string> all;
  for (std::size_t i = 0; i < Items.size(); ++i) {
    const fs::path one = Dest.string() + "-" + std::to_string(i) + ".arc";
    WriteFile(one, MakeArc({{"FIRST", "first", 2}, Items[i]}).bytes);
    const fs::path to = Dest.string() + "-" + std::to_string(i);
    auto got = Unar(one, to);
    if (Items[i].name != "FIRST") got.erase("FIRST");
    all.merge(got);
  }
  return all;
}

// nomarch knows every method but 7: it reads an archive of the other entries.
std::map<std::string, std::string> NomarchWithout7(const std::vector<ArcItem>& Items, const fs::path& Dest,
                                                   std::map<std::string, std::string> Want) {
  std::vector<ArcItem> some;
  for (const auto& i : Items) {
    if (i.method == 7)
      Want.erase(i.name);
    else
      some.push_back(i);
  }
  const fs::path arc = Dest.string() + ".arc";
  WriteFile(arc, MakeArc(some).bytes);
  EXPECT_EQ(Differences(Nomarch(arc, Dest), Want), "");
  return Want;
}

#define EXPECT_SAME(Got, Want) EXPECT_EQ(Differences(Got, Want), "")

// ---- tests

// Every method, text and noise, empty entries and long runs: nomarch and
// unar extract the same bytes as the reader, and every CRC passes.
TEST(UnArc, MethodsAsNomarchAndUnarReadThem) {
  TempDir dir;
  const std::string text = vsktest::TextBytes(120000, 4);
  const std::string noise = vsktest::RandomBytes(30000, 5);
  std::string runs = std::string(3000, 'a') + std::string(7, '\x90') + "b\x90\x90\x90" "c" + std::string(600, '\0');
  for (int i = 0; i < 40; ++i) runs += std::string(static_cast<std::size_t>(i * 13 % 300), static_cast<char>(i));
  std::vector<ArcItem> items = {{"STORED.TXT", text.substr(0, 5000), 2}};
  for (Byte m = 3; m <= 9; ++m) {
    const std::string n = std::to_string(m);
    items.push_back({"TEXT" + n + ".TXT", text, m});
    items.push_back({"NOISE" + n + ".BIN", noise, m});
    items.push_back({"RUNS" + n + ".BIN", runs, m});
    items.push_back({"ONE" + n, "x", m});
    items.push_back({"EMPTY" + n, "", m});
  }
  std::map<std::string, std::string> want;
  for (const auto& i : items) want[i.name] = i.data;
  const auto path = dir / "m.arc";
  WriteFile(path, MakeArc(items).bytes);

  NomarchWithout7(items, dir / "nomarch", want);
  EXPECT_SAME(UnarEach(items, dir / "unar"), want);

  const auto r = Unpack(path, dir / "out");
  EXPECT_EQ(r.result, static_cast<int>(items.size()));
  EXPECT_TRUE(r.errors.empty());
  EXPECT_SAME(Tree(dir / "out"), want);
  for (const auto& [name, data] : want) EXPECT_TRUE(r.Verdict((dir / "out" / name).string())) << name;

  // The entry's DOS date-time (local) on the written file.
  struct stat st {};
  ASSERT_EQ(stat((dir / "out/TEXT8.TXT").c_str(), &st), 0);
  const std::time_t t = st.st_mtime;
  std::tm lt{};
  localtime_r(&t, &lt);
  EXPECT_EQ(lt.tm_year + 1900, 2003);
  EXPECT_EQ(lt.tm_mon + 1, 4);
  EXPECT_EQ(lt.tm_mday, 5);
  EXPECT_EQ(lt.tm_hour, 6);
  EXPECT_EQ(lt.tm_min, 7);
  EXPECT_EQ(lt.tm_sec, 8);

  // Testing decodes everything, judges every CRC and writes nothing.
  const auto t2 = Unpack(path, dir / "tested", {.test = true});
  EXPECT_EQ(t2.result, static_cast<int>(items.size()));
  EXPECT_TRUE(t2.errors.empty());
  EXPECT_EQ(t2.verdicts.size(), want.size());
  for (const auto& [name, pass] : t2.verdicts) EXPECT_TRUE(pass) << name;
  EXPECT_TRUE(t2.verdicts.count("TEXT9.TXT"));
  EXPECT_FALSE(fs::exists(dir / "tested"));

  // Selection by mask.
  const auto some = Unpack(path, dir / "some", {.spec = {"TEXT*"}});
  EXPECT_EQ(some.result, 7);
  EXPECT_EQ(Tree(dir / "some").size(), 7u);
}

// Tables that fill up: the hashed table stops growing, the dynamic one
// grows to its widest codes and, when the writer says so, starts afresh.
TEST(UnArc, FullTablesAndClearCodes) {
  TempDir dir;
  const std::string big = vsktest::TextBytes(200000, 8) + vsktest::RandomBytes(60000, 9);
  std::vector<ArcItem> items = {{"FIRST", "first", 2}};
  for (Byte m : {5, 6, 7, 8, 9}) items.push_back({"BIG" + std::to_string(m), big, m});
  items.push_back({"CLEAR8", big, 8, Squash(PackRle(big), 12, {.clearWhenFull = true})});
  items.push_back({"CLEAR9", big, 9, Squash(big, 13, {.clearWhenFull = true})});
  std::map<std::string, std::string> want;
  for (const auto& i : items) want[i.name] = i.data;
  const auto path = dir / "f.arc";
  WriteFile(path, MakeArc(items).bytes);
  NomarchWithout7(items, dir / "nomarch", want);
  EXPECT_SAME(UnarEach(items, dir / "unar"), want);
  const auto r = Unpack(path, dir / "out");
  EXPECT_TRUE(r.errors.empty());
  EXPECT_SAME(Tree(dir / "out"), want);
  EXPECT_EQ(static_cast<std::size_t>(std::count_if(r.verdicts.begin(), r.verdicts.end(),
                                                   [](const auto& v) { return v.second; })),
            items.size());
}

// Shapes of the streams: 0x90 0 is a literal 0x90 that a later count does
// not repeat (as nomarch reads it), a squeezed entry ends at its end
// symbol even when bytes follow, and an LZW code used in the step that
// defines it stands for the previous string plus its first byte.
TEST(UnArc, StreamEdges) {
  TempDir dir;
  std::vector<ArcItem> items = {
      {"LIT.BIN", "\x90", 3, std::string("\x90\x00", 2)},
      {"AFTER.BIN", "A\x90" "AA", 3, std::string("A\x90\x00\x90\x03", 5)},
      {"TRAIL.TXT", "squeezed", 4, Squeeze("squeezed") + "trailing bytes"},
      {"KWKWK5", std::string(5000, 'k'), 5},
      {"KWKWK7", std::string(5000, 'k'), 7},
      {"KWKWK9", std::string(5000, 'k'), 9},
  };
  items.insert(items.begin(), ArcItem{"FIRST", "first", 2});
  std::map<std::string, std::string> want;
  for (const auto& i : items) want[i.name] = i.data;
  const auto path = dir / "e.arc";
  WriteFile(path, MakeArc(items).bytes);
  NomarchWithout7(items, dir / "nomarch", want);
  const auto r = Unpack(path, dir / "out");
  EXPECT_TRUE(r.errors.empty());
  EXPECT_SAME(Tree(dir / "out"), want);
  for (const auto& [name, data] : want) EXPECT_TRUE(r.Verdict((dir / "out" / name).string())) << name;
}

// What hostile streams cannot make the decoders do: overrun the entry's
// size, walk outside their tables or loop for ever.
TEST(UnArc, DecodersStayBounded) {
  struct Source : TCodecSource {
    std::string data;
    std::size_t pos = 0;
    Int32 Read(Byte* Buffer, Int32 Count) override {
      const std::size_t n = std::min<std::size_t>(data.size() - pos, static_cast<std::size_t>(Count));
      std::copy_n(data.data() + pos, n, Buffer);
      pos += n;
      return static_cast<Int32>(n);
    }
  };
  struct Sink : TCodecSink {
    std::string data;
    void Write(const Byte* Buffer, Int32 Count) override { data.append(reinterpret_cast<const char*>(Buffer), Count); }
  };
  const auto run = [](int Method, const std::string& Packed, Int64 Limit, std::string* Out = nullptr) {
    Source src;
    src.data = Packed;
    TArcInput in(src);
    Sink sink;
    TArcOutput out(sink, Limit, Method != 5 && Method != 9);
    TArcResult result = TArcResult::Ok;
    if (Method == 3) {
      for (int b = in.Get(); b >= 0; b = in.Get()) out.Put(static_cast<Byte>(b));
    } else if (Method == 4) {
      auto d = std::make_unique<TArcSqueezeDecoder>();
      result = d->Decode(in, out);
    } else if (Method <= 7) {
      auto d = std::make_unique<TArcCrunchDecoder>();
      result = d->Decode(in, out, Method == 7);
    } else {
      auto d = std::make_unique<TArcLzwDecoder>();
      result = d->Decode(in, out, Method == 8 ? 12 : 13, Method == 8);
    }
    out.Flush();
    EXPECT_LE(static_cast<Int64>(sink.data.size()), Limit);
    EXPECT_EQ(out.Written(), static_cast<Int64>(sink.data.size()));
    if (Out) *Out = sink.data;
    return out.Overrun() ? TArcResult::Corrupt : result;
  };
  std::string out;
  // Runs far beyond the size are cut at it.
  EXPECT_EQ(run(3, "a\x90\xff\x90\xff", 300, &out), TArcResult::Corrupt);
  EXPECT_EQ(out, std::string(300, 'a'));
  // Bad trees: too many nodes, negative count, a child outside the tree,
  // a symbol beyond the end symbol.
  EXPECT_EQ(run(4, Bytes().U16(257).str(), 10), TArcResult::BadTree);
  EXPECT_EQ(run(4, Bytes().U16(0xFFFF).str(), 10), TArcResult::BadTree);
  EXPECT_EQ(run(4, Bytes().U16(1).U16(1).U16(0xFFFF).str(), 10), TArcResult::BadTree);
  EXPECT_EQ(run(4, Bytes().U16(1).U16(static_cast<UInt16>(-258)).U16(0xFFFF).str(), 10), TArcResult::BadTree);
  // A tree whose node 0 points to itself consumes input and ends with it.
  EXPECT_EQ(run(4, Bytes().U16(1).U16(0).U16(0).Fill(5000).str(), 10), TArcResult::Ok);
  // Method 8 needs its 12-bit marker.
  EXPECT_EQ(run(8, "\x0D" + Squash("hello", 13), 5), TArcResult::BadBits);
  // Codes beyond the next free one, or a string right after a clear.
  EXPECT_EQ(run(9, std::string("\x41\x58\x02", 3), 10, &out), TArcResult::Corrupt);
  EXPECT_EQ(out, "A");
  // Dynamic LZW: 'A', clear, then 257 where only a byte may stand.
  EXPECT_EQ(run(9, std::string("\x41\x00\x02", 3) + std::string(6, '\0') + std::string("\x01\x01", 2), 10),
            TArcResult::Corrupt);
  // Random streams, plain and behind a valid start, for every method.
  const std::string text = vsktest::TextBytes(20000, 3);
  std::mt19937 rng(11);
  for (int i = 0; i < 400; ++i) {
    const int method = 3 + i % 7;
    std::string junk = vsktest::RandomBytes(1 + rng() % 6000, static_cast<std::uint32_t>(i));
    if (i % 2) junk = PackedOf({"X", text, static_cast<Byte>(method)}).substr(0, 50) + junk;
    run(method, junk, static_cast<Int64>(rng() % 30000));
  }
  // A crunch stream must start with a code of the table.
  EXPECT_EQ(run(5, "\xFF\xFF\xFF", 10), TArcResult::Corrupt);
}

// A damaged byte fails that entry's CRC verdict only; the entry is still
// written, and every other entry comes out whole.
TEST(UnArc, DamagedDataFailsThatEntryOnly) {
  TempDir dir;
  const std::string text = vsktest::TextBytes(40000, 12);
  std::vector<ArcItem> items = {{"FIRST.TXT", text, 2}};
  for (Byte m = 3; m <= 9; ++m) items.push_back({"M" + std::to_string(m) + ".TXT", text, m});
  items.push_back({"LAST.TXT", "last", 2});
  const auto arc = MakeArc(items);
  for (std::size_t victim = 0; victim + 1 < items.size(); ++victim) {
    SCOPED_TRACE(victim);
    std::string bytes = arc.bytes;
    bytes[arc.dataAt[victim] + 700] ^= 0x5A;
    const auto path = dir / ("d" + std::to_string(victim) + ".arc");
    WriteFile(path, bytes);
    const auto out = dir / ("out" + std::to_string(victim));
    const auto r = Unpack(path, out);
    // Only the sound entries count.
    EXPECT_EQ(r.result, static_cast<int>(items.size()) - 1);
    for (std::size_t i = 0; i < items.size(); ++i) {
      const auto file = out / items[i].name;
      EXPECT_EQ(r.Verdict(file.string()), i != victim) << items[i].name;
      EXPECT_TRUE(fs::exists(file));
      if (i != victim) {
        EXPECT_TRUE(ReadFile(file) == items[i].data) << items[i].name;
      }
    }
    // Without OnEnd the failure is the CRC message, and testing finds it too.
    const auto t = Unpack(path, {}, {.test = true, .verdicts = false});
    EXPECT_EQ(t.result, static_cast<int>(items.size()) - 1);
    EXPECT_EQ(t.Count(msg::CrcFailed), 1);
  }
  // A stored entry claiming more bytes than it holds fails even when the
  // CRC of what is there matches; so does a packed one.
  std::vector<ArcItem> shortItems = {{"SHORT.TXT", "abc", 2}, {"SHORT3.TXT", "abc", 3}};
  shortItems[0].unpacked = shortItems[1].unpacked = 4;
  const auto path = dir / "short.arc";
  WriteFile(path, MakeArc(shortItems).bytes);
  const auto r = Unpack(path, dir / "short");
  EXPECT_FALSE(r.Verdict((dir / "short/SHORT.TXT").string()));
  EXPECT_FALSE(r.Verdict((dir / "short/SHORT3.TXT").string()));
  EXPECT_EQ(ReadFile(dir / "short/SHORT.TXT"), "abc");
}

// Names that would leave the destination are refused one by one; the
// other entries still come out, and nothing lands outside.
TEST(UnArc, HostileNamesStayInside) {
  TempDir dir;
  const std::vector<ArcItem> items = {
      {"FIRST", "first", 2},     {"../x", "dotdot", 3},          {"..\\UP.TXT", "backslash up", 2},
      {"/tmp/vskabs", "abs", 2}, {"\\ROOT.TXT", "rooted", 3},   {"OK.TXT", "fine", 2},
  };
  const auto path = dir / "h.arc";
  WriteFile(path, MakeArc(items).bytes);
  const auto dest = dir / "a" / "b";
  const auto r = Unpack(path, dest);
  EXPECT_EQ(Count(r.errors, msg::InvalidFileName), 2);
  EXPECT_EQ(r.result, 4);
  EXPECT_EQ(Tree(dir.path()), (std::map<std::string, std::string>{{"a/b/FIRST", "first"},
                                                                  {"a/b/OK.TXT", "fine"},
                                                                  {"a/b/ROOT.TXT", "rooted"},
                                                                  {"a/b/tmp/vskabs", "abs"},
                                                                  {"h.arc", ReadFile(path)}}));
  EXPECT_FALSE(fs::exists(dir / "x"));
  EXPECT_FALSE(fs::exists(dir / "a" / "x"));

  // A symbolic link in the destination is not followed.
  TempDir outside;
  fs::create_directories(dir / "l");
  fs::create_symlink(outside.path() / "target", dir / "l" / "LINK.TXT");
  const auto path2 = dir / "l.arc";
  WriteFile(path2, MakeArc({{"LINK.TXT", "through the link", 2}, {"OK.TXT", "fine", 2}}).bytes);
  const auto r2 = Unpack(path2, dir / "l");
  EXPECT_TRUE(Tree(outside.path()).empty());
  EXPECT_EQ(ReadFile(dir / "l/OK.TXT"), "fine");
  EXPECT_FALSE(r2.errors.empty());
}

// Directory entries are walked over, PAK's own methods and unknown ones
// fail their entry alone without touching an existing file, the oldest
// stored header is read, and a self-extractor's archive starts after its
// program.
TEST(UnArc, EntriesOfEveryKind) {
  TempDir dir;
  std::vector<ArcItem> items = {{"FIRST", "first", 2}, {"SUBDIR", "", 30}, {"OLD.TXT", "old stored", 1},
                                {"PAK10", "crushed", 10, "??"},   {"ARC12", "unknown", 12, "??"},
                                {"LAST.TXT", "last", 3}};
  const auto path = dir / "k.arc";
  WriteFile(path, MakeArc(items).bytes);
  // nomarch reads the short header of method 1 alike.
  {
    const auto only = dir / "old.arc";
    WriteFile(only, MakeArc({{"FIRST", "first", 2}, {"OLD.TXT", "old stored", 1}}).bytes);
    EXPECT_EQ(Nomarch(only, dir / "nomarch"),
              (std::map<std::string, std::string>{{"FIRST", "first"}, {"OLD.TXT", "old stored"}}));
  }
  fs::create_directories(dir / "out");
  WriteFile(dir / "out/PAK10", "keep me");
  const auto r = Unpack(path, dir / "out");
  EXPECT_EQ(Count(r.errors, msg::UnsupportedMethod), 2);
  EXPECT_EQ(r.result, 3);  // the two refused entries are not counted
  EXPECT_FALSE(r.Verdict((dir / "out/PAK10").string()));
  EXPECT_FALSE(r.Verdict((dir / "out/ARC12").string()));
  EXPECT_TRUE(r.Verdict((dir / "out/OLD.TXT").string()));
  EXPECT_EQ(Tree(dir / "out"), (std::map<std::string, std::string>{{"FIRST", "first"},
                                                                  {"OLD.TXT", "old stored"},
                                                                  {"PAK10", "keep me"},
                                                                  {"LAST.TXT", "last"}}));
  // Testing: the unknown methods fail, without OnEnd as CRC failures.
  const auto t = Unpack(path, {}, {.test = true, .verdicts = false});
  EXPECT_EQ(t.result, 3);
  EXPECT_EQ(t.Count(msg::UnsupportedMethod), 2);
  EXPECT_EQ(t.Count(msg::CrcFailed), 2);

  // The same entries in a PAK archive (a first entry of method 10).
  std::vector<ArcItem> pak = {{"PAK10", "crushed", 10, "??"}, {"OK.TXT", "ok", 2}};
  const auto pakPath = dir / "p.pak";
  WriteFile(pakPath, MakeArc(pak).bytes);
  const auto rp = Unpack(pakPath, dir / "pak");
  EXPECT_EQ(Count(rp.errors, msg::UnsupportedMethod), 1);
  EXPECT_EQ(Tree(dir / "pak"), (std::map<std::string, std::string>{{"OK.TXT", "ok"}}));

  // Behind a self-extractor's program.
  const auto sfx = dir / "s.exe";
  WriteFile(sfx, vsktest::SfxStub(7716) + MakeArc({{"IN.TXT", "inside", 8}, {"B.TXT", "bee", 9}}).bytes);
  const auto rs = Unpack(sfx, dir / "sfx");
  EXPECT_TRUE(rs.errors.empty());
  EXPECT_EQ(Tree(dir / "sfx"), (std::map<std::string, std::string>{{"IN.TXT", "inside"}, {"B.TXT", "bee"}}));
}

// Every cut of an archive: the entries wholly before the cut come out
// exactly, a cut inside an entry's data fails its verdict, a cut header is
// reported, and nothing else happens.
TEST(UnArc, TruncatedArchives) {
  TempDir dir;
  const std::string text = vsktest::TextBytes(2000, 21);
  const std::vector<ArcItem> items = {{"A.TXT", text, 2}, {"B.TXT", text, 4}, {"C.TXT", text, 8},
                                      {"D.TXT", text, 9}};
  const auto arc = MakeArc(items);
  const auto path = dir / "cut.arc";
  for (std::size_t cut = 2; cut < arc.bytes.size(); cut += 1 + cut / 50) {
    SCOPED_TRACE(cut);
    WriteFile(path, arc.bytes.substr(0, cut));
    const auto out = dir / "out";
    fs::remove_all(out);
    const auto r = Unpack(path, out);
    // A few bytes are too short to be taken for an archive at all.
    TUnArc probe;
    probe.SetArchiveFile(path.string());
    const bool detected = probe.ArcType() == atArc;
    std::size_t whole = 0;
    bool cutHeader = false;
    for (std::size_t i = 0; i < items.size(); ++i) {
      if (arc.dataAt[i] <= cut) ++whole;
      if (arc.entryAt[i] + 2 <= cut && cut < arc.dataAt[i]) cutHeader = true;
    }
    // Only the entries that came out whole count.
    std::size_t passes = 0;
    for (const auto& [name, ok] : r.verdicts) passes += ok ? 1 : 0;
    EXPECT_EQ(static_cast<std::size_t>(r.result), passes);
    EXPECT_LE(passes, whole);
    EXPECT_EQ(Count(r.errors, msg::BadFileHeader), cutHeader && detected ? 1 : 0);
    EXPECT_TRUE(detected || cut < 29);
    for (const auto& [name, data] : Tree(out)) {
      const bool pass = r.Verdict((out / name).string());
      EXPECT_EQ(pass, data == text) << name;
      EXPECT_TRUE(text.compare(0, data.size(), data) == 0 || !pass) << name;
    }
  }
}

}  // namespace
}  // namespace vsk
