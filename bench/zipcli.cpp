// A small command-line front of the zip writer, so that whole-process runs
// can be timed beside other archivers:
//   zipcli [-0|-1|-6|-9] [-u|-f|-d] [-tN] archive folder-or-mask...
// -0 stores, -1 fast, -6 normal, -9 best; -u adds and replaces (the
// default adds), -f refreshes, -d deletes the entries the masks name;
// -tN deflates on N threads (0, the default: one per core; 1: serial).
// A folder stands for everything below it.

#include <sys/stat.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "archive/formats/zip/zipwriter.h"

int main(int argc, char** argv) {
  vsk::TZip z;
  z.DeflateType = vsk::dtDeflateN;
  z.Switch = vsk::swAdd;
  bool replace = false;
  int i = 1;
  for (; i < argc && argv[i][0] == '-' && argv[i][1] != '\0'; ++i) {
    const std::string o = argv[i];
    if (o == "-0") z.DeflateType = vsk::dtDeflateS;
    else if (o == "-1") z.DeflateType = vsk::dtDeflateF;
    else if (o == "-6") z.DeflateType = vsk::dtDeflateN;
    else if (o == "-9") z.DeflateType = vsk::dtDeflateX;
    else if (o == "-u") replace = true;
    else if (o == "-f") z.Switch = vsk::swRefresh;
    else if (o == "-d") z.Switch = vsk::swDelete;
    else if (o.size() > 2 && o.compare(0, 2, "-t") == 0) z.ThreadCount = std::atoi(o.c_str() + 2);
    else {
      std::fprintf(stderr, "zipcli: unknown option %s\n", argv[i]);
      return 2;
    }
  }
  if (argc - i < 2) {
    std::fprintf(stderr, "usage: zipcli [-0|-1|-6|-9] [-u|-f|-d] [-tN] archive folder-or-mask...\n");
    return 2;
  }
  z.SetArchiveFile(argv[i++]);
  for (; i < argc; ++i) {
    std::string spec = argv[i];
    struct stat st;
    if (z.Switch != vsk::swDelete && stat(spec.c_str(), &st) == 0 && S_ISDIR(st.st_mode))
      spec = (spec.back() == '/' ? spec : spec + "/") + "*";
    z.FileSpec.push_back(spec);
  }
  int errors = 0;
  z.OnError = [&](vsk::TZipCommon&, const std::string& file, const std::string& extra, const std::string&, int code) {
    std::fprintf(stderr, "zipcli: %s %s: %s\n", file.c_str(), extra.c_str(), vsk::MessageText(code));
    ++errors;
  };
  z.OnReplaceFile = [&](vsk::TZipCommon&, const std::string&, const std::string&, vsk::TDateTime, vsk::TDateTime,
                        vsk::UInt32, vsk::UInt32, int, int, bool& r) { r = replace; };
  z.OnRenameDupeFile = [](vsk::TZipCommon&, const std::string&, std::string&, bool& rename) { rename = false; };
  const int n = z.Compress();
  std::printf("%d\n", n);
  return errors == 0 ? 0 : 1;
}
