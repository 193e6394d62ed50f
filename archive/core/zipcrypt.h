#pragma once
// The traditional zip stream cipher, the zip record signatures and the
// encrypted ("PL") record headers.
//
// The cipher state is one object per run; nested components share it by
// reference. Passwords are taken as their UTF-8 bytes.

#include <array>
#include <cstddef>
#include <functional>
#include <string_view>

#include "base/types.h"

namespace vsk {

// Record kinds of the signature routines.
inline constexpr int kZipLocalKind = 0;
inline constexpr int kZipCentralKind = 1;
inline constexpr int kZipEndKind = 2;
// What ClassifyZipSignature returns for a word of none of the kinds.
inline constexpr int kZipNoKind = 3;

inline constexpr UInt32 kZipLocalSignature = 0x04034B50u;      // "PK" 03 04
inline constexpr UInt32 kZipCentralSignature = 0x02014B50u;    // "PK" 01 02
inline constexpr UInt32 kZipEndSignature = 0x06054B50u;        // "PK" 05 06
inline constexpr UInt32 kZipDescriptorSignature = 0x08074B50u; // "PK" 07 08, also the span marker
inline constexpr UInt32 kZipLocalSignatureEnc = 0x04034C50u;   // "PL" 03 04
inline constexpr UInt32 kZipCentralSignatureEnc = 0x02014C50u; // "PL" 01 02
inline constexpr UInt32 kZipEndSignatureEnc = 0x06054C50u;     // "PL" 05 06

inline constexpr std::size_t kZipEncryptionHeaderSize = 12;

// The signature word of a record kind, any other kind giving the data
// descriptor's; only local and central records are written in the encrypted
// form.
UInt32 ZipHeaderSignature(int Kind, bool Encrypted);
// Kind when Word is that kind's plain or "PL" signature (Encrypted tells
// which), kZipNoKind otherwise and for kinds other than 0, 1, 2.
int ClassifyZipSignature(UInt32 Word, int Kind, bool& Encrypted);
// The "PL" local, central and end words.
bool IsEncryptedSignature(UInt32 Word);
// The plain and "PL" local and central words.
bool IsRecordSignature(UInt32 Word);
// Bytes of a record that are enciphered, behind its 4-byte signature.
std::size_t ZipHeaderLength(int Kind);

// The three key words every encrypted record header starts from.
std::array<UInt32, 3> ZipHeaderKey();

class TZipCrypt {
 public:
  // The keys of the empty password.
  TZipCrypt() { InitZipKeys({}); }

  void InitZipKeys(std::string_view Password);
  void UpdateZipKeys(Byte Plain);
  Byte ZipCryptByte() const {
    const UInt32 t = (Keys[2] & 0xFFFFu) | 2u;
    return static_cast<Byte>(((t * (t ^ 1u)) >> 8) & 0xFFu);
  }
  Byte EncryptZipByte(Byte Plain) {
    const Byte c = static_cast<Byte>(Plain ^ ZipCryptByte());
    UpdateZipKeys(Plain);
    return c;
  }
  Byte DecryptZipByte(Byte Cipher) {
    const Byte p = static_cast<Byte>(Cipher ^ ZipCryptByte());
    UpdateZipKeys(p);
    return p;
  }
  void DecryptZipBuffer(void* Buffer, std::size_t Count);
  void EncryptZipBuffer(void* Buffer, std::size_t Count);

  // Header of an encrypted entry: ten random bytes from the operating
  // system, then CRC bits 16..23 and 24..31, all enciphered under Password.
  // The keys are left ready to encipher the entry data.
  std::array<Byte, kZipEncryptionHeaderSize> MakeEncryptionHeader(std::string_view Password, UInt32 Crc);
  // Where those ten bytes come from when set (tests that compare whole
  // archives of two runs); the operating system otherwise.
  std::function<void(Byte* Buffer, std::size_t Count)> RandomSource;
  // Deciphers the 12-byte Header under Password into Plain (which may be
  // Header itself) and checks its last byte against CRC bits 24..31, or, when
  // bit 3 of Flags is set (sizes and CRC follow the data), against the high
  // byte of DosTime. False for an empty password. The keys are left ready to
  // decipher the entry data.
  bool CheckEncryptionHeader(const Byte* Header, Byte* Plain, UInt16 Flags, UInt32 Crc, std::string_view Password,
                             UInt16 DosTime);

  // Set the keys to the header key, then decipher / encipher the
  // ZipHeaderLength(Kind) bytes that follow the 4-byte signature at Buffer.
  void DecryptZipHeader(Byte* Buffer, int Kind);
  void EncryptZipHeader(Byte* Buffer, int Kind);
  // The same on further bytes of a record (its name), going on with the
  // current keys.
  void DecryptZipHeaderCont(void* Buffer, std::size_t Count) { DecryptZipBuffer(Buffer, Count); }
  void EncryptZipHeaderCont(void* Buffer, std::size_t Count) { EncryptZipBuffer(Buffer, Count); }

  void SetHeaderKey();

  std::array<UInt32, 3> Keys{};
};

}  // namespace vsk
