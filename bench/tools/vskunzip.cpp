// A minimal command-line extractor over the library's readers (the reader
// of the archive's detected type), so whole-process times can be set beside
// other archivers': vskunzip [-j THREADS] ARCHIVE DESTINATION
// (or vskunzip [-j THREADS] -t ARCHIVE to test). THREADS 0, the default,
// is one per core.

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <exception>
#include <memory>
#include <string>

#include "archive/core/register.h"
#include "archive/tools/readers.h"

int main(int argc, char** argv) {
  int threads = 0;
  if (argc >= 3 && std::strcmp(argv[1], "-j") == 0) {
    threads = std::atoi(argv[2]);
    argc -= 2;
    argv += 2;
  }
  const bool test = argc == 3 && std::strcmp(argv[1], "-t") == 0;
  if (argc != 3) {
    std::fprintf(stderr, "usage: vskunzip [-j THREADS] ARCHIVE DESTINATION | vskunzip [-j THREADS] -t ARCHIVE\n");
    return 2;
  }
  const char* archive = test ? argv[2] : argv[1];
  vsk::TRegisterVorsk detect;
  std::unique_ptr<vsk::TUnBase> reader;
  try {
    reader = vsk::MakeReader(detect.DetectArcType(archive));
  } catch (const std::exception& e) {
    std::fprintf(stderr, "%s: %s\n", archive, e.what());
    return 1;
  }
  if (!reader) {
    std::fprintf(stderr, "%s: no reader for this archive\n", archive);
    return 1;
  }
  vsk::TUnBase& z = *reader;
  z.ThreadCount = threads;
  int errors = 0;
  z.OnError = [&](vsk::TZipCommon&, const std::string& f, const std::string&, const std::string&, int code) {
    std::fprintf(stderr, "%s: %s\n", f.c_str(), vsk::MessageText(code));
    ++errors;
  };
  z.SetArchiveFile(archive);
  z.FileSpec = {"*.*"};
  if (!test) z.SetExtractDir(argv[2]);
  const int n = test ? z.TestArchive() : z.Extract();
  return n > 0 && errors == 0 ? 0 : 1;
}
