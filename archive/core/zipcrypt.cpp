#include "archive/core/zipcrypt.h"

#include <sys/random.h>

#include <cerrno>

#include "base/checksum.h"
#include "base/errors.h"

namespace vsk {

namespace {

// The header key of encrypted records is formed from these three words;
// archives with encrypted headers are readable only by builds that use the
// same ones, so they must never change.
constexpr UInt32 kHeaderConst1 = 0x7B5E3A91u;
constexpr UInt32 kHeaderConst2 = 0xD4C6E58Fu;
constexpr UInt32 kHeaderConst3 = 0xAF9D27F3u;

constexpr std::array<UInt32, 3> kHeaderKey{kHeaderConst1 & kHeaderConst3, kHeaderConst2 & kHeaderConst1,
                                           kHeaderConst3 & kHeaderConst2};

void FillRandom(Byte* Buffer, std::size_t Count) {
  while (Count > 0) {
    const ssize_t n = getrandom(Buffer, Count, 0);
    if (n < 0) {
      if (errno == EINTR) continue;
      RaiseLastOSError(errno);
    }
    Buffer += n;
    Count -= static_cast<std::size_t>(n);
  }
}

}  // namespace

UInt32 ZipHeaderSignature(int Kind, bool Encrypted) {
  switch (Kind) {
    case kZipLocalKind:
      return Encrypted ? kZipLocalSignatureEnc : kZipLocalSignature;
    case kZipCentralKind:
      return Encrypted ? kZipCentralSignatureEnc : kZipCentralSignature;
    case kZipEndKind:
      return kZipEndSignature;
    default:
      return kZipDescriptorSignature;
  }
}

int ClassifyZipSignature(UInt32 Word, int Kind, bool& Encrypted) {
  Encrypted = false;
  UInt32 plain = 0;
  UInt32 enc = 0;
  switch (Kind) {
    case kZipLocalKind:
      plain = kZipLocalSignature;
      enc = kZipLocalSignatureEnc;
      break;
    case kZipCentralKind:
      plain = kZipCentralSignature;
      enc = kZipCentralSignatureEnc;
      break;
    case kZipEndKind:
      plain = kZipEndSignature;
      enc = kZipEndSignatureEnc;
      break;
    default:
      return kZipNoKind;
  }
  if (Word == plain) return Kind;
  if (Word == enc) {
    Encrypted = true;
    return Kind;
  }
  return kZipNoKind;
}

bool IsEncryptedSignature(UInt32 Word) {
  return Word == kZipLocalSignatureEnc || Word == kZipCentralSignatureEnc || Word == kZipEndSignatureEnc;
}

bool IsRecordSignature(UInt32 Word) {
  return Word == kZipLocalSignature || Word == kZipCentralSignature || Word == kZipLocalSignatureEnc ||
         Word == kZipCentralSignatureEnc;
}

std::size_t ZipHeaderLength(int Kind) {
  switch (Kind) {
    case kZipLocalKind:
      return 26;
    case kZipCentralKind:
      return 42;
    case kZipEndKind:
      return 18;
    default:
      return 0;
  }
}

std::array<UInt32, 3> ZipHeaderKey() { return kHeaderKey; }

void TZipCrypt::InitZipKeys(std::string_view Password) {
  Keys = {0x12345678u, 0x23456789u, 0x34567890u};
  for (char c : Password) UpdateZipKeys(static_cast<Byte>(c));
}

void TZipCrypt::UpdateZipKeys(Byte Plain) {
  Keys[0] = Crc32Byte(Plain, Keys[0]);
  Keys[1] = (Keys[1] + (Keys[0] & 0xFFu)) * 134775813u + 1u;
  Keys[2] = Crc32Byte(static_cast<Byte>(Keys[1] >> 24), Keys[2]);
}

void TZipCrypt::DecryptZipBuffer(void* Buffer, std::size_t Count) {
  auto* p = static_cast<Byte*>(Buffer);
  // Work on locals so the keys stay in registers across the loop.
  UInt32 k0 = Keys[0], k1 = Keys[1], k2 = Keys[2];
  for (std::size_t i = 0; i < Count; ++i) {
    const UInt32 t = (k2 & 0xFFFFu) | 2u;
    const Byte plain = static_cast<Byte>(p[i] ^ static_cast<Byte>((t * (t ^ 1u)) >> 8));
    p[i] = plain;
    k0 = Crc32Byte(plain, k0);
    k1 = (k1 + (k0 & 0xFFu)) * 134775813u + 1u;
    k2 = Crc32Byte(static_cast<Byte>(k1 >> 24), k2);
  }
  Keys = {k0, k1, k2};
}

void TZipCrypt::EncryptZipBuffer(void* Buffer, std::size_t Count) {
  auto* p = static_cast<Byte*>(Buffer);
  UInt32 k0 = Keys[0], k1 = Keys[1], k2 = Keys[2];
  for (std::size_t i = 0; i < Count; ++i) {
    const UInt32 t = (k2 & 0xFFFFu) | 2u;
    const Byte plain = p[i];
    p[i] = static_cast<Byte>(plain ^ static_cast<Byte>((t * (t ^ 1u)) >> 8));
    k0 = Crc32Byte(plain, k0);
    k1 = (k1 + (k0 & 0xFFu)) * 134775813u + 1u;
    k2 = Crc32Byte(static_cast<Byte>(k1 >> 24), k2);
  }
  Keys = {k0, k1, k2};
}

std::array<Byte, kZipEncryptionHeaderSize> TZipCrypt::MakeEncryptionHeader(std::string_view Password, UInt32 Crc) {
  std::array<Byte, kZipEncryptionHeaderSize> h{};
  if (RandomSource)
    RandomSource(h.data(), 10);
  else
    FillRandom(h.data(), 10);
  h[10] = static_cast<Byte>(Crc >> 16);
  h[11] = static_cast<Byte>(Crc >> 24);
  InitZipKeys(Password);
  EncryptZipBuffer(h.data(), h.size());
  return h;
}

bool TZipCrypt::CheckEncryptionHeader(const Byte* Header, Byte* Plain, UInt16 Flags, UInt32 Crc,
                                      std::string_view Password, UInt16 DosTime) {
  if (Password.empty()) return false;
  InitZipKeys(Password);
  Byte h[kZipEncryptionHeaderSize];
  for (std::size_t i = 0; i < kZipEncryptionHeaderSize; ++i) h[i] = Header[i];
  DecryptZipBuffer(h, sizeof h);
  for (std::size_t i = 0; i < kZipEncryptionHeaderSize; ++i) Plain[i] = h[i];
  const Byte check = (Flags & 0x0008u) ? static_cast<Byte>(DosTime >> 8) : static_cast<Byte>(Crc >> 24);
  return h[11] == check;
}

void TZipCrypt::SetHeaderKey() { Keys = kHeaderKey; }

void TZipCrypt::DecryptZipHeader(Byte* Buffer, int Kind) {
  SetHeaderKey();
  DecryptZipBuffer(Buffer + 4, ZipHeaderLength(Kind));
}

void TZipCrypt::EncryptZipHeader(Byte* Buffer, int Kind) {
  SetHeaderKey();
  EncryptZipBuffer(Buffer + 4, ZipHeaderLength(Kind));
}

}  // namespace vsk
