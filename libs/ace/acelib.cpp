// The exported entry points of "unacev2.so". The initialisation record is
// kept for the calls after it; one call runs at a time.

#include <atomic>

#include "libs/ace/acelib.h"
#include "libs/ace/acerun.h"

#define ACE_EXPORT extern "C" __attribute__((visibility("default")))

namespace {

constexpr std::uint32_t kDefaultTestBytes = 0x1FFFF;

bool Initialised = false;
AceGlobalData Global{};
std::atomic<bool> Running{false};

// Holds the library for one call; a second call while one runs (from
// another thread, or from inside a callback) is refused.
class TCallGuard {
 public:
  TCallGuard() : Owner_(!Running.exchange(true)) {}
  ~TCallGuard() {
    if (Owner_) Running.store(false);
  }
  bool Owner() const { return Owner_; }

 private:
  bool Owner_;
};

bool Empty(const char* Text) { return Text == nullptr || *Text == '\0'; }

bool AllFiles(const AceFiles& Files) {
  return Empty(Files.SourceDir) && Empty(Files.FileList) && Empty(Files.ExcludeList);
}

int RunCall(const char* ArchiveName, const AceFiles* Files, const vsk::TAceRunOptions& Options) {
  TCallGuard guard;
  if (!guard.Owner()) return ACE_ERROR_BUSY;
  if (!Initialised) return ACE_ERROR_NOT_INITIALISED;
  if (Files == nullptr || !AllFiles(*Files)) return ACE_ERROR_PARAMETER;
  AceGlobalData global = Global;
  if (global.Comment.Buffer != nullptr && global.Comment.BufferSize > 0) global.Comment.Buffer[0] = '\0';
  const int result = vsk::AceRun(global, ArchiveName, Options);
  Global.Comment.State = global.Comment.State;
  return result;
}

}  // namespace

ACE_EXPORT int ACEInitDll(AceGlobalData* Init) {
  TCallGuard guard;
  if (!guard.Owner()) return ACE_ERROR_BUSY;
  if (Init == nullptr || Init->InfoCallback == nullptr || Init->ErrorCallback == nullptr ||
      Init->RequestCallback == nullptr || Init->StateCallback == nullptr)
    return ACE_ERROR_PARAMETER;
  Global = *Init;
  if (Global.MaxArchiveTestBytes == 0) Global.MaxArchiveTestBytes = kDefaultTestBytes;
  Initialised = true;
  return ACE_OK;
}

ACE_EXPORT int ACEReadArchiveData(const char* ArchiveName, AceArchiveData* Data) {
  TCallGuard guard;
  if (!guard.Owner()) return ACE_ERROR_BUSY;
  if (Data == nullptr) return ACE_ERROR_PARAMETER;
  return vsk::AceReadArchiveData(ArchiveName, Initialised ? Global.MaxArchiveTestBytes : kDefaultTestBytes, *Data);
}

ACE_EXPORT int ACEList(const char* ArchiveName, AceListRecord* List) {
  vsk::TAceRunOptions o;
  o.Operation = ACE_OPERATION_LIST;
  return RunCall(ArchiveName, List ? &List->Files : nullptr, o);
}

ACE_EXPORT int ACETest(const char* ArchiveName, AceTestRecord* Test) {
  vsk::TAceRunOptions o;
  o.Operation = ACE_OPERATION_TEST;
  if (Test && Test->DecryptPassword) o.Password = Test->DecryptPassword;
  return RunCall(ArchiveName, Test ? &Test->Files : nullptr, o);
}

ACE_EXPORT int ACEExtract(const char* ArchiveName, AceExtractRecord* Extract) {
  vsk::TAceRunOptions o;
  o.Operation = ACE_OPERATION_EXTRACT;
  if (Extract == nullptr || Empty(Extract->DestinationDir)) return ACE_ERROR_PARAMETER;
  o.Destination = Extract->DestinationDir;
  o.ExcludePath = Extract->ExcludePath != 0;
  if (Extract->DecryptPassword) o.Password = Extract->DecryptPassword;
  return RunCall(ArchiveName, &Extract->Files, o);
}
