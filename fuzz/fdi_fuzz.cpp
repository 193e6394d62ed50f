// Arbitrary bytes walked as a cabinet by the cabinet library's reading
// side, its files taken: the cabinet is served from memory through the
// file callbacks, the files' bytes go nowhere, and the walk must end with
// every handle it opened closed again.

#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "libs/cabinet/fdifci.h"

namespace {

constexpr char kName[] = "fuzz.cab";
constexpr intptr_t kOutput = 1;

struct TInput {
  const uint8_t* Data;
  size_t Size;
  std::vector<size_t> Positions;  // of the open cabinet handles, by handle - 2
  std::vector<bool> Open;
  int OpenCount = 0;
  int OutputsOpen = 0;
  int Taken = 0;
  int64_t TakenBytes = 0;
};

TInput* Current(void* pv) { return static_cast<TInput*>(pv); }

void* Alloc(size_t cb) { return std::malloc(cb); }
void Free(void* p) { std::free(p); }

intptr_t Open(const char* name, int, int, int* err, void* pv) {
  TInput& in = *Current(pv);
  const size_t len = std::strlen(name);
  if (len < sizeof kName - 1 || std::strcmp(name + len - (sizeof kName - 1), kName) != 0) {
    *err = 2;
    return -1;
  }
  in.Positions.push_back(0);
  in.Open.push_back(true);
  ++in.OpenCount;
  return static_cast<intptr_t>(in.Positions.size()) + 1;
}

bool Valid(TInput& in, intptr_t hf) {
  return hf >= 2 && static_cast<size_t>(hf - 2) < in.Positions.size() && in.Open[static_cast<size_t>(hf - 2)];
}

unsigned Read(intptr_t hf, void* memory, unsigned cb, int* err, void* pv) {
  TInput& in = *Current(pv);
  if (!Valid(in, hf)) {
    *err = 9;
    return static_cast<unsigned>(-1);
  }
  size_t& pos = in.Positions[static_cast<size_t>(hf - 2)];
  const size_t n = pos < in.Size ? std::min<size_t>(cb, in.Size - pos) : 0;
  if (n) std::memcpy(memory, in.Data + pos, n);
  pos += n;
  return static_cast<unsigned>(n);
}

unsigned Write(intptr_t hf, const void*, unsigned cb, int* err, void*) {
  if (hf != kOutput) {
    *err = 9;
    return 0;
  }
  return cb;
}

int Close(intptr_t hf, int* err, void* pv) {
  TInput& in = *Current(pv);
  if (!Valid(in, hf)) {
    *err = 9;
    return -1;
  }
  in.Open[static_cast<size_t>(hf - 2)] = false;
  --in.OpenCount;
  return 0;
}

int64_t Seek(intptr_t hf, int64_t dist, int type, int* err, void* pv) {
  TInput& in = *Current(pv);
  if (!Valid(in, hf)) {
    *err = 9;
    return -1;
  }
  size_t& pos = in.Positions[static_cast<size_t>(hf - 2)];
  const int64_t base = type == 0 ? 0 : type == 1 ? static_cast<int64_t>(pos) : static_cast<int64_t>(in.Size);
  if (dist > INT64_MAX - base || base + dist < 0) {
    *err = 22;
    return -1;
  }
  pos = static_cast<size_t>(base + dist);
  return base + dist;
}

intptr_t Notify(FDINOTIFICATIONTYPE type, PFDINOTIFICATION n) {
  TInput& in = *static_cast<TInput*>(n->pv);
  switch (type) {
    case fdintCOPY_FILE:
      // Files named back and forth in one large folder each decode it from
      // its start: a bounded number keeps one input's time bounded.
      if (in.Taken >= 64 || in.TakenBytes + n->cb > (64 << 20)) return 0;
      ++in.Taken;
      in.TakenBytes += n->cb;
      ++in.OutputsOpen;
      return kOutput;
    case fdintCLOSE_FILE_INFO:
      if (n->hf != kOutput) std::abort();
      --in.OutputsOpen;
      return 1;
    default:
      // The next cabinet is asked for under the name it has: it is not
      // there, and the same answer again ends the walk.
      return 0;
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  TInput in{data, size, {}, {}};
  ERF erf{};
  HFDI fdi = FDICreate(Alloc, Free, Open, Read, Write, Close, Seek, cpuUNKNOWN, &erf, &in);
  if (!fdi) std::abort();
  const intptr_t hf = Open(kName, CAB_O_RDONLY, 0, &erf.erfType, &in);
  FDICABINETINFO info{};
  FDIIsCabinet(fdi, hf, &info);
  Close(hf, &erf.erfType, &in);
  FDICopy(fdi, kName, "", 0, Notify, nullptr, &in);
  FDIDestroy(fdi);
  if (in.OpenCount != 0 || in.OutputsOpen != 0) std::abort();
  return 0;
}
