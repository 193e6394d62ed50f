#pragma once
// A volume service for tests: every path lies on one scripted medium.

#include <functional>
#include <string>

#include "platform/volume.h"

namespace vsktest {

class FakeVolumeService : public vsk::IVolumeService {
 public:
  FakeVolumeService() { vsk::SetVolumeService(this); }
  ~FakeVolumeService() override { vsk::SetVolumeService(nullptr); }

  // Scripted state; the hooks run before each answer so a test can change
  // the "disk" between questions.
  bool Ready = true;
  bool WriteProtected = false;
  vsk::TVolumeInfo Info{"", 0x1234ABCD, "vfat"};
  vsk::TDriveType Type = vsk::DRIVE_REMOVABLE;
  vsk::Int64 Free = 1440 * 1024, Total = 1440 * 1024;
  std::string Root = "/";
  int ReadyQueries = 0, ProtectQueries = 0;

  std::string VolumeRoot(const std::string&) override { return Root; }
  bool IsReady(const std::string&) override {
    ++ReadyQueries;
    return Ready;
  }
  bool IsWriteProtected(const std::string&) override {
    ++ProtectQueries;
    return WriteProtected;
  }
  bool GetVolumeInfo(const std::string&, vsk::TVolumeInfo& I) override {
    if (!Ready) return false;
    I = Info;
    return true;
  }
  vsk::TDriveType DriveType(const std::string&) override { return Type; }
  bool GetSpace(const std::string&, vsk::Int64& F, vsk::Int64& T) override {
    F = Free;
    T = Total;
    return Ready;
  }
  bool SetLabel(const std::string&, const std::string& Label) override {
    if (WriteProtected || !Ready) return false;
    Info.Label = Label;
    return true;
  }
};

}  // namespace vsktest
