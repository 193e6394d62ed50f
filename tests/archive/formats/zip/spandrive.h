#pragma once
// A drive of removable disks for the spanned-zip tests, on the fake volume
// service.

#include <filesystem>
#include <map>
#include <string>
#include <vector>

#include "archive/formats/zip/zipwriter.h"
#include "tests/support/fakevolume.h"
#include "tests/support/testutil.h"

namespace vsktest {

using vsk::Int64;
using vsk::TZip;
using vsk::TZipCommon;

// A drive whose disks are swapped on request: each disk keeps the files of
// the folder and its label and serial while it is out; a disk asked for
// again comes back as it was. parts and labels are what the disks hold at
// the archive's name, in disk order, once TakeLast was called.
struct Drive {
  struct Disk {
    std::map<std::string, std::string> files;
    std::string label;
    vsk::UInt32 serial = 0;
  };
  FakeVolumeService vs;
  fs::path target;
  Int64 freePerDisk = 100000;
  std::map<int, Disk> disks;
  int current = 1;
  std::vector<std::string> parts, labels, asked;
  bool keepSameDisk = false;  // the next prompt leaves the disk in
  int blanks = 0;

  Drive(const fs::path& t, Int64 perDisk) : target(t), freePerDisk(perDisk) {
    vs.Free = vs.Total = perDisk;
    vs.Info.Label.clear();
  }
  void Keep() {
    Disk& d = disks[current];
    d.files.clear();
    for (const auto& f : fs::directory_iterator(target.parent_path()))
      if (f.is_regular_file()) d.files[f.path().filename().string()] = ReadFile(f.path());
    d.label = vs.Info.Label;
    d.serial = vs.Info.Serial;
  }
  // Takes the disk in the drive out and puts disk n in: a blank one when it
  // was never in, or when the disk out was n itself (it is set aside).
  void Swap(int n) {
    Keep();
    for (const auto& [name, bytes] : disks[current].files) fs::remove(target.parent_path() / name);
    if (n == current) {
      disks[-static_cast<int>(disks.size()) - 1] = disks[n];
      disks.erase(n);
    }
    current = n;
    const auto it = disks.find(n);
    if (it != disks.end() && it->second.serial != 0) {
      for (const auto& [name, bytes] : it->second.files) WriteFile(target.parent_path() / name, bytes);
      vs.Info.Label = it->second.label;
      vs.Info.Serial = it->second.serial;
    } else {
      vs.Info.Label.clear();
      vs.Info.Serial = 0x1000 + static_cast<vsk::UInt32>(++blanks);
    }
    vs.Free = vs.Total = freePerDisk;
  }
  void Attach(TZip& z) {
    z.OnInsertDisk = [this](TZipCommon&, const std::string& volume, bool& cancel) {
      asked.push_back(volume);
      if (keepSameDisk)
        keepSameDisk = false;
      else
        Swap(std::stoi(volume));
      cancel = false;
    };
  }
  // Every disk's part at the archive's name, in disk order.
  void TakeLast() {
    Keep();
    parts.clear();
    labels.clear();
    for (const auto& [n, d] : disks) {
      if (n < 1) continue;
      const auto it = d.files.find(target.filename().string());
      if (it == d.files.end()) continue;
      parts.push_back(it->second);
      labels.push_back(d.label);
    }
  }
  // Offers disk n (1-based) as the reader asks for it.
  void Insert(int n) {
    WriteFile(target, parts[static_cast<std::size_t>(n - 1)]);
    vs.Info.Label = labels[static_cast<std::size_t>(n - 1)];
  }
};

}  // namespace vsktest
