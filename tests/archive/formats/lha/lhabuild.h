#pragma once
// Building LHA test material by hand: MSB-first bit strings, entries with
// level-0 and level-1 headers around given packed data, an -lh1- encoder
// (no Debian tool writes that method; lhasa reads it, which checks the
// encoder), and memory ends for the decoders.

#include <string>
#include <utility>
#include <vector>

#include "base/types.h"
#include "archive/codecs/codecio.h"

namespace vsktest {

// Bits written most significant first; Bytes pads the last byte with zeros.
class BitWriter {
 public:
  BitWriter& Put(vsk::UInt32 Value, int Bits);
  std::string Bytes() const;
  std::size_t BitCount() const { return bits_.size(); }

 private:
  std::vector<bool> bits_;
};

struct LhaEntrySpec {
  LhaEntrySpec(std::string M, std::string N, std::string P = {}, std::string O = {})
      : Method(std::move(M)), Name(std::move(N)), Packed(std::move(P)), Original(std::move(O)) {}
  LhaEntrySpec& At(int L) {
    Level = L;
    return *this;
  }
  LhaEntrySpec& Dated(vsk::UInt32 D) {
    DosDateTime = D;
    return *this;
  }
  LhaEntrySpec& Attr(vsk::Byte A) {
    Attribute = A;
    return *this;
  }
  LhaEntrySpec& Ext(vsk::Byte Type, std::string Data) {
    Extended.emplace_back(Type, std::move(Data));
    return *this;
  }

  std::string Method;
  std::string Name;
  std::string Packed;    // the entry's data as stored
  std::string Original;  // what it decodes to: its size and CRC-16 go in the header
  int Level = 0;
  vsk::UInt32 DosDateTime = 0x5A6B3C4D;
  vsk::Byte Attribute = 0x20;
  // Level 1: extended headers (type, data) after the base header.
  std::vector<std::pair<vsk::Byte, std::string>> Extended;
};

// One entry: a level-0 or level-1 header with its checksum (and on level 1
// its extended headers, counted in the packed size), then the data.
std::string LhaEntry(const LhaEntrySpec& Spec);
// Recomputes the header checksum of the level-0/1 header at Offset.
void FixLhaHeaderSum(std::string& Archive, std::size_t Offset);

// One token of the static-Huffman family: a literal byte, or a match of
// Length (3..256) bytes starting Distance + 1 bytes back.
struct LzhToken {
  int Literal = -1;  // -1 for a match
  int Length = 0;
  vsk::UInt32 Distance = 0;
};

// -lh1- packed data for Data: adaptive Huffman codes over a 4096-byte
// dictionary that starts as 4036 spaces. MatchesIntoStart lets matches
// reach back into those spaces.
std::string EncodeLh1(const std::string& Data, bool MatchesIntoStart = true);
// The same for tokens chosen by the caller (lengths 3..60, Distance the
// position field 0..4095).
std::string EncodeLh1Tokens(const std::vector<LzhToken>& Tokens);

// The bytes the tokens stand for.
std::string ExpandLzhTokens(const std::vector<LzhToken>& Tokens);

// Static-Huffman packed data for the tokens, in blocks of at most
// BlockTokens tokens, each block with Huffman codes of its own (up to 16
// bits, so long codes take the decoder's trees). PosBits is the width of
// the position-code count, DictBits the dictionary size.
std::string EncodeLzh(const std::vector<LzhToken>& Tokens, int DictBits, int PosBits, int BlockTokens = 20000);

class MemorySource : public vsk::TCodecSource {
 public:
  explicit MemorySource(std::string Data, vsk::Int32 Chunk = 1 << 30) : data_(std::move(Data)), chunk_(Chunk) {}
  vsk::Int32 Read(vsk::Byte* Buffer, vsk::Int32 Count) override;
  std::size_t Taken() const { return pos_; }

 private:
  std::string data_;
  vsk::Int32 chunk_;
  std::size_t pos_ = 0;
};

class MemorySink : public vsk::TCodecSink {
 public:
  void Write(const vsk::Byte* Buffer, vsk::Int32 Count) override {
    data.append(reinterpret_cast<const char*>(Buffer), static_cast<std::size_t>(Count));
    ++writes;
  }
  std::string data;
  int writes = 0;
};

}  // namespace vsktest
