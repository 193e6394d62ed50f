#include "platform/dynlib.h"

#include <gtest/gtest.h>

#include <filesystem>

namespace vsk {
namespace {

TEST(DynLib, LoadsByNameAndFailsQuietly) {
  EXPECT_EQ(LoadLibraryQuiet("no-such-library.so"), nullptr);
  EXPECT_EQ(LoadLibraryQuiet(""), nullptr);
  EXPECT_EQ(GetProcAddress(nullptr, "zlibVersion"), nullptr);

  // Found through the loader's path; symbols resolve and unknown ones do not.
  TLibHandle z = LoadLibraryQuiet("libz.so.1");
  ASSERT_NE(z, nullptr);
  EXPECT_NE(GetProcAddress(z, "zlibVersion"), nullptr);
  EXPECT_EQ(GetProcAddress(z, "NoSuchEntryPoint"), nullptr);
  FreeLibrary(z);

  const std::string dir = ProgramDir();
  ASSERT_FALSE(dir.empty());
  EXPECT_TRUE(std::filesystem::is_directory(dir));
  EXPECT_NE(dir.back(), '/');
}

}  // namespace
}  // namespace vsk
