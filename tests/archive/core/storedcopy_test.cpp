#include "archive/core/storedcopy.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <unistd.h>

#include <initializer_list>
#include <string>
#include <vector>

#include "archive/core/zipcommon.h"
#include "archive/formats/lha/unbh.h"
#include "archive/formats/zip/unzip.h"
#include "tests/support/testutil.h"

namespace vsk {
namespace {

using vsktest::RandomBytes;
using vsktest::ReadFile;
using vsktest::TempDir;
using vsktest::WriteFile;

// A component of a chosen archive type.
class TTypedComponent : public TZipCommon {
 public:
  explicit TTypedComponent(TArcType Type) { FArcType = Type; }
};

class TFiles {
 public:
  explicit TFiles(const std::string& Input) {
    WriteFile(dir / "in", Input);
    in = ::open((dir / "in").c_str(), O_RDONLY | O_CLOEXEC);
    out = ::open((dir / "out").c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
  }
  ~TFiles() {
    ::close(in);
    ::close(out);
  }
  std::string Output() const { return ReadFile(dir / "out"); }

  TempDir dir;
  int in, out;
};

TEST(StoredCopy, CopiesThroughTheBlockRoutinesWithCrcAndProgress) {
  const std::string data = RandomBytes(100000, 3);
  TFiles f(data + "NEXT");
  TTypedComponent c(atZip);
  c.ProgressEntryTotal = static_cast<Int64>(data.size());
  c.ProgressArchiveTotal = 200000;
  c.ProgressBytesLeft = 200000;
  std::vector<int> byFile;
  c.OnProgress = [&](TZipCommon&, Byte file, Byte) { byFile.push_back(file); };
  c.Crc->Reset();

  // Not flagged as encrypted: copied as it stands even in a zip.
  EXPECT_EQ(CopyStoredData(c, f.in, f.out, {static_cast<Int64>(data.size()), 0}, kCrc32), 0);
  EXPECT_TRUE(f.Output() == data);
  EXPECT_EQ(c.Crc->Crc32Final(), Crc32Of(data.data(), data.size()));
  EXPECT_DOUBLE_EQ(c.ProgressBytesLeft, 100000);
  EXPECT_EQ(byFile, (std::vector<int>{33, 66, 98, 100}));
  char next[4];
  ASSERT_EQ(::read(f.in, next, 4), 4);  // the input stops at the entry's end
  EXPECT_EQ(std::string(next, 4), "NEXT");

  // Nothing to copy writes nothing; CRC-16 is the other kind.
  EXPECT_EQ(CopyStoredData(c, f.in, f.out, {0, 0}, kCrc32), 0);
  EXPECT_EQ(f.Output().size(), data.size());
  TFiles g("abc");
  c.Crc->Reset();
  EXPECT_EQ(CopyStoredData(c, g.in, g.out, {3, 0}, kCrc16), 0);
  EXPECT_EQ(c.Crc->Crc16, 0x9738);
}

TEST(StoredCopy, EncryptedEntriesGoThroughTheComponentsCipher) {
  const std::string plain = RandomBytes(70000, 9);
  std::string cipher = plain;
  TZipCrypt enc;
  enc.InitZipKeys("pass");
  enc.EncryptZipBuffer(cipher.data(), cipher.size());
  // The zip cipher of the ZIP, JAR and BH readers, over more than one chunk.
  TUnZip zip;
  TUnJar jar;
  TUnBh bh;
  for (TZipCommon* c : std::initializer_list<TZipCommon*>{&zip, &jar, &bh}) {
    TFiles f(cipher);
    c->Crypt->InitZipKeys("pass");
    c->Crc->Reset();
    EXPECT_EQ(CopyStoredData(*c, f.in, f.out, {static_cast<Int64>(cipher.size()), 1}, kCrc32), 0);
    EXPECT_TRUE(f.Output() == plain);
    EXPECT_EQ(c->Crc->Crc32Final(), Crc32Of(plain.data(), plain.size()));
  }

  // A component without a cipher copies the flagged bytes as they are,
  // whatever its type and password.
  for (TArcType type : {atZip, atArj, atLha}) {
    TFiles h(cipher);
    TTypedComponent c(type);
    c.Password = "pass";
    c.Crypt->InitZipKeys("pass");
    EXPECT_EQ(CopyStoredData(c, h.in, h.out, {static_cast<Int64>(cipher.size()), 1}, kCrcNone), 0);
    EXPECT_TRUE(h.Output() == cipher);
  }
}

TEST(StoredCopy, CancelAndShortInputReturnWhatIsLeft) {
  const std::string data = RandomBytes(100000, 5);
  TFiles f(data);
  TTypedComponent c(atZip);
  c.OnProgress = [](TZipCommon& s, Byte, Byte) { s.SetCancel(true); };
  EXPECT_EQ(CopyStoredData(c, f.in, f.out, {static_cast<Int64>(data.size()), 0}, kCrc32),
            static_cast<Int64>(data.size()) - kStoredCopyChunk);
  EXPECT_TRUE(f.Output() == data.substr(0, kStoredCopyChunk));

  // The archive ends before the entry does.
  TFiles g(data.substr(0, 50000));
  TTypedComponent d(atZip);
  EXPECT_EQ(CopyStoredData(d, g.in, g.out, {static_cast<Int64>(data.size()), 0}, kCrc32), 50000);
  EXPECT_TRUE(g.Output() == data.substr(0, 50000));
}

TEST(StoredCopy, WorksOnStreamsByTheComponentsModes) {
  const std::string data = RandomBytes(40000, 7);
  TMemoryStream32 in, out;
  in.WriteBuffer(data.data(), static_cast<Int64>(data.size()));
  in.SetPosition(0);
  TTypedComponent c(atZip);
  c.InputMode = kIoGivenStream;
  c.OutputMode = kIoGivenStream;
  EXPECT_EQ(CopyStoredData(c, -1, -1, {static_cast<Int64>(data.size()), 0}, kCrc32, &in, &out), 0);
  EXPECT_TRUE(std::string(reinterpret_cast<char*>(out.Memory()), out.Size()) == data);

  // A failing output raises as the write routine does.
  TTypedComponent t(atZip);
  t.OutputMode = 5;
  in.SetPosition(0);
  t.InputMode = kIoGivenStream;
  EXPECT_THROW(CopyStoredData(t, -1, -1, {100, 0}, kCrc32, &in, nullptr), E_RAISE);
}

}  // namespace
}  // namespace vsk
