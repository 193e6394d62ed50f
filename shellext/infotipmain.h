#pragma once
// Hovelin, the InfoTip server: the tooltip object a file manager creates for
// an archive, its class factory, and the library's four exported entry
// points (class object, unload check, registration and its removal).

#include <atomic>
#include <memory>
#include <string>

#include "archive/formats/lister/vorsk.h"
#include "platform/com.h"

namespace hovelin {

using namespace vsk::com;

// {F5F9DD7E-4BCB-4E7E-8EA3-4E2219E0B9ED}
extern const CLSID CLSID_KestrunInfoTip;
// {DF09F5D2-30A7-458D-A9AE-E30AB249AE8F}, version 1.0, locale 0x409
extern const GUID LIBID_Hovelin;
// {0E56FE40-96DF-4BC9-9CC6-849AEE464FA1}
extern const IID IID_IKestrunInfoTip;
inline constexpr const char* kProgId = "Hovelin.KestrunInfoTip";
inline constexpr const char* kClassDescription = "KestrunInfoTip Object";
inline constexpr const char* kLibraryDescription = "Hovelin Library";
inline constexpr const char* kInterfaceDescription = "Dispatch interface for KestrunInfoTip Object";

// The tooltip object. Each one has its own file name and lister, so objects
// on different threads share nothing.
class TKestrunInfoTip final : public IPersistFile, public IQueryInfo, public IDispatch {
 public:
  TKestrunInfoTip();
  ~TKestrunInfoTip();
  TKestrunInfoTip(const TKestrunInfoTip&) = delete;
  TKestrunInfoTip& operator=(const TKestrunInfoTip&) = delete;

  // IUnknown (one identity for all three interfaces)
  HRESULT QueryInterface(const IID& Riid, void** Object) override;
  ULONG AddRef() override;
  ULONG Release() override;
  // IPersist / IPersistFile
  HRESULT GetClassID(CLSID* ClassId) override;
  HRESULT IsDirty() override;
  HRESULT Load(LPCWSTR FileName, DWORD Mode) override;
  HRESULT Save(LPCWSTR FileName, bool Remember) override;
  HRESULT SaveCompleted(LPCWSTR FileName) override;
  HRESULT GetCurFile(LPWSTR* FileName) override;
  // IQueryInfo
  HRESULT GetInfoTip(DWORD Flags, LPWSTR* Tip) override;
  HRESULT GetInfoFlags(DWORD* Flags) override;
  // IDispatch: the interface has no methods of its own to call.
  HRESULT GetTypeInfoCount(std::uint32_t* Count) override;
  HRESULT GetTypeInfo(std::uint32_t Index, DWORD Locale, void** TypeInfo) override;
  HRESULT GetIDsOfNames(const IID& Riid, LPCWSTR* Names, std::uint32_t Count, DWORD Locale,
                        std::int32_t* DispIds) override;
  HRESULT Invoke(std::int32_t DispId, const IID& Riid, DWORD Locale, std::uint16_t Flags, void* Params, void* Result,
                 void* ExceptionInfo, std::uint32_t* ArgError) override;

  const std::string& FileName() const { return FFileName; }

 private:
  std::atomic<ULONG> FRefs{1};
  IMalloc* FMalloc = nullptr;
  std::string FFileName;
  std::unique_ptr<vsk::TVorsk> FLister;
};

// Objects alive and factory locks, for the unload check.
long ObjectCount();

}  // namespace hovelin

// The library's exports, as a host looks them up by name.
extern "C" {
__attribute__((visibility("default"))) vsk::com::HRESULT DllGetClassObject(const vsk::com::CLSID* Rclsid,
                                                                          const vsk::com::IID* Riid, void** Object);
__attribute__((visibility("default"))) vsk::com::HRESULT DllCanUnloadNow();
__attribute__((visibility("default"))) vsk::com::HRESULT DllRegisterServer();
__attribute__((visibility("default"))) vsk::com::HRESULT DllUnregisterServer();
}
