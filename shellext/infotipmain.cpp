#include "shellext/infotipmain.h"

#include <dlfcn.h>

#include <cstring>
#include <filesystem>

#include "platform/registry.h"
#include "shellext/infotiptext.h"

namespace hovelin {

const CLSID CLSID_KestrunInfoTip = *ParseGuid("{F5F9DD7E-4BCB-4E7E-8EA3-4E2219E0B9ED}");
const GUID LIBID_Hovelin = *ParseGuid("{DF09F5D2-30A7-458D-A9AE-E30AB249AE8F}");
const IID IID_IKestrunInfoTip = *ParseGuid("{0E56FE40-96DF-4BC9-9CC6-849AEE464FA1}");

namespace {

std::atomic<long> g_objects{0};
std::atomic<long> g_locks{0};

// Every creation request makes a new object.
class TClassFactory final : public IClassFactory {
 public:
  HRESULT QueryInterface(const IID& Riid, void** Object) override {
    if (!Object) return E_POINTER;
    if (Riid == IID_IUnknown || Riid == IID_IClassFactory) {
      *Object = static_cast<IClassFactory*>(this);
      AddRef();
      return S_OK;
    }
    *Object = nullptr;
    return E_NOINTERFACE;
  }
  // The factory lives as long as the library.
  ULONG AddRef() override { return 2; }
  ULONG Release() override { return 1; }

  HRESULT CreateInstance(IUnknown* Outer, const IID& Riid, void** Object) override {
    if (!Object) return E_POINTER;
    *Object = nullptr;
    if (Outer) return CLASS_E_NOAGGREGATION;
    TKestrunInfoTip* tip = nullptr;
    try {
      tip = new TKestrunInfoTip;
    } catch (...) {
      return E_OUTOFMEMORY;
    }
    const HRESULT hr = tip->QueryInterface(Riid, Object);
    tip->Release();  // the creation reference; the caller holds its own now
    return hr;
  }
  HRESULT LockServer(bool Lock) override {
    if (Lock)
      ++g_locks;
    else if (g_locks > 0)
      --g_locks;
    return S_OK;
  }
};

TClassFactory& Factory() {
  static TClassFactory factory;
  return factory;
}

// The full name of this library, found through a function of its own that
// no other module can stand in for.
std::string LibraryPath() {
  Dl_info info{};
  if (dladdr(reinterpret_cast<void*>(&Factory), &info) == 0 || !info.dli_fname) return {};
  std::error_code ec;
  const auto path = std::filesystem::absolute(info.dli_fname, ec);
  return ec ? std::string(info.dli_fname) : path.lexically_normal().string();
}

std::string ClassKey() { return "\\CLSID\\" + GuidToString(CLSID_KestrunInfoTip); }
std::string TypeLibKey() { return "\\TypeLib\\" + GuidToString(LIBID_Hovelin); }
std::string InterfaceKey() { return "\\Interface\\" + GuidToString(IID_IKestrunInfoTip); }

void WriteDefault(vsk::TRegistry& Reg, const std::string& Key, const std::string& Value) {
  if (!Reg.OpenKey(Key, true)) throw vsk::ERegistryException("Failed to create key " + Key);
  Reg.WriteString("", Value);
  Reg.CloseKey();
}

}  // namespace

long ObjectCount() { return g_objects.load() + g_locks.load(); }

TKestrunInfoTip::TKestrunInfoTip() {
  ++g_objects;
  if (SHGetMalloc(&FMalloc) != S_OK) FMalloc = nullptr;
  FLister = std::make_unique<vsk::TVorsk>();
}

TKestrunInfoTip::~TKestrunInfoTip() {
  if (FMalloc) FMalloc->Release();
  --g_objects;
}

HRESULT TKestrunInfoTip::QueryInterface(const IID& Riid, void** Object) {
  if (!Object) return E_POINTER;
  if (Riid == IID_IUnknown || Riid == IID_IPersist || Riid == IID_IPersistFile) {
    *Object = static_cast<IPersistFile*>(this);
  } else if (Riid == IID_IQueryInfo) {
    *Object = static_cast<IQueryInfo*>(this);
  } else if (Riid == IID_IDispatch || Riid == IID_IKestrunInfoTip) {
    *Object = static_cast<IDispatch*>(this);
  } else {
    *Object = nullptr;
    return E_NOINTERFACE;
  }
  AddRef();
  return S_OK;
}

ULONG TKestrunInfoTip::AddRef() { return ++FRefs; }

ULONG TKestrunInfoTip::Release() {
  const ULONG left = --FRefs;
  if (left == 0) delete this;
  return left;
}

HRESULT TKestrunInfoTip::GetClassID(CLSID*) { return E_NOTIMPL; }
HRESULT TKestrunInfoTip::IsDirty() { return E_NOTIMPL; }
HRESULT TKestrunInfoTip::Save(LPCWSTR, bool) { return E_NOTIMPL; }
HRESULT TKestrunInfoTip::SaveCompleted(LPCWSTR) { return E_NOTIMPL; }
HRESULT TKestrunInfoTip::GetCurFile(LPWSTR*) { return E_NOTIMPL; }

HRESULT TKestrunInfoTip::Load(LPCWSTR FileName, DWORD) {
  try {
    FFileName = FileName ? WideToUtf8(std::u16string_view(FileName)) : std::string();
  } catch (...) {
    FFileName.clear();
  }
  return S_OK;
}

HRESULT TKestrunInfoTip::GetInfoTip(DWORD, LPWSTR* Tip) {
  if (!Tip) return S_OK;
  *Tip = nullptr;
  try {
    const std::string text = BuildTipText(FFileName, *FLister);
    if (!FMalloc) return S_OK;
    const std::u16string wide = Utf8ToWide(text);
    // Two bytes per character of the text and a terminating NUL; UTF-16
    // never needs more units than the UTF-8 text has bytes.
    auto* block = static_cast<char16_t*>(FMalloc->Alloc(2 * text.size() + 2));
    if (!block) return S_OK;
    std::memcpy(block, wide.data(), wide.size() * sizeof(char16_t));
    block[wide.size()] = u'\0';
    *Tip = block;
  } catch (...) {
    *Tip = nullptr;
  }
  return S_OK;
}

HRESULT TKestrunInfoTip::GetInfoFlags(DWORD* Flags) {
  if (Flags) *Flags = 0;
  return E_NOTIMPL;
}

HRESULT TKestrunInfoTip::GetTypeInfoCount(std::uint32_t* Count) {
  if (!Count) return E_POINTER;
  *Count = 0;
  return S_OK;
}

HRESULT TKestrunInfoTip::GetTypeInfo(std::uint32_t, DWORD, void** TypeInfo) {
  if (TypeInfo) *TypeInfo = nullptr;
  return E_NOTIMPL;
}

HRESULT TKestrunInfoTip::GetIDsOfNames(const IID&, LPCWSTR*, std::uint32_t, DWORD, std::int32_t*) {
  return E_NOTIMPL;
}

HRESULT TKestrunInfoTip::Invoke(std::int32_t, const IID&, DWORD, std::uint16_t, void*, void*, void*,
                                std::uint32_t*) {
  return E_NOTIMPL;
}

}  // namespace hovelin

using namespace hovelin;

extern "C" HRESULT DllGetClassObject(const CLSID* Rclsid, const IID* Riid, void** Object) {
  if (!Object) return E_POINTER;
  *Object = nullptr;
  if (!Rclsid || !Riid || !(*Rclsid == CLSID_KestrunInfoTip)) return CLASS_E_CLASSNOTAVAILABLE;
  return Factory().QueryInterface(*Riid, Object);
}

extern "C" HRESULT DllCanUnloadNow() { return ObjectCount() > 0 ? S_FALSE : S_OK; }

extern "C" HRESULT DllRegisterServer() {
  try {
    const std::string path = LibraryPath();
    if (path.empty()) return E_FAIL;
    const std::string clsid = GuidToString(CLSID_KestrunInfoTip);
    const std::string libid = GuidToString(LIBID_Hovelin);
    vsk::TRegistry reg(vsk::HKEY_CLASSES_ROOT);
    // The type library: its description, where it is, and its interface.
    WriteDefault(reg, TypeLibKey() + "\\1.0", kLibraryDescription);
    WriteDefault(reg, TypeLibKey() + "\\1.0\\409\\linux", path);
    WriteDefault(reg, TypeLibKey() + "\\1.0\\FLAGS", "0");
    WriteDefault(reg, InterfaceKey(), "IKestrunInfoTip");
    if (!reg.OpenKey(InterfaceKey() + "\\TypeLib", true)) return E_FAIL;
    reg.WriteString("", libid);
    reg.WriteString("Version", "1.0");
    reg.CloseKey();
    // The class.
    WriteDefault(reg, ClassKey(), kClassDescription);
    if (!reg.OpenKey(ClassKey() + "\\InprocServer32", true)) return E_FAIL;
    reg.WriteString("", path);
    reg.WriteString("ThreadingModel", "Apartment");
    reg.CloseKey();
    WriteDefault(reg, ClassKey() + "\\ProgID", kProgId);
    WriteDefault(reg, ClassKey() + "\\Version", "1.0");
    WriteDefault(reg, ClassKey() + "\\TypeLib", libid);
    WriteDefault(reg, std::string("\\") + kProgId, kClassDescription);
    WriteDefault(reg, std::string("\\") + kProgId + "\\Clsid", clsid);
    return S_OK;
  } catch (...) {
    return E_FAIL;
  }
}

extern "C" HRESULT DllUnregisterServer() {
  try {
    vsk::TRegistry reg(vsk::HKEY_CLASSES_ROOT);
    bool ok = true;
    for (const std::string& key : {ClassKey(), std::string("\\") + kProgId, InterfaceKey(), TypeLibKey()})
      if (reg.KeyExists(key) && !reg.DeleteKey(key)) ok = false;
    return ok ? S_OK : E_FAIL;
  } catch (...) {
    return E_FAIL;
  }
}
