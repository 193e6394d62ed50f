#include "libs/cabinet/framecoder.h"

#include <zlib.h>

#ifdef BREVANE_HAVE_LZX_ENCODER
#include "libs/cabinet/lzxencoder.h"
#endif

namespace vsk::cab {

namespace {

class TStoredCoder : public TFrameCoder {
 public:
  bool Code(const Byte* Data, std::size_t Size, std::vector<Byte>& Out) override {
    Out.assign(Data, Data + Size);
    return true;
  }
};

// Each frame is "CK" and a deflate stream of its own that ends on a byte
// boundary; the frame before is its preset dictionary, as the decoder
// keeps a 32 KiB window across frames.
class TMsZipCoder : public TFrameCoder {
 public:
  TMsZipCoder() { FReady = deflateInit2(&FZ, Z_DEFAULT_COMPRESSION, Z_DEFLATED, -15, 8, Z_DEFAULT_STRATEGY) == Z_OK; }
  ~TMsZipCoder() override {
    if (FReady) deflateEnd(&FZ);
  }
  TMsZipCoder(const TMsZipCoder&) = delete;
  TMsZipCoder& operator=(const TMsZipCoder&) = delete;

  bool Ready() const { return FReady; }

  bool Code(const Byte* Data, std::size_t Size, std::vector<Byte>& Out) override {
    if (deflateReset(&FZ) != Z_OK) return false;
    if (!FPrev.empty() && deflateSetDictionary(&FZ, FPrev.data(), static_cast<uInt>(FPrev.size())) != Z_OK) {
      return false;
    }
    Out.resize(2 + deflateBound(&FZ, static_cast<uLong>(Size)));
    Out[0] = 'C';
    Out[1] = 'K';
    FZ.next_in = const_cast<Byte*>(Data);
    FZ.avail_in = static_cast<uInt>(Size);
    FZ.next_out = Out.data() + 2;
    FZ.avail_out = static_cast<uInt>(Out.size() - 2);
    if (deflate(&FZ, Z_FINISH) != Z_STREAM_END) return false;
    Out.resize(2 + FZ.total_out);
    FPrev.assign(Data, Data + Size);
    return true;
  }

 private:
  z_stream FZ{};
  bool FReady = false;
  std::vector<Byte> FPrev;
};

#ifdef BREVANE_HAVE_LZX_ENCODER
int LzxWindow(TCOMP Type) { return (Type & tcompMASK_LZX_WINDOW) >> tcompSHIFT_LZX_WINDOW; }

class TLzxCoder : public TFrameCoder {
 public:
  explicit TLzxCoder(int WindowBits) : FEncoder(WindowBits) {}
  bool Code(const Byte* Data, std::size_t Size, std::vector<Byte>& Out) override {
    Out.clear();
    FEncoder.EncodeFrame(Data, Size, Out);
    return true;
  }

 private:
  TLzxEncoder FEncoder;
};
#endif

}  // namespace

bool CanCode(TCOMP Type) {
  switch (Type & tcompMASK_TYPE) {
    case tcompTYPE_NONE:
    case tcompTYPE_MSZIP:
      return true;
#ifdef BREVANE_HAVE_LZX_ENCODER
    case tcompTYPE_LZX:
      return LzxWindow(Type) >= tcompLZX_WINDOW_LO && LzxWindow(Type) <= tcompLZX_WINDOW_HI;
#endif
    default:
      return false;
  }
}

TCOMP FolderWord(TCOMP Type) {
  const TCOMP kind = Type & tcompMASK_TYPE;
  return kind == tcompTYPE_LZX ? static_cast<TCOMP>(kind | (Type & tcompMASK_LZX_WINDOW)) : kind;
}

std::unique_ptr<TFrameCoder> MakeFrameCoder(TCOMP Type) {
  switch (Type & tcompMASK_TYPE) {
    case tcompTYPE_NONE:
      return std::make_unique<TStoredCoder>();
    case tcompTYPE_MSZIP: {
      auto coder = std::make_unique<TMsZipCoder>();
      if (!coder->Ready()) return nullptr;
      return coder;
    }
#ifdef BREVANE_HAVE_LZX_ENCODER
    case tcompTYPE_LZX:
      return std::make_unique<TLzxCoder>(LzxWindow(Type));
#endif
    default:
      return nullptr;
  }
}

}  // namespace vsk::cab
