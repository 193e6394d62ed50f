// The InfoTip text for archives written by Debian's archivers, and the
// InfoTip server driven as a file manager drives it.

#include <dlfcn.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <csignal>
#include <gtest/gtest.h>

#include <cmath>
#include <ctime>
#include <thread>

#include "platform/com.h"
#include "platform/registry.h"
#include "shellext/infotipmain.h"
#include "shellext/infotiptext.h"
#include "tests/support/testutil.h"

namespace hovelin {
namespace {

namespace fs = std::filesystem;

const char* const kSummarySettings[] = {"itArcTypeInfo",      "itDateInfo",     "itPackedSizeInfo",
                                        "itUnpackedSizeInfo", "itNumFilesInfo", "itRatioInfo"};

class InfoTip : public ::testing::Test {
 protected:
  void Settings(bool Summary, bool Listing, int MaxFiles) {
    vsk::TRegistry reg(vsk::HKEY_CURRENT_USER);
    ASSERT_TRUE(reg.OpenKey(kSettingsKey, true));
    for (const char* name : kSummarySettings) reg.WriteBool(name, Summary);
    reg.WriteBool("itShowListingInfo", Listing);
    reg.WriteInteger("MaxFilesInfo", MaxFiles);
    reg.CloseKey();
  }
  void Set(const std::string& Name, bool Value) {
    vsk::TRegistry reg(vsk::HKEY_CURRENT_USER);
    ASSERT_TRUE(reg.OpenKey(kSettingsKey, true));
    reg.WriteBool(Name, Value);
    reg.CloseKey();
  }
  // Files f01.txt ... fNN.txt of known sizes, packed by Command in their folder.
  std::string Pack(const std::string& Name, int Files, const std::string& Command) {
    const fs::path src = dir.path() / ("src-" + Name);
    fs::create_directories(src / "sub");
    std::string names;
    for (int i = 1; i <= Files; ++i) {
      char file[32];
      std::snprintf(file, sizeof file, "%sf%02d.txt", i == Files ? "sub/" : "", i);
      vsktest::WriteFile(src / file, vsktest::TextBytes(1000 * static_cast<std::size_t>(i), i));
      names += std::string(" ") + file;
    }
    const std::string out = (dir.path() / Name).string();
    std::string cmd = Command;
    cmd.replace(cmd.find("{out}"), 5, vsktest::ShellQuote(out));
    cmd.replace(cmd.find("{files}"), 7, names);
    const auto r = vsktest::RunTool(cmd, src);
    EXPECT_EQ(r.exitCode, 0) << cmd << "\n" << r.output;
    return out;
  }
  std::string Tip(const std::string& File) {
    vsk::TVorsk lister;
    return BuildTipText(File, lister);
  }
  static std::string Modified(const std::string& File) {
    struct stat st;
    stat(File.c_str(), &st);
    std::tm local{};
    const std::time_t t = st.st_mtime;
    localtime_r(&t, &local);
    char text[64];
    return std::string(text, std::strftime(text, sizeof text, "%x %X", &local));
  }

  vsktest::IsolatedEnvironment env;
  vsktest::TempDir dir;
};

TEST_F(InfoTip, SummaryAndTheFirstNamesOfAZip) {
  ASSERT_TRUE(vsktest::HaveTool("zip"));
  const std::string zip = Pack("twelve.zip", 12, "zip -q -X {out} {files}");
  Settings(true, true, 10);
  vsk::TVorsk probe;
  probe.SetArchiveFile(zip);
  probe.FileSpec = {"*.*"};
  double packed = 0, unpacked = 0;
  int ratio = 0;
  probe.OnRead = [](vsk::TZipCommon&, vsk::Int64, int) {};
  probe.OnTotals = [&](vsk::TZipCommon&, double U, double P, int R, int) {
    unpacked = U;
    packed = P;
    ratio = R;
  };
  probe.Activate();
  ASSERT_EQ(unpacked, 78000.0);

  std::string want = "Archive Type: ZIP\r\nModified Date: " + Modified(zip) + "\r\nPacked Size: " +
                     FormatSize(packed, ",") + " bytes\r\nUnpacked Size: 78,000 bytes\r\nFiles in Archive: 12\r\n" +
                     "Compression Ratio: " + std::to_string(ratio) + "%\r\nFiles Listing: ";
  for (int i = 1; i <= 10; ++i) want += "\r\n- f" + std::string(i < 10 ? "0" : "") + std::to_string(i) + ".txt";
  want += "\r\n- [Double click to view all files ...]";
  EXPECT_EQ(Tip(zip), want);

  // The listing alone; the summary alone, without a trailing line break.
  Settings(false, true, 2);
  EXPECT_EQ(Tip(zip), "Files Listing: \r\n- f01.txt\r\n- f02.txt\r\n- [Double click to view all files ...]");
  Settings(false, false, 10);
  Set("itNumFilesInfo", true);
  Set("itUnpackedSizeInfo", true);
  EXPECT_EQ(Tip(zip), "Unpacked Size: 78,000 bytes\r\nFiles in Archive: 12");
  // No settings at all: nothing to say about a good archive.
  vsk::TRegistry(vsk::HKEY_CURRENT_USER).DeleteKey(kSettingsKey);
  EXPECT_EQ(Tip(zip), "");
  // A value of the wrong type reads as off and does not leave the builder.
  Settings(false, true, 1);
  {
    vsk::TRegistry reg(vsk::HKEY_CURRENT_USER);
    ASSERT_TRUE(reg.OpenKey(kSettingsKey, true));
    reg.WriteString("MaxFilesInfo", "many");
    reg.CloseKey();
  }
  EXPECT_EQ(Tip(zip), "Files Listing: ");
}

TEST_F(InfoTip, ArchivesThatCannotBeListed) {
  Settings(true, true, 10);
  EXPECT_EQ(Tip(""), "");
  EXPECT_EQ(Tip((dir.path() / "missing.zip").string()), kDoubleClickToView);
  const fs::path text = dir.path() / "notes.txt";
  vsktest::WriteFile(text, "just some text, no archive\n");
  EXPECT_EQ(Tip(text.string()), kBadArchiveType);
  // A zip cut off before its directory.
  ASSERT_TRUE(vsktest::HaveTool("zip"));
  const std::string zip = Pack("cut.zip", 3, "zip -q -X {out} {files}");
  const std::string bytes = vsktest::ReadFile(zip);
  vsktest::WriteFile(zip, bytes.substr(0, bytes.find("PK\x01\x02")));
  EXPECT_EQ(Tip(zip).substr(0, std::string(kDoubleClickToView).size()), kDoubleClickToView);

  // A FIFO named like an archive, looked at by a lister that listed a zip
  // last: refused at once, never waited on. In a child with a time limit,
  // so a wait ends the child, not the test run.
  const fs::path fifo = dir.path() / "x.zip";
  ASSERT_EQ(mkfifo(fifo.c_str(), 0600), 0);
  const std::string good = Pack("good.zip", 2, "zip -q -X {out} {files}");
  const pid_t child = fork();
  ASSERT_GE(child, 0);
  if (child == 0) {
    alarm(20);
    vsk::TVorsk lister;
    const bool listed = BuildTipText(good, lister).find("Files in Archive: 2") != std::string::npos;
    const bool refused = BuildTipText(fifo.string(), lister) == kDoubleClickToView;
    _exit(listed && refused ? 0 : 1);
  }
  int status = 0;
  waitpid(child, &status, 0);
  EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0)
      << (WIFSIGNALED(status) && WTERMSIG(status) == SIGALRM ? "the lister waited on the FIFO" : "wrong text");
}

TEST_F(InfoTip, CabinetsAndMultiVolumeArchives) {
  ASSERT_TRUE(vsktest::HaveTool("gcab")) << "gcab is needed (Debian package gcab)";
  const std::string cab = Pack("set.cab", 4, "gcab -c -z {out} {files}");
  Settings(false, false, 10);
  Set("itPackedSizeInfo", true);
  Set("itRatioInfo", true);
  const auto size = static_cast<double>(fs::file_size(cab));
  const int ratio = static_cast<int>(std::lround((10000.0 - size) * 100 / 10000.0));
  EXPECT_EQ(Tip(cab), "Packed Size: " + FormatSize(size, ",") + " bytes\r\nCompression Ratio: " +
                          std::to_string(ratio) + "%");

  // The lister stops at the next volume and says why.
  ASSERT_TRUE(vsktest::HaveTool("arj")) << "arj is needed (Debian package arj)";
  fs::create_directories(dir.path() / "src-vol");
  vsktest::WriteFile(dir.path() / "src-vol/big.bin", vsktest::RandomBytes(200000, 7));
  const auto r = vsktest::RunTool("arj a -v60K -y -jm ../vol.arj big.bin", dir.path() / "src-vol");
  ASSERT_TRUE(fs::exists(dir.path() / "vol.a01")) << r.output;
  Settings(false, true, 10);
  const std::string tip = Tip((dir.path() / "vol.arj").string());
  EXPECT_NE(tip.find("\r\n* Multi volume archive"), std::string::npos) << tip;
}

TEST_F(InfoTip, TwoThreadsBuildTheirOwnTexts) {
  ASSERT_TRUE(vsktest::HaveTool("zip"));
  const std::string a = Pack("a.zip", 3, "zip -q -X {out} {files}");
  const std::string b = Pack("b.zip", 5, "zip -q -X {out} {files}");
  Settings(false, true, 10);
  Set("itNumFilesInfo", true);
  std::string ta, tb;
  for (int round = 0; round < 20; ++round) {
    std::thread first([&] { ta = Tip(a); });
    std::thread second([&] { tb = Tip(b); });
    first.join();
    second.join();
    ASSERT_EQ(ta.substr(0, 20), "Files in Archive: 3\r") << ta;
    ASSERT_EQ(tb.substr(0, 20), "Files in Archive: 5\r") << tb;
  }
}

TEST_F(InfoTip, TheObjectAnswersAsTheShellAsks) {
  ASSERT_TRUE(vsktest::HaveTool("zip"));
  const std::string zip = Pack("obj.zip", 2, "zip -q -X {out} {files}");
  Settings(false, true, 10);
  IMalloc* shell = nullptr;
  ASSERT_EQ(SHGetMalloc(&shell), S_OK);

  auto* tip = new TKestrunInfoTip;
  EXPECT_EQ(ObjectCount(), 1);
  IQueryInfo* info = nullptr;
  ASSERT_EQ(tip->QueryInterface(IID_IQueryInfo, reinterpret_cast<void**>(&info)), S_OK);
  IPersistFile* file = nullptr;
  ASSERT_EQ(info->QueryInterface(IID_IPersistFile, reinterpret_cast<void**>(&file)), S_OK);
  IUnknown *u1 = nullptr, *u2 = nullptr;
  file->QueryInterface(IID_IUnknown, reinterpret_cast<void**>(&u1));
  info->QueryInterface(IID_IUnknown, reinterpret_cast<void**>(&u2));
  EXPECT_EQ(u1, u2);
  u1->Release();
  u2->Release();
  void* none = &none;
  EXPECT_EQ(tip->QueryInterface(IID_IClassFactory, &none), E_NOINTERFACE);
  EXPECT_EQ(none, nullptr);
  tip->Release();

  // Before any Load: an allocated, empty text.
  LPWSTR text = nullptr;
  EXPECT_EQ(info->GetInfoTip(0, &text), S_OK);
  ASSERT_NE(text, nullptr);
  EXPECT_EQ(text[0], u'\0');
  shell->Free(text);

  // A name beyond ASCII comes through UTF-16 and back.
  const fs::path named = dir.path() / "Zürich €.zip";
  fs::copy_file(zip, named);
  EXPECT_EQ(file->Load(Utf8ToWide(named.string()).c_str(), 0), S_OK);
  EXPECT_EQ(file->GetCurFile(&text), E_NOTIMPL);
  EXPECT_EQ(file->IsDirty(), E_NOTIMPL);
  CLSID id;
  EXPECT_EQ(file->GetClassID(&id), E_NOTIMPL);
  text = nullptr;
  EXPECT_EQ(info->GetInfoTip(0, &text), S_OK);
  ASSERT_NE(text, nullptr);
  EXPECT_EQ(WideToUtf8(text), "Files Listing: \r\n- f01.txt\r\n- f02.txt");
  shell->Free(text);
  DWORD flags = 7;
  EXPECT_EQ(info->GetInfoFlags(&flags), E_NOTIMPL);
  EXPECT_EQ(flags, 0u);
  file->Release();
  info->Release();
  EXPECT_EQ(ObjectCount(), 0);

  // Without the shell's allocator there is no text, and still success.
  SetShellAllocatorAvailable(false);
  auto* poor = new TKestrunInfoTip;
  poor->Load(Utf8ToWide(zip).c_str(), 0);
  text = reinterpret_cast<LPWSTR>(&flags);
  EXPECT_EQ(static_cast<IQueryInfo*>(poor)->GetInfoTip(0, &text), S_OK);
  EXPECT_EQ(text, nullptr);
  poor->Release();
  SetShellAllocatorAvailable(true);
}

TEST_F(InfoTip, TheLibraryAsAFileManagerLoadsIt) {
  ASSERT_TRUE(vsktest::HaveTool("zip"));
  const std::string zip = Pack("lib.zip", 3, "zip -q -X {out} {files}");
  Settings(false, false, 10);
  Set("itNumFilesInfo", true);

  void* lib = dlopen(HOVELIN_LIBRARY, RTLD_NOW | RTLD_LOCAL);
  ASSERT_NE(lib, nullptr) << dlerror();
  using GetClassObject = HRESULT (*)(const CLSID*, const IID*, void**);
  using NoArgs = HRESULT (*)();
  const auto getClass = reinterpret_cast<GetClassObject>(dlsym(lib, "DllGetClassObject"));
  const auto canUnload = reinterpret_cast<NoArgs>(dlsym(lib, "DllCanUnloadNow"));
  const auto reg = reinterpret_cast<NoArgs>(dlsym(lib, "DllRegisterServer"));
  const auto unreg = reinterpret_cast<NoArgs>(dlsym(lib, "DllUnregisterServer"));
  ASSERT_TRUE(getClass && canUnload && reg && unreg);
  // Only the four entry points are visible.
  EXPECT_EQ(dlsym(lib, "_ZN7hovelin12BuildTipTextERKNSt7__cxx1112basic_stringIcSt11char_traitsIcESaIcEEERN3vsk6TVorskE"),
            nullptr);

  void* object = &object;
  EXPECT_EQ(getClass(&IID_IUnknown, &IID_IClassFactory, &object), CLASS_E_CLASSNOTAVAILABLE);
  EXPECT_EQ(object, nullptr);
  IClassFactory* factory = nullptr;
  ASSERT_EQ(getClass(&CLSID_KestrunInfoTip, &IID_IClassFactory, reinterpret_cast<void**>(&factory)), S_OK);
  EXPECT_EQ(canUnload(), S_OK);
  IQueryInfo* info = nullptr;
  ASSERT_EQ(factory->CreateInstance(nullptr, IID_IQueryInfo, reinterpret_cast<void**>(&info)), S_OK);
  EXPECT_EQ(canUnload(), S_FALSE);
  IPersistFile* file = nullptr;
  ASSERT_EQ(info->QueryInterface(IID_IPersistFile, reinterpret_cast<void**>(&file)), S_OK);
  file->Load(Utf8ToWide(zip).c_str(), 0);
  LPWSTR text = nullptr;
  EXPECT_EQ(info->GetInfoTip(0, &text), S_OK);
  ASSERT_NE(text, nullptr);
  EXPECT_EQ(WideToUtf8(text), "Files in Archive: 3");
  // The block comes from the shell's allocator: this module frees it.
  IMalloc* shell = nullptr;
  ASSERT_EQ(SHGetMalloc(&shell), S_OK);
  shell->Free(text);
  file->Release();
  info->Release();
  EXPECT_EQ(canUnload(), S_OK);
  factory->LockServer(true);
  EXPECT_EQ(canUnload(), S_FALSE);
  factory->LockServer(false);
  EXPECT_EQ(canUnload(), S_OK);

  // Registration writes the class and its identities, and takes them away.
  ASSERT_EQ(reg(), S_OK);
  {
    vsk::TRegistry cr(vsk::HKEY_CLASSES_ROOT);
    const std::string key = "\\CLSID\\{F5F9DD7E-4BCB-4E7E-8EA3-4E2219E0B9ED}";
    ASSERT_TRUE(cr.OpenKeyReadOnly(key));
    EXPECT_EQ(cr.ReadString(""), "KestrunInfoTip Object");
    ASSERT_TRUE(cr.OpenKeyReadOnly(key + "\\InprocServer32"));
    EXPECT_EQ(cr.ReadString(""), fs::absolute(HOVELIN_LIBRARY).lexically_normal().string());
    EXPECT_EQ(cr.ReadString("ThreadingModel"), "Apartment");
    ASSERT_TRUE(cr.OpenKeyReadOnly(key + "\\ProgID"));
    EXPECT_EQ(cr.ReadString(""), "Hovelin.KestrunInfoTip");
    ASSERT_TRUE(cr.OpenKeyReadOnly(key + "\\TypeLib"));
    EXPECT_EQ(cr.ReadString(""), "{DF09F5D2-30A7-458D-A9AE-E30AB249AE8F}");
    ASSERT_TRUE(cr.OpenKeyReadOnly("\\Hovelin.KestrunInfoTip\\Clsid"));
    EXPECT_EQ(cr.ReadString(""), "{F5F9DD7E-4BCB-4E7E-8EA3-4E2219E0B9ED}");
    cr.CloseKey();
    EXPECT_TRUE(cr.KeyExists("\\TypeLib\\{DF09F5D2-30A7-458D-A9AE-E30AB249AE8F}\\1.0"));
  }
  ASSERT_EQ(unreg(), S_OK);
  {
    vsk::TRegistry cr(vsk::HKEY_CLASSES_ROOT);
    EXPECT_FALSE(cr.KeyExists("\\CLSID\\{F5F9DD7E-4BCB-4E7E-8EA3-4E2219E0B9ED}"));
    EXPECT_FALSE(cr.KeyExists("\\Hovelin.KestrunInfoTip"));
    EXPECT_FALSE(cr.KeyExists("\\TypeLib\\{DF09F5D2-30A7-458D-A9AE-E30AB249AE8F}"));
  }
  dlclose(lib);
}

TEST(ComStandIn, IdentitiesAndWideText) {
  const auto id = ParseGuid("{f5f9dd7e-4bcb-4e7e-8ea3-4e2219e0b9ed}");
  ASSERT_TRUE(id.has_value());
  EXPECT_EQ(GuidToString(*id), "{F5F9DD7E-4BCB-4E7E-8EA3-4E2219E0B9ED}");
  EXPECT_EQ(*id, CLSID_KestrunInfoTip);
  for (const char* bad : {"", "{F5F9DD7E-4BCB-4E7E-8EA3-4E2219E0B9E}", "F5F9DD7E-4BCB-4E7E-8EA3-4E2219E0B9ED00",
                          "{F5F9DD7E+4BCB-4E7E-8EA3-4E2219E0B9ED}", "{G5F9DD7E-4BCB-4E7E-8EA3-4E2219E0B9ED}"})
    EXPECT_FALSE(ParseGuid(bad).has_value()) << bad;
  EXPECT_EQ(Utf8ToWide("a\xC3\xBC\xE2\x82\xAC\xF0\x9F\x98\x80"), std::u16string(u"a\u00FC\u20AC\U0001F600"));
  EXPECT_EQ(WideToUtf8(u"a\u00FC\u20AC\U0001F600"), "a\xC3\xBC\xE2\x82\xAC\xF0\x9F\x98\x80");
  // Broken input becomes the replacement character, never lost bytes.
  EXPECT_EQ(Utf8ToWide("x\xC0\xAFy"), std::u16string(u"x\uFFFD\uFFFDy"));
  EXPECT_EQ(WideToUtf8(std::u16string(1, char16_t(0xD800)) + u"z"), "\xEF\xBF\xBDz");
  EXPECT_EQ(FormatSize(1234567, ","), "1,234,567");
  EXPECT_EQ(FormatSize(999, ","), "999");
  EXPECT_EQ(FormatSize(0, "."), "0");
}

}  // namespace
}  // namespace hovelin
