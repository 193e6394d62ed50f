#pragma once
// Creating cabinets through the FCI side of the cabinet library: stored,
// MSZIP or LZX folders, one cabinet (never a set). The writer base's run
// gathers the files; each is handed to the library, which writes the
// cabinet into the scratch file beside the target when the run ends, so
// the target is replaced only by a complete cabinet. Adding to an existing
// cabinet rebuilds it: its entries are unpacked to a private folder and
// added again, in their order, with the new files.

#include <memory>
#include <string>
#include <vector>

#include "archive/core/compbase.h"
#include "archive/formats/cab/cabinetlib.h"

namespace vsk {

enum TCompressionType : Byte { ctStore, ctMsZip, ctLzx };

class TMakeCab : public TCompBase {
 public:
  TMakeCab();
  ~TMakeCab() override;

  bool FailOnIncompressible = true;
  int LzxLevel() const { return FLzxLevel; }
  void SetLzxLevel(int Value) { FLzxLevel = Value < 15 ? 15 : Value > 21 ? 21 : Value; }
  TCompressionType QuantumType = ctMsZip;
  int QuantumLevel() const { return FQuantumLevel; }
  void SetQuantumLevel(int Value) { FQuantumLevel = Value < 1 ? 1 : Value > 7 ? 7 : Value; }
  int QuantumMemory() const { return FQuantumMemory; }
  void SetQuantumMemory(int Value) { FQuantumMemory = Value < 10 ? 10 : Value > 21 ? 21 : Value; }

  // Always atCab.
  void SetArcType(TArcType Value) override;
  // The compression word of CompressMethod. cmQuantum makes a word of
  // QuantumType, QuantumLevel and QuantumMemory: its type selects stored,
  // MSZIP or LZX (the memory being the LZX window, kept within its 15..21);
  // Quantum is never written.
  TCOMP CompressionWord() const;

  TCabinetFileHandler& FileHandler() { return *FHandler; }

 protected:
  void CompressArchive() override;
  TFormatTraits Traits() const override;
  bool LoadOldDirectory() override;
  bool CopyOldEntry(TCompEntry& E) override;
  bool WriteEntryData(TCompEntry& E) override;
  bool FinishArchive() override;
  void DescribeEntry(const TCompEntry& E) override;

 private:
  friend struct TMakeCabCallbacks;
  struct TOldEntries;
  std::string EncodeEntryName(const TCompEntry& E) const;
  bool EnsureContext();
  void DestroyContext();
  // Adds Source under the stored name of E; false with the failure
  // reported. Fatal: the context cannot go on.
  bool AddFile(TCompEntry& E, const std::string& Source, bool& Fatal);
  void ReportFailure(const std::string& FileName);
  intptr_t DoGetOpenInfo(const std::string& FileName, UInt16& Date, UInt16& Time, UInt16& Attribs, int& Err);
  bool DoGetTempFile(char* Name, int Size);

  int FLzxLevel = 21;
  int FQuantumLevel = 7;
  int FQuantumMemory = 21;
  std::unique_ptr<TCabinetFileHandler> FHandler;
  HFCI FContext = nullptr;
  ERF FErf{};
  CCAB FCab{};
  bool FDiskFullReported = false;
  // The entry being added; a kept old one (FKeepTimes) keeps its date,
  // time and attributes.
  TCompEntry* FInHand = nullptr;
  bool FKeepTimes = false;
  // The source being read: its state when opened and, at its end, what
  // was read of it.
  intptr_t FSourceHandle = -1;
  struct stat FSourceOpen {};
  UInt64 FSourceTaken = 0;
  TSourceId FSourceRead;
  std::unique_ptr<TOldEntries> FOldEntries;
};

}  // namespace vsk
