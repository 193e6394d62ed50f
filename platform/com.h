#pragma once
// A small in-process component model for the shell extension: result codes,
// 128-bit identities, reference-counted interfaces with QueryInterface, the
// class-factory, persist-file, query-info and dispatch interfaces, and the
// shell's allocator. Wide strings are UTF-16 (char16_t); "ANSI" text is
// UTF-8.

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace vsk::com {

using HRESULT = std::int32_t;
using ULONG = std::uint32_t;
using DWORD = std::uint32_t;
using LPWSTR = char16_t*;
using LPCWSTR = const char16_t*;

inline constexpr HRESULT S_OK = 0;
inline constexpr HRESULT S_FALSE = 1;
inline constexpr HRESULT E_NOTIMPL = static_cast<HRESULT>(0x80004001u);
inline constexpr HRESULT E_NOINTERFACE = static_cast<HRESULT>(0x80004002u);
inline constexpr HRESULT E_POINTER = static_cast<HRESULT>(0x80004003u);
inline constexpr HRESULT E_FAIL = static_cast<HRESULT>(0x80004005u);
inline constexpr HRESULT E_OUTOFMEMORY = static_cast<HRESULT>(0x8007000Eu);
inline constexpr HRESULT CLASS_E_NOAGGREGATION = static_cast<HRESULT>(0x80040110u);
inline constexpr HRESULT CLASS_E_CLASSNOTAVAILABLE = static_cast<HRESULT>(0x80040111u);

struct GUID {
  std::uint32_t Data1 = 0;
  std::uint16_t Data2 = 0;
  std::uint16_t Data3 = 0;
  std::uint8_t Data4[8] = {};
  friend bool operator==(const GUID&, const GUID&) = default;
};
using IID = GUID;
using CLSID = GUID;

// "{XXXXXXXX-XXXX-XXXX-XXXX-XXXXXXXXXXXX}" (case-insensitive); nullopt for
// anything else.
std::optional<GUID> ParseGuid(std::string_view Text);
// The same form, upper-case hexadecimal, with braces.
std::string GuidToString(const GUID& Id);

// The interfaces' identities, as every host knows them.
extern const IID IID_IUnknown;
extern const IID IID_IClassFactory;
extern const IID IID_IDispatch;
extern const IID IID_IPersist;
extern const IID IID_IPersistFile;
extern const IID IID_IQueryInfo;
extern const IID IID_IMalloc;

class IUnknown {
 public:
  virtual HRESULT QueryInterface(const IID& Riid, void** Object) = 0;
  virtual ULONG AddRef() = 0;
  virtual ULONG Release() = 0;

 protected:
  ~IUnknown() = default;
};

class IClassFactory : public IUnknown {
 public:
  virtual HRESULT CreateInstance(IUnknown* Outer, const IID& Riid, void** Object) = 0;
  virtual HRESULT LockServer(bool Lock) = 0;

 protected:
  ~IClassFactory() = default;
};

class IPersist : public IUnknown {
 public:
  virtual HRESULT GetClassID(CLSID* ClassId) = 0;

 protected:
  ~IPersist() = default;
};

class IPersistFile : public IPersist {
 public:
  virtual HRESULT IsDirty() = 0;
  virtual HRESULT Load(LPCWSTR FileName, DWORD Mode) = 0;
  virtual HRESULT Save(LPCWSTR FileName, bool Remember) = 0;
  virtual HRESULT SaveCompleted(LPCWSTR FileName) = 0;
  virtual HRESULT GetCurFile(LPWSTR* FileName) = 0;

 protected:
  ~IPersistFile() = default;
};

class IQueryInfo : public IUnknown {
 public:
  virtual HRESULT GetInfoTip(DWORD Flags, LPWSTR* Tip) = 0;
  virtual HRESULT GetInfoFlags(DWORD* Flags) = 0;

 protected:
  ~IQueryInfo() = default;
};

// Late-bound calls by name; the arguments stay opaque here.
class IDispatch : public IUnknown {
 public:
  virtual HRESULT GetTypeInfoCount(std::uint32_t* Count) = 0;
  virtual HRESULT GetTypeInfo(std::uint32_t Index, DWORD Locale, void** TypeInfo) = 0;
  virtual HRESULT GetIDsOfNames(const IID& Riid, LPCWSTR* Names, std::uint32_t Count, DWORD Locale,
                                std::int32_t* DispIds) = 0;
  virtual HRESULT Invoke(std::int32_t DispId, const IID& Riid, DWORD Locale, std::uint16_t Flags, void* Params,
                         void* Result, void* ExceptionInfo, std::uint32_t* ArgError) = 0;

 protected:
  ~IDispatch() = default;
};

class IMalloc : public IUnknown {
 public:
  virtual void* Alloc(std::size_t Size) = 0;
  virtual void* Realloc(void* Block, std::size_t Size) = 0;
  virtual void Free(void* Block) = 0;
  virtual std::size_t GetSize(void* Block) = 0;
  virtual int DidAlloc(void* Block) = 0;
  virtual void HeapMinimize() = 0;

 protected:
  ~IMalloc() = default;
};

// The shell's task allocator, shared by the process and safe to use from
// any thread; the caller releases the reference it gets.
HRESULT SHGetMalloc(IMalloc** Malloc);
// For tests of hosts that cannot allocate: the next SHGetMalloc calls fail
// while this is set.
void SetShellAllocatorAvailable(bool Available);

// UTF-16 <-> UTF-8; unpaired surrogates and malformed bytes become U+FFFD.
std::string WideToUtf8(std::u16string_view Text);
std::u16string Utf8ToWide(std::string_view Text);

}  // namespace vsk::com
