#pragma once
// The LZX encoder of the cabinet writer: one folder's data, frame by frame.

#include <cstddef>
#include <cstdint>
#include <memory>
#include <vector>

namespace vsk::cab {

class TLzxEncoder {
 public:
  explicit TLzxEncoder(int WindowBits /*15..21*/);
  ~TLzxEncoder();
  // Compresses one frame of up to 32768 bytes (only the last frame of a
  // folder is shorter); appends the frame's compressed bytes to Out; each
  // frame's output ends on a 16-bit boundary so that one CFDATA block holds
  // exactly one frame.
  void EncodeFrame(const std::uint8_t* Data, std::size_t Size, std::vector<std::uint8_t>& Out);

 private:
  struct TImpl;
  std::unique_ptr<TImpl> FImpl;
};

}  // namespace vsk::cab
