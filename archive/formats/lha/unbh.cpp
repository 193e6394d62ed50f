#include "archive/formats/lha/unbh.h"

#include <algorithm>
#include <vector>

#include "archive/core/codecstreams.h"
#include "archive/core/fileprims.h"
#include "archive/core/selection.h"
#include "archive/core/storedcopy.h"
#include "archive/core/zipcrypt.h"
#include "archive/codecs/codecio.h"

namespace vsk {

namespace {

constexpr Int32 kInflateBlock = 32768;
// Names of this length and longer are not listed.
constexpr UInt16 kMaxNameLength = 256;
// Writers before this version encipher without a 12-byte cipher header.
constexpr Byte kFirstVersionWithCipherHeader = 3;

constexpr Byte kMethodStored = 0;
constexpr Byte kMethodLzh13 = 1;
constexpr Byte kMethodDeflateOld = 2;
constexpr Byte kMethodLzh15 = 3;
constexpr Byte kMethodDeflate = 8;

bool IsSupportedMethod(Byte m) { return m == kMethodStored || m == kMethodLzh13 || m == kMethodLzh15 || m == kMethodDeflate; }

bool HasCipherHeader(const TBhHeader& h) { return h.Encrypted() && h.VersionMadeBy >= kFirstVersionWithCipherHeader; }

// The packed bytes that are entry data, without a cipher header.
Int64 DataBytes(const TBhHeader& h) {
  const Int64 packed = h.PackedSize;
  return HasCipherHeader(h) ? std::max<Int64>(packed - static_cast<Int64>(kBhEncryptionHeaderSize), 0) : packed;
}

}  // namespace

TUnBh::TUnBh() = default;

TUnBh::~TUnBh() = default;

bool TUnBh::CheckPassword(const Byte* Header) {
  Byte plain[kZipEncryptionHeaderSize];
  return Crypt->CheckEncryptionHeader(Header, plain, FEntryFlags, FEntryCrc, Password,
                                      static_cast<UInt16>(FEntryDosDateTime));
}

void TUnBh::DecodeBlock(bool Decode, void* Buffer, Int32 Count) {
  if (Decode && Count > 0) Crypt->DecryptZipBuffer(Buffer, static_cast<std::size_t>(Count));
}

TBhStatus TUnBh::ReadHeader(Int64 Offset, TBhHeader& H, Int32& Got) {
  const auto read = [this](Int64 Pos, void* Buffer, Int32 Count) -> Int32 {
    if (Count <= 0 || ArchiveStream->Seek(Pos, soBeginning) != Pos) return 0;
    const Int32 n = ArchiveStream->Read(Buffer, Count);
    return n < 0 ? 0 : n;
  };
  Byte fixed[kBhFixedSize] = {};
  Got = read(Offset, fixed, kBhFixedSize);
  return TBhHeader::Parse(fixed, Got, Offset, ArchiveStream->GetSize(), read, H);
}

void TUnBh::Scan() {
  Int64 pos = ArcOffset;
  while (!GetCancel()) {
    TItem item;
    Int32 got = 0;
    const TBhStatus status = ReadHeader(pos, item.Header, got);
    if (status == TBhStatus::EndOfArchive) break;
    if (status != TBhStatus::Ok) {
      // Cut off inside a header: the entries before it still come out.
      ReportError(ArchiveFile(), msg::BadFileHeader);
      break;
    }
    const TBhHeader& h = item.Header;
    pos = h.NextOffset();
    if (h.NameLength >= kMaxNameLength) continue;
    item.Name = OemToAnsiName(h.Name, TranslateOemChar);
    if (item.Name.empty() || !IsEntrySelected(item.Name, FileSpec, ExcludeSpec, RecurseDirs)) continue;
    NewestEntryDate = std::max(NewestEntryDate, h.DosDateTime);
    PackedTotal += static_cast<double>(DataBytes(h));
    UnpackedTotal += static_cast<double>(h.UnpackedSize);
    FItems.push_back(std::move(item));
  }
}

void TUnBh::ExtractArchive() {
  ExtractListed(
      FItems, [this] { Scan(); }, [this](const TItem& Item) { ExtractItem(Item); }, [this] { FLzh.reset(); });
}

bool TUnBh::TakeUncheckedPassword() {
  if (!Password.empty()) return true;
  if (!Passwords.empty() && !Passwords.front().empty()) {
    Password = Passwords.front();
    return true;
  }
  TTimerPause pause(Timer);
  bool tryAgain = true;
  std::string pw;
  if (!FireRequired(OnGetPassword, "OnGetPassword", OutputName, pw, tryAgain)) return false;
  if (!tryAgain || pw.empty() || GetCancel()) {
    ReportError(OutputName, msg::InvalidPassword);
    return false;
  }
  Password = pw;
  return true;
}

void TUnBh::ExtractItem(const TItem& Item) {
  const TBhHeader& h = Item.Header;
  const Byte method = h.Method == kMethodDeflateOld ? kMethodDeflate : h.Method;
  // An old writer's stored entry is copied as it is, even when flagged.
  const bool oldForm = h.Encrypted() && !HasCipherHeader(h);
  const bool decipher = h.Encrypted() && !(oldForm && method == kMethodStored);
  TEntryInfo info;
  info.Name = Item.Name;
  info.UnpackedSize = h.UnpackedSize;
  info.DosDateTime = h.DosDateTime;
  info.Encrypted = decipher;
  info.Directory = h.IsDirectory();
  info.MethodSupported = IsSupportedMethod(method);
  TReaderEntry entry = StartEntry(info);
  if (!entry) return;
  if (info.Directory) {
    CreateEntryFolder();
    entry.End(true);
    return;
  }

  if (HasCipherHeader(h) && h.PackedSize < kBhEncryptionHeaderSize) {
    ReportError(OutputName, msg::BadFileHeader);
    SkipEntryData(h.UnpackedSize);
    return;
  }
  if (ArchiveStream->Seek(h.DataOffset(), soBeginning) != h.DataOffset()) {
    ReportError(ArchiveFile(), msg::ErrorReadingFile);
    SkipEntryData(h.UnpackedSize);
    return;
  }
  FEntryFlags = h.Flags;
  FEntryCrc = h.Crc32;
  FEntryDosDateTime = h.DosDateTime;
  if (decipher && !PasswordFailed) {
    if (HasCipherHeader(h)) {
      if (!GetEntryPassword()) PasswordFailed = true;
    } else if (TakeUncheckedPassword()) {
      Crypt->InitZipKeys(Password);
    } else {
      PasswordFailed = true;
    }
  }
  if (decipher && PasswordFailed) {
    SkipEntryData(h.UnpackedSize);
    OutputName = EntryName;
    entry.End(false);
    return;
  }

  int handle = -1;
  if (!entry.Open(handle)) {
    SkipEntryData(h.UnpackedSize);
    entry.End(false);
    return;
  }
  Crc->Reset();
  ResetTranslation();
  ProgressEntryTotal = h.UnpackedSize;
  DecodeEntry(handle, [&] { Decode(method, handle, DataBytes(h), h.UnpackedSize, decipher); });
  entry.Close(handle, h.DosDateTime, h.Attributes);
  entry.Check(kCrc32, h.Crc32);
}

void TUnBh::Decode(Byte Method, int Handle, Int64 Size, Int64 Unpacked, bool Decipher) {
  switch (Method) {
    case kMethodStored: {
      // More than the header's size is never written.
      TStoredInfo info;
      info.StoredSize = std::min(Size, Unpacked);
      info.Flags = Decipher ? 1 : 0;
      CopyStoredData(*this, -1, Handle, info, kCrc32, ArchiveStream.get());
      return;
    }
    case kMethodLzh13:
    case kMethodLzh15: {
      // The window is the decoder's large one, so every distance a 15-bit
      // dictionary can name is honoured; deciphering is the source's task.
      const TLzhSettings settings = Method == kMethodLzh13 ? TLzhSettings{13, 4, 0} : TLzhSettings{15, 5, 5};
      if (!FLzh) FLzh = std::make_unique<TLzhDecoder>();
      FLzh->Init(settings);
      TReaderSource in(*this, ArchiveStream.get(), Size, Decipher);
      TReaderSink out(*this, Handle, kCrc32);
      if (FLzh->Decode(in, out, Unpacked, CancelRef()) == TLzhDecoder::TResult::BadCode)
        ReportError(OutputName, msg::BadHuffmanCode);
      return;
    }
    case kMethodDeflate:
      Inflate(Handle, Size, Unpacked, Decipher);
      return;
    default:
      RaiseError(OutputName, "", "0", msg::UnsupportedMethod);
  }
}

void TUnBh::Inflate(int Handle, Int64 Size, Int64 Unpacked, bool Decipher) {
  TDecompressStream ds(*ArchiveStream, kRawDeflateBits, Size, kCrcNone);
  ds.CryptFlag = Decipher;
  ds.Crypt = Crypt;
  ds.Cancel = CancelRef();
  std::vector<Byte> buf(kInflateBlock);
  Int64 done = 0;
  while (done < Unpacked && !GetCancel()) {
    const Int32 want = static_cast<Int32>(std::min<Int64>(Unpacked - done, kInflateBlock));
    const Int32 n = ds.Read(buf.data(), want);
    if (n <= 0) break;
    DecryptWriteRoutine(Handle, buf.data(), true, n, kCrc32, nullptr, false);
    done += n;
    ProgressBytesLeft -= n;
    if (ProgressBytesLeft < 0) ProgressBytesLeft = 0;
    ProgressRoutine(done);
  }
  ds.Finish();
}

}  // namespace vsk
