#pragma once
// The ACE 1.0 LZ77 decoder. A file's packed data are one bit stream of
// 32-bit little-endian words, read from the top bit down. It is a run of
// blocks, each opening with two Huffman code tables (the main alphabet and
// the match lengths) and a 15-bit count of main symbols. Main symbols
// 0..255 are literals, 256..259 repeat one of the last four distances,
// 260..282 give the bit length of a new distance. In a solid archive the
// dictionary goes on from file to file; everything else starts anew.

#include <cstddef>
#include <functional>
#include <memory>

#include "base/types.h"

namespace vsk {

inline constexpr int kAceMaxCodeWidth = 11;
inline constexpr int kAceWidthCodeWidth = 7;
inline constexpr int kAceMainSymbols = 283;
inline constexpr int kAceLengthSymbols = 256;
inline constexpr int kAceMinDictionaryBits = 10;
inline constexpr int kAceMaxDictionaryBits = 22;

// The order in which a code table gives out its codes: Order[0] gets the
// first (all-zero) code of the shortest width, each next symbol the next
// free code. The format sorts Count widths from the longest down with a
// quicksort whose order among equal widths is part of the format, and
// hands out codes from the end of that list. Returns the number of
// symbols with a width (the rest of Order is not set).
int AceCodeOrder(const Byte* Widths, int Count, UInt16* Order);

enum class TAceDecodeResult { Done, Damaged, Stopped };

class TAceLz77Decoder {
 public:
  // Fills Buffer with up to Count packed bytes; 0 at their end.
  using TSource = std::function<std::size_t(Byte* Buffer, std::size_t Count)>;
  // Takes decoded bytes; false stops decoding.
  using TSink = std::function<bool(const Byte* Data, std::size_t Count)>;

  TAceLz77Decoder();
  ~TAceLz77Decoder();

  // Decodes one file of Size bytes whose dictionary is 2^DictionaryBits
  // bytes (10..22). With Solid the bytes of the files before stay
  // reachable. Every length and distance is checked against what was
  // decoded: a stream that asks for more is Damaged.
  TAceDecodeResult Decode(UInt64 Size, int DictionaryBits, bool Solid, const TSource& Source, const TSink& Sink);
  // A stored file: its bytes go through the dictionary too, since the
  // files after it in a solid archive may refer to them.
  TAceDecodeResult Store(UInt64 Size, int DictionaryBits, bool Solid, const TSource& Source, const TSink& Sink);

 private:
  struct TState;
  std::unique_ptr<TState> S_;
};

}  // namespace vsk
