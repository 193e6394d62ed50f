#pragma once
// The LZX encoder of cabinet folders. A folder's data is cut into frames of
// 32768 bytes (only the last one shorter); each frame becomes one block of
// its own (verbatim, aligned-offset or uncompressed, whichever is smallest)
// that ends on a 16-bit boundary (but for the last frame stored with an odd
// size), so one cabinet data block holds exactly one frame. The window, the repeated offsets and the code lengths the
// trees are coded against carry over from frame to frame; the input gets
// the E8 call translation the decoder undoes.

#include <cstddef>
#include <cstdint>
#include <memory>
#include <vector>

namespace vsk::cab {

class TLzxEncoder {
 public:
  explicit TLzxEncoder(int WindowBits);  // 15..21; clamp outside
  ~TLzxEncoder();
  // Compresses one frame of up to 32768 bytes (only the last frame of a
  // folder is shorter); appends the frame's compressed bytes to Out. Each
  // frame's output ends on a 16-bit boundary (an odd last frame stored as
  // it is ends on a byte), so that one cabinet data block (CFDATA) holds
  // exactly one frame.
  void EncodeFrame(const std::uint8_t* Data, std::size_t Size, std::vector<std::uint8_t>& Out);
 private:
  struct TImpl;
  std::unique_ptr<TImpl> FImpl;
};

}  // namespace vsk::cab
