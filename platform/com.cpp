#include "platform/com.h"

#include <atomic>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <malloc.h>

#include "base/codepage.h"

namespace vsk::com {

namespace {

constexpr GUID MakeGuid(std::uint32_t a, std::uint16_t b, std::uint16_t c, std::uint8_t d0, std::uint8_t d1,
                        std::uint8_t d2, std::uint8_t d3, std::uint8_t d4, std::uint8_t d5, std::uint8_t d6,
                        std::uint8_t d7) {
  return GUID{a, b, c, {d0, d1, d2, d3, d4, d5, d6, d7}};
}

int HexValue(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}

// The shell allocator: the C heap itself, so a block handed over by one
// module is freed by any other that asks for the allocator.
class TShellMalloc final : public IMalloc {
 public:
  HRESULT QueryInterface(const IID& Riid, void** Object) override {
    if (!Object) return E_POINTER;
    if (Riid == IID_IUnknown || Riid == IID_IMalloc) {
      *Object = static_cast<IMalloc*>(this);
      return S_OK;
    }
    *Object = nullptr;
    return E_NOINTERFACE;
  }
  // One allocator lives as long as the process: counting is not needed.
  ULONG AddRef() override { return 2; }
  ULONG Release() override { return 1; }

  void* Alloc(std::size_t Size) override { return std::malloc(Size == 0 ? 1 : Size); }
  void* Realloc(void* Block, std::size_t Size) override {
    if (Block && Size == 0) {
      std::free(Block);
      return nullptr;
    }
    return std::realloc(Block, Size);
  }
  void Free(void* Block) override { std::free(Block); }
  std::size_t GetSize(void* Block) override {
    return Block ? malloc_usable_size(Block) : static_cast<std::size_t>(-1);
  }
  // Whether a block came from here cannot be told.
  int DidAlloc(void*) override { return -1; }
  void HeapMinimize() override {}
};

TShellMalloc& ShellMalloc() {
  static TShellMalloc instance;
  return instance;
}

std::atomic<bool> g_allocatorAvailable{true};

}  // namespace

const IID IID_IUnknown = MakeGuid(0x00000000, 0x0000, 0x0000, 0xC0, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x46);
const IID IID_IClassFactory = MakeGuid(0x00000001, 0x0000, 0x0000, 0xC0, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x46);
const IID IID_IDispatch = MakeGuid(0x00020400, 0x0000, 0x0000, 0xC0, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x46);
const IID IID_IPersist = MakeGuid(0x0000010C, 0x0000, 0x0000, 0xC0, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x46);
const IID IID_IPersistFile = MakeGuid(0x0000010B, 0x0000, 0x0000, 0xC0, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x46);
const IID IID_IQueryInfo = MakeGuid(0x00021500, 0x0000, 0x0000, 0xC0, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x46);
const IID IID_IMalloc = MakeGuid(0x00000002, 0x0000, 0x0000, 0xC0, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x46);

std::optional<GUID> ParseGuid(std::string_view Text) {
  // {8-4-4-4-12}
  if (Text.size() != 38 || Text.front() != '{' || Text.back() != '}') return std::nullopt;
  const std::string_view body = Text.substr(1, 36);
  std::uint8_t bytes[16];
  std::size_t n = 0;
  for (std::size_t i = 0; i < body.size();) {
    if (i == 8 || i == 13 || i == 18 || i == 23) {
      if (body[i] != '-') return std::nullopt;
      ++i;
      continue;
    }
    const int hi = HexValue(body[i]), lo = i + 1 < body.size() ? HexValue(body[i + 1]) : -1;
    if (hi < 0 || lo < 0 || n >= 16) return std::nullopt;
    bytes[n++] = static_cast<std::uint8_t>(hi << 4 | lo);
    i += 2;
  }
  if (n != 16) return std::nullopt;
  GUID g;
  g.Data1 = static_cast<std::uint32_t>(bytes[0]) << 24 | static_cast<std::uint32_t>(bytes[1]) << 16 |
            static_cast<std::uint32_t>(bytes[2]) << 8 | bytes[3];
  g.Data2 = static_cast<std::uint16_t>(bytes[4] << 8 | bytes[5]);
  g.Data3 = static_cast<std::uint16_t>(bytes[6] << 8 | bytes[7]);
  std::memcpy(g.Data4, bytes + 8, 8);
  return g;
}

std::string GuidToString(const GUID& Id) {
  char text[39];
  std::snprintf(text, sizeof text, "{%08X-%04X-%04X-%02X%02X-%02X%02X%02X%02X%02X%02X}", Id.Data1, Id.Data2, Id.Data3,
                Id.Data4[0], Id.Data4[1], Id.Data4[2], Id.Data4[3], Id.Data4[4], Id.Data4[5], Id.Data4[6],
                Id.Data4[7]);
  return text;
}

HRESULT SHGetMalloc(IMalloc** Malloc) {
  if (!Malloc) return E_POINTER;
  if (!g_allocatorAvailable.load()) {
    *Malloc = nullptr;
    return E_FAIL;
  }
  *Malloc = &ShellMalloc();
  (*Malloc)->AddRef();
  return S_OK;
}

void SetShellAllocatorAvailable(bool Available) { g_allocatorAvailable.store(Available); }

std::string WideToUtf8(std::u16string_view Text) {
  std::string out;
  out.reserve(Text.size());
  for (std::size_t i = 0; i < Text.size(); ++i) {
    char32_t c = Text[i];
    if (c >= 0xD800 && c <= 0xDBFF && i + 1 < Text.size() && Text[i + 1] >= 0xDC00 && Text[i + 1] <= 0xDFFF) {
      c = 0x10000 + ((c - 0xD800) << 10) + (Text[i + 1] - 0xDC00);
      ++i;
    } else if (c >= 0xD800 && c <= 0xDFFF) {
      c = 0xFFFD;
    }
    AppendUtf8(out, c);
  }
  return out;
}

std::u16string Utf8ToWide(std::string_view Text) {
  std::u16string out;
  out.reserve(Text.size());
  std::size_t i = 0;
  while (i < Text.size()) {
    const auto b = static_cast<unsigned char>(Text[i]);
    char32_t c = 0xFFFD;
    std::size_t len = 1;
    if (b < 0x80) {
      c = b;
    } else if (b >= 0xC2 && b <= 0xF4) {
      len = b < 0xE0 ? 2 : b < 0xF0 ? 3 : 4;
      char32_t v = b & (0x3F >> (len - 1));
      bool ok = i + len <= Text.size();
      for (std::size_t k = 1; ok && k < len; ++k) {
        const auto cb = static_cast<unsigned char>(Text[i + k]);
        if ((cb & 0xC0) != 0x80) ok = false;
        v = v << 6 | (cb & 0x3F);
      }
      const bool shortest = (len == 2 && v >= 0x80) || (len == 3 && v >= 0x800) || (len == 4 && v >= 0x10000);
      if (ok && shortest && v <= 0x10FFFF && !(v >= 0xD800 && v <= 0xDFFF)) {
        c = v;
      } else {
        len = 1;
      }
    }
    i += len;
    if (c >= 0x10000) {
      c -= 0x10000;
      out.push_back(static_cast<char16_t>(0xD800 + (c >> 10)));
      out.push_back(static_cast<char16_t>(0xDC00 + (c & 0x3FF)));
    } else {
      out.push_back(static_cast<char16_t>(c));
    }
  }
  return out;
}

}  // namespace vsk::com
