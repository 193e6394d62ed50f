// A minimal command-line extractor over TUnZip, so whole-process times can
// be set beside other archivers': vskunzip ARCHIVE DESTINATION
// (or vskunzip -t ARCHIVE to test).

#include <cstdio>
#include <cstring>
#include <string>

#include "archive/formats/zip/unzip.h"

int main(int argc, char** argv) {
  const bool test = argc == 3 && std::strcmp(argv[1], "-t") == 0;
  if (argc != 3) {
    std::fprintf(stderr, "usage: vskunzip ARCHIVE DESTINATION | vskunzip -t ARCHIVE\n");
    return 2;
  }
  vsk::TUnZip z;
  int errors = 0;
  z.OnError = [&](vsk::TZipCommon&, const std::string& f, const std::string&, const std::string&, int code) {
    std::fprintf(stderr, "%s: %s\n", f.c_str(), vsk::MessageText(code));
    ++errors;
  };
  z.SetArchiveFile(test ? argv[2] : argv[1]);
  z.FileSpec = {"*.*"};
  if (!test) z.SetExtractDir(argv[2]);
  const int n = test ? z.TestArchive() : z.Extract();
  return n > 0 && errors == 0 ? 0 : 1;
}
