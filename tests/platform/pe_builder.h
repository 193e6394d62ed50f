#pragma once
// Builds small PE32 images with a string table, for the tests of the PE
// reader and of self-extractor detection.

#include <cstdint>
#include <map>
#include <string>
#include <vector>

namespace vsktest {

struct PeLayout {
  std::size_t resourceDirOffset = 0;  // file offset of the resource root
  std::size_t sectionTableOffset = 0;
  std::size_t optionalHeaderOffset = 0;
};

inline void PutU16(std::string& s, std::size_t at, std::uint32_t v) {
  s[at] = static_cast<char>(v & 0xFF);
  s[at + 1] = static_cast<char>((v >> 8) & 0xFF);
}
inline void PutU32(std::string& s, std::size_t at, std::uint32_t v) {
  for (int i = 0; i < 4; ++i) s[at + i] = static_cast<char>((v >> (8 * i)) & 0xFF);
}

// Strings by id (ASCII, stored as UTF-16). The image is padded with zeros to
// at least padTo bytes. Language is the language id of every string block.
inline std::string BuildPe(const std::map<std::uint32_t, std::string>& strings, std::size_t padTo = 0,
                           std::uint32_t language = 0x409, PeLayout* layout = nullptr) {
  constexpr std::uint32_t kFileAlign = 0x200;
  constexpr std::uint32_t kSectionRva = 0x1000;

  // Group strings into blocks of 16.
  std::map<std::uint32_t, std::vector<std::string>> blocks;
  for (const auto& [id, text] : strings) {
    auto& b = blocks[id / 16 + 1];
    b.resize(16);
    b[id % 16] = text;
  }

  // Resource section: root, type directory, one language directory per
  // block, data entries, then string data.
  const std::size_t nblocks = blocks.size();
  const std::uint32_t rootOff = 0;
  const std::uint32_t typeDirOff = 16 + 8;
  const std::uint32_t langDirsOff = static_cast<std::uint32_t>(typeDirOff + 16 + 8 * nblocks);
  const std::uint32_t dataEntriesOff = static_cast<std::uint32_t>(langDirsOff + nblocks * (16 + 8));
  std::uint32_t stringsOff = static_cast<std::uint32_t>(dataEntriesOff + nblocks * 16);
  std::string rsrc(stringsOff, '\0');

  PutU16(rsrc, rootOff + 14, 1);
  PutU32(rsrc, rootOff + 16, 6);
  PutU32(rsrc, rootOff + 20, 0x80000000u | typeDirOff);
  PutU16(rsrc, typeDirOff + 14, static_cast<std::uint32_t>(nblocks));
  std::size_t i = 0;
  for (const auto& [blockId, texts] : blocks) {
    const std::uint32_t langDir = static_cast<std::uint32_t>(langDirsOff + i * 24);
    const std::uint32_t dataEntry = static_cast<std::uint32_t>(dataEntriesOff + i * 16);
    PutU32(rsrc, typeDirOff + 16 + 8 * i, blockId);
    PutU32(rsrc, typeDirOff + 20 + 8 * i, 0x80000000u | langDir);
    PutU16(rsrc, langDir + 14, 1);
    PutU32(rsrc, langDir + 16, language);
    PutU32(rsrc, langDir + 20, dataEntry);
    std::string data;
    for (const std::string& t : texts) {
      data += static_cast<char>(t.size() & 0xFF);
      data += static_cast<char>((t.size() >> 8) & 0xFF);
      for (char c : t) {
        data += c;
        data += '\0';
      }
    }
    PutU32(rsrc, dataEntry, kSectionRva + static_cast<std::uint32_t>(rsrc.size()));
    PutU32(rsrc, dataEntry + 4, static_cast<std::uint32_t>(data.size()));
    rsrc += data;
    ++i;
  }
  const std::uint32_t rawSize = static_cast<std::uint32_t>((rsrc.size() + kFileAlign - 1) / kFileAlign * kFileAlign);
  const std::uint32_t resourceSize = static_cast<std::uint32_t>(rsrc.size());
  rsrc.resize(rawSize, '\0');

  std::string pe(kFileAlign, '\0');
  pe[0] = 'M';
  pe[1] = 'Z';
  PutU32(pe, 0x3C, 0x40);
  pe.replace(0x40, 4, std::string("PE\0\0", 4));
  const std::size_t coff = 0x44;
  PutU16(pe, coff, 0x14C);
  PutU16(pe, coff + 2, 1);
  PutU16(pe, coff + 16, 224);
  PutU16(pe, coff + 18, 0x0102);
  const std::size_t opt = coff + 20;
  PutU16(pe, opt, 0x10B);
  PutU32(pe, opt + 32, 0x1000);      // section alignment
  PutU32(pe, opt + 36, kFileAlign);  // file alignment
  PutU32(pe, opt + 56, kSectionRva + rawSize);
  PutU32(pe, opt + 60, kFileAlign);  // size of headers
  PutU32(pe, opt + 92, 16);
  PutU32(pe, opt + 96 + 16, kSectionRva);
  PutU32(pe, opt + 96 + 20, resourceSize);
  const std::size_t sec = opt + 224;
  pe.replace(sec, 5, ".rsrc");
  PutU32(pe, sec + 8, resourceSize);
  PutU32(pe, sec + 12, kSectionRva);
  PutU32(pe, sec + 16, rawSize);
  PutU32(pe, sec + 20, kFileAlign);
  pe += rsrc;
  if (pe.size() < padTo) pe.resize(padTo, '\0');
  if (layout) {
    layout->resourceDirOffset = kFileAlign;
    layout->sectionTableOffset = sec;
    layout->optionalHeaderOffset = opt;
  }
  return pe;
}

}  // namespace vsktest
