#include "tests/support/listing.h"

#include <gtest/gtest.h>

#include <cstdio>

#include "base/dates.h"
#include "tests/support/testutil.h"

namespace vsktest {

const ListedEntry* ListResult::Find(const std::string& name) const {
  for (const auto& e : entries)
    if (e.name == name) return &e;
  return nullptr;
}

std::vector<std::string> ListResult::Names() const {
  std::vector<std::string> names;
  for (const auto& e : entries) names.push_back(e.name);
  return names;
}

std::vector<int> ListResult::ErrorCodes() const {
  std::vector<int> codes;
  for (const auto& e : errors) codes.push_back(e.code);
  return codes;
}

std::vector<std::string> ListResult::VolumeNamesAsked() const {
  std::vector<std::string> names;
  for (const auto& q : volumesAsked) names.push_back(q.name);
  return names;
}

ListResult ListArchive(vsk::TVorsk& v, const std::string& archive, const ListOptions& o) {
  using vsk::TZipCommon;
  ListResult r;
  v.SetArchiveFile(archive);
  r.type = v.ArcType();
  v.FileSpec = o.spec;
  v.ShowEmptyDirs = o.showDirs;
  v.TranslateOemChar = o.translateOem;
  v.Password = o.password;
  v.OnRead = [&r](TZipCommon& s, vsk::Int64 offset, int filenum) {
    const auto& l = static_cast<vsk::TVorsk&>(s);
    r.entries.push_back({l.FileName, l.FileDate, l.PackedSize, l.UnpackedSize, l.Ratio, l.CRC, l.Encrypted,
                         l.MethodNumber, l.MethodText, l.ExternalAttr, l.InternalAttr, l.VersionMadeBy, l.VersionNeeded,
                         l.VolumeName, l.FileComment, l.HostSystem, offset, filenum});
  };
  v.OnReadFile = [&r](TZipCommon&, const std::string& name) { r.readFile.push_back(name); };
  v.OnError = [&r](TZipCommon&, const std::string& file, const std::string& text, const std::string& volumeId,
                   int code) {
    r.errors.push_back({code, file, text, volumeId});
  };
  v.OnTotals = [&r](TZipCommon&, double unpacked, double packed, int ratio, int files) {
    r.unpackTotal = unpacked;
    r.packTotal = packed;
    r.ratio = ratio;
    r.numFiles = files;
  };
  v.OnDeactivate = [&r](TZipCommon&) { r.deactivated = true; };
  if (o.volumes == VolumePolicy::Unassigned) {
    v.OnNextVolume = nullptr;
  } else {
    const bool decline = o.volumes == VolumePolicy::Decline;
    v.OnNextVolume = [&r, decline](TZipCommon&, std::string& volume, const std::string& id, bool exists, bool& cancel) {
      r.volumesAsked.push_back({volume, id, exists});
      cancel = decline || !exists;
    };
  }
  if (!o.password.empty()) {
    v.OnGetPassword = [&r, &o](TZipCommon&, const std::string& file, std::string& password, bool& tryAgain) {
      r.passwordsAsked.push_back(file);
      password = o.password;
      tryAgain = false;
    };
  }
  r.ok = v.Activate();
  r.lastComment = v.FileComment;
  // The handlers refer to this call's result: none may outlive it.
  v.OnRead = nullptr;
  v.OnReadFile = nullptr;
  v.OnError = nullptr;
  v.OnTotals = nullptr;
  v.OnDeactivate = nullptr;
  v.OnNextVolume = nullptr;
  if (!o.password.empty()) v.OnGetPassword = nullptr;
  return r;
}

ListResult ListArchive(const std::string& archive, const ListOptions& options) {
  vsk::TVorsk v;
  return ListArchive(v, archive, options);
}

ListResult ListArchiveBytes(const std::string& path, const std::string& bytes, const ListOptions& options) {
  WriteFile(path, bytes);
  return ListArchive(path, options);
}

std::string DateText(vsk::TDateTime d) {
  int y, m, day, h, mi, s, ms;
  vsk::DecodeDate(d, y, m, day);
  vsk::DecodeTime(d, h, mi, s, ms);
  char buf[32];
  std::snprintf(buf, sizeof buf, "%04d-%02d-%02d %02d:%02d:%02d", y, m, day, h, mi, s);
  return buf;
}

std::string Scattered(const std::string& bytes, std::uint32_t seed) {
  std::string s = bytes;
  const std::string noise = RandomBytes(8, seed);
  for (int k = 0; k < 4; ++k) s[static_cast<unsigned char>(noise[2 * k]) * 7919u % s.size()] = noise[2 * k + 1];
  return s;
}

void ListDamagedCopies(const std::string& path, const std::string& bytes, std::uint32_t firstSeed, std::size_t count) {
  for (std::size_t i = 0; i < count; ++i) {
    const auto r = ListArchiveBytes(path, Scattered(bytes, static_cast<std::uint32_t>(i + firstSeed)));
    EXPECT_TRUE(r.deactivated) << "variant " << i;
  }
}

namespace {

void ListEveryCut(const std::string& path, const std::string& bytes, const std::vector<std::string>* names,
                  std::size_t count, std::size_t from) {
  for (std::size_t n = from; n < bytes.size(); ++n) {
    const auto r = ListArchiveBytes(path, bytes.substr(0, n));
    ASSERT_TRUE(r.deactivated) << "cut at " << n;
    ASSERT_LE(r.entries.size(), count) << "cut at " << n;
    if (!names) continue;
    for (std::size_t i = 0; i < r.entries.size(); ++i) EXPECT_EQ(r.entries[i].name, (*names)[i]) << "cut at " << n;
  }
}

}  // namespace

void ExpectCutsListALeadingPart(const std::string& path, const std::string& bytes,
                                const std::vector<std::string>& names, std::size_t from) {
  ListEveryCut(path, bytes, &names, names.size(), from);
}

void ExpectCutsListAtMost(const std::string& path, const std::string& bytes, std::size_t count) {
  ListEveryCut(path, bytes, nullptr, count, 0);
}

}  // namespace vsktest
