// Arbitrary bytes through the ACE library's entry points: once testing,
// once extracting into a scratch folder that must end up holding
// everything written. Every name offered for extraction must stay below
// the destination; volume requests are declined, passwords and existing
// files are answered yes. The bytes also go straight into the LZ77 decoder.
// Seeds: archives of the test encoder, written into the first corpus
// folder named on the command line when it is empty.

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>

#include "fuzz/fuzzfile.h"
#include "libs/ace/acelib.h"
#include "libs/ace/acelz77.h"
#include "tests/libs/ace/aceencoder.h"

extern "C" {
int ACEInitDll(AceGlobalData* Init);
int ACEList(const char* ArchiveName, AceListRecord* List);
int ACETest(const char* ArchiveName, AceTestRecord* Test);
int ACEExtract(const char* ArchiveName, AceExtractRecord* Extract);
}

namespace {

int Answer(AceCallbackRecord* R) {
  if (R->Head.StructureType == ACE_TYPE_ARCHIVEDFILE && R->Head.Code == ACE_STATE_START_FILE &&
      R->Head.Operation == ACE_OPERATION_EXTRACT) {
    const std::string name = R->ArchivedFile.FileData->Name;
    if (name.empty() || name[0] == '/' || name == ".." || name.rfind("../", 0) == 0 ||
        name.find("/../") != std::string::npos || (name.size() >= 3 && name.compare(name.size() - 3, 3, "/..") == 0))
      std::abort();
  }
  if (R->Head.Code == ACE_REQUEST_CHANGE_VOLUME) return ACE_CALLBACK_SKIP;
  if (R->Head.Code == ACE_REQUEST_PASSWORD) R->Password.Password = "pw";
  return ACE_CALLBACK_OK;
}

void WriteSeeds(const std::filesystem::path& Dir) {
  using vsktest::AceEntry;
  const std::string text = "ACE seed text, ACE seed text, with some repeats. ";
  std::string longText;
  for (int i = 0; i < 60; ++i) longText += text + std::to_string(i * 7919 % 1000) + "\n";
  const std::vector<AceEntry> entries = {{.name = "dir", .folder = true},
                                         {.name = "dir/a.txt", .data = longText},
                                         {.name = "b.txt", .data = text, .lz77 = false},
                                         {.name = "empty", .data = ""},
                                         {.name = "c.txt", .data = longText.substr(200)},
                                         {.name = "locked", .data = "xyz", .flags = 0x4000}};
  int n = 0;
  for (const vsktest::AceOptions& o : {vsktest::AceOptions{}, vsktest::AceOptions{.solid = true, .dictionaryBits = 10},
                                       vsktest::AceOptions{.blockSymbols = 50},
                                       vsktest::AceOptions{.volumeSize = 400}}) {
    const auto volumes = vsktest::EncodeAce(entries, o);
    for (const auto& v : volumes) std::ofstream(Dir / ("seed" + std::to_string(n++) + ".ace"), std::ios::binary) << v;
  }
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int* argc, char*** argv) {
  for (int i = 1; i < *argc; ++i) {
    const std::string arg = (*argv)[i];
    if (arg.empty() || arg[0] == '-') continue;
    std::error_code ec;
    if (std::filesystem::is_directory(arg, ec) && std::filesystem::is_empty(arg, ec)) WriteSeeds(arg);
    break;
  }
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::string name = FuzzFileName(".ace");
  WriteFuzzFile(name, data, size);
  AceGlobalData g{};
  g.MaxArchiveTestBytes = 0x1FFFF;
  g.InfoCallback = g.ErrorCallback = g.RequestCallback = g.StateCallback = Answer;
  ACEInitDll(&g);
  AceListRecord l{};
  ACEList(name.c_str(), &l);
  AceTestRecord t{};
  ACETest(name.c_str(), &t);
  AceExtractRecord x{};
  x.DestinationDir = FuzzScratchFolder().c_str();
  ACEExtract(name.c_str(), &x);
  std::error_code ec;
  for (auto& e : std::filesystem::directory_iterator(FuzzScratchFolder(), ec)) std::filesystem::remove_all(e.path(), ec);

  // The decoder alone, with the first byte choosing dictionary and solidity.
  if (size > 0) {
    vsk::TAceLz77Decoder decoder;
    size_t pos = 1;
    auto source = [&](vsk::Byte* Buffer, size_t Count) {
      const size_t n = std::min(Count, size - pos);
      std::memcpy(Buffer, data + pos, n);
      pos += n;
      return n;
    };
    auto sink = [](const vsk::Byte*, size_t) { return true; };
    const int bits = vsk::kAceMinDictionaryBits + data[0] % 13;
    decoder.Decode(1 << 20, bits, data[0] & 0x80, source, sink);
    pos = 1;
    decoder.Decode(5000, bits, true, source, sink);
  }
  return 0;
}
