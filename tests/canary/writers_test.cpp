// Canary rows of the format writers: every name a writer run makes or
// replaces holds only what the run made or what the user agreed to, after
// a success, a cancel, a failure and a kill -9.

#include <sys/mount.h>

#include <gtest/gtest.h>

#include <fstream>
#include <functional>
#include <memory>

#include "archive/formats/gzip/gzipwriter.h"
#include "archive/formats/lha/bhwriter.h"
#include "archive/formats/lha/lhawriter.h"
#include "archive/formats/tar/tarwriter.h"
#include "archive/formats/uu/uuencode.h"
#include "tests/archive/formats/zip/spandrive.h"
#include "tests/support/canary.h"
#include "tests/support/testutil.h"

namespace {

using namespace vsktest;
using vsk::Byte;
using vsk::TCompBase;
using vsk::TZipCommon;

// What a writer reported in a run.
struct WriterLog {
  std::vector<int> codes;
  std::vector<std::string> files;
  bool Has(int Code) const { return std::find(codes.begin(), codes.end(), Code) != codes.end(); }
  std::string Describe() const {
    std::string s;
    for (std::size_t i = 0; i < codes.size(); ++i) s += std::to_string(codes[i]) + " " + files[i] + "\n";
    return s;
  }
};

// Points W at Archive with the sources Spec, records its errors, and ends
// the run as E asks once a file is well under way (cancel or kill).
void Aim(TCompBase& W, const fs::path& Archive, const std::vector<std::string>& Spec, Ending E, WriterLog& Log) {
  W.SetArchiveFile(Archive.string());
  W.FileSpec = Spec;
  W.OnError = [&Log](TZipCommon&, const std::string& F, const std::string&, const std::string&, int C) {
    Log.codes.push_back(C);
    Log.files.push_back(F);
  };
  W.OnProgress = [E](TZipCommon& Sender, Byte ByFile, Byte) {
    if (ByFile < 30) return;
    if (E == Ending::Kill) KillHere();
    if (E == Ending::Cancel) Sender.SetCancel(true);
  };
}

// A small file system for the runs that end on a full disk.
struct SmallDisk {
  fs::path at;
  bool mounted = false;
  SmallDisk(const fs::path& At, const char* Size) : at(At) {
    fs::create_directories(At);
    mounted = mount("tmpfs", At.c_str(), "tmpfs", 0, Size) == 0;
  }
  ~SmallDisk() {
    if (mounted) umount2(at.c_str(), MNT_DETACH);
  }
};

// Files of other kinds that a run may find at an archive's name.
std::vector<std::pair<std::string, std::string>> ForeignFiles(const fs::path& Dir) {
  fs::create_directories(Dir / "f");
  WriteFile(Dir / "f/a.txt", TextBytes(5000, 7));
  EXPECT_EQ(RunTool("zip -q ../x.zip a.txt && tar cf ../x.tar a.txt && gzip -c a.txt > ../x.gz && "
                    "lha -aq ../x.lzh a.txt",
                    Dir / "f")
                .exitCode,
            0);
  std::vector<std::pair<std::string, std::string>> out = {
      {"zip", ReadFile(Dir / "x.zip")},
      {"tar", ReadFile(Dir / "x.tar")},
      {"gzip", ReadFile(Dir / "x.gz")},
      {"lzh", ReadFile(Dir / "x.lzh")},
      {"text", TextBytes(3000, 8)},
      {"random", RandomBytes(3000, 9)},
      {"zero first byte", std::string(1, '\0') + RandomBytes(3000, 10)},
  };
  fs::remove_all(Dir / "f");
  for (const char* n : {"x.zip", "x.tar", "x.gz", "x.lzh"}) fs::remove(Dir / n);
  return out;
}

// An update of a good archive to every ending; a failure is a full disk,
// reported against the archive, not the file in work. Setup makes the
// archive with one file; the run adds a large one.
template <class W>
CanaryRow UpdateRow(const std::string& Kind, const std::string& Ext,
                    std::function<void(W&)> Configure = [](W&) {}) {
  const auto addTo = [Ext, Configure](const fs::path& Dir, Ending E, WriterLog& Log) {
    W w;
    Configure(w);
    Aim(w, Dir / ("arc" + Ext), {(Dir / "src/*").string()}, E, Log);
    return w.Compress();
  };
  CanaryRow row;
  row.name = Kind + ": update";
  row.setup = [addTo, Ext](const fs::path& Dir, Canaries& C) {
    WriteFile(Dir / "src/old.txt", TextBytes(3000, 16));
    WriterLog log;
    ASSERT_EQ(addTo(Dir, Ending::Success, log), 1) << log.Describe();
    fs::remove_all(Dir / "src");
    WriteFile(Dir / "src/r1.bin", RandomBytes(3 << 20, 17));
    C.Watch(Dir / ("arc" + Ext));
    C.Watch(Dir / "src/r1.bin");
  };
  row.run = [addTo, Ext](const fs::path& Dir, Ending E, Canaries& C) {
    WriterLog log;
    std::unique_ptr<SmallDisk> disk;
    fs::path dir = Dir;
    if (E == Ending::Failure) {
      disk = std::make_unique<SmallDisk>(Dir / "small", "size=1m");
      if (!disk->mounted) GTEST_SKIP() << "a small tmpfs needs root";
      fs::copy_file(Dir / ("arc" + Ext), Dir / "small" / ("arc" + Ext));
      fs::create_directory_symlink(Dir / "src", Dir / "small/src");
      dir = Dir / "small";
    }
    const int added = addTo(dir, E, log);
    EXPECT_EQ(added, E == Ending::Success ? 1 : 0) << log.Describe();
    if (E == Ending::Success) C.Agree(Dir / ("arc" + Ext));
    if (E == Ending::Failure) {
      EXPECT_TRUE(log.Has(vsk::msg::DiskFull)) << log.Describe();
      for (std::size_t i = 0; i < log.codes.size(); ++i) {
        if (log.codes[i] == vsk::msg::DiskFull) {
          EXPECT_EQ(fs::path(log.files[i]).filename(), "arc" + Ext);
        }
      }
      EXPECT_EQ(ReadFile(Dir / ("arc" + Ext)), ReadFile(dir / ("arc" + Ext)));
      for (const auto& left : fs::directory_iterator(dir))
        EXPECT_NE(left.path().filename().string().substr(0, 3), "vsk") << left.path();
    }
  };
  return row;
}

template <class W>
std::vector<CanaryRow> LzhFamilyRows(const std::string& Kind, const std::string& Ext) {
  std::vector<CanaryRow> rows;
  const auto addTo = [Ext](const fs::path& Dir, Ending E, WriterLog& Log) {
    W w;
    Aim(w, Dir / ("arc" + Ext), {(Dir / "src/*").string()}, E, Log);
    return w.Compress();
  };
  // A file of another kind at the target is never taken for an archive.
  {
    TempDir probe;
    for (const auto& [what, bytes] : ForeignFiles(probe.path())) {
      if (what == "lzh" && Ext == ".lzh") continue;
      CanaryRow row;
      row.name = Kind + ": " + what + " at the target";
      row.endings = {Ending::Failure};
      row.setup = [bytes, Ext](const fs::path& Dir, Canaries& C) {
        WriteFile(Dir / "src/new.txt", TextBytes(2000, 11));
        WriteFile(Dir / ("arc" + Ext), bytes);
        C.Watch(Dir / ("arc" + Ext));
      };
      row.run = [addTo](const fs::path& Dir, Ending E, Canaries&) {
        WriterLog log;
        EXPECT_EQ(addTo(Dir, E, log), 0);
        EXPECT_TRUE(log.Has(vsk::msg::BadFileHeader)) << log.Describe();
      };
      rows.push_back(row);
    }
  }
  // A damaged header in the middle of an archive: nothing after it is
  // dropped; the update stops and the archive stays as it was.
  {
    CanaryRow row;
    row.name = Kind + ": update of a damaged archive";
    row.endings = {Ending::Failure};
    row.setup = [addTo, Ext](const fs::path& Dir, Canaries& C) {
      WriteFile(Dir / "src/a.txt", TextBytes(3000, 12));
      WriteFile(Dir / "src/b.txt", TextBytes(3000, 13));
      WriteFile(Dir / "src/c.txt", TextBytes(3000, 14));
      WriterLog log;
      ASSERT_EQ(addTo(Dir, Ending::Success, log), 3) << log.Describe();
      // The second entry's header: its first byte (LHA's size, BH's signature).
      std::string a = ReadFile(Dir / ("arc" + Ext));
      const std::size_t second = a.find(Ext == ".bh" ? "B\x48\x05\x07" : "-lh", 10);
      ASSERT_NE(second, std::string::npos);
      a[Ext == ".bh" ? second : second - 2] = 0;
      WriteFile(Dir / ("arc" + Ext), a);
      fs::remove_all(Dir / "src");
      WriteFile(Dir / "src/d.txt", TextBytes(3000, 15));
      C.Watch(Dir / ("arc" + Ext));
    };
    row.run = [addTo](const fs::path& Dir, Ending E, Canaries&) {
      WriterLog log;
      EXPECT_EQ(addTo(Dir, E, log), 0);
      EXPECT_TRUE(log.Has(vsk::msg::BadFileHeader)) << log.Describe();
    };
    rows.push_back(row);
  }
  rows.push_back(UpdateRow<W>(Kind, Ext));
  return rows;
}

TEST(WriterCanaries, LhaAndBhTargets) {
  CheckCanaryRows(LzhFamilyRows<vsk::TLha>("lha", ".lzh"));
  CheckCanaryRows(LzhFamilyRows<vsk::TBlakHole>("bh", ".bh"));
}

// A tar.gz named ".tgz": the run changes that file (asked about), its tar
// is "backup.tar", and no "backup.tgz.gz" appears. A file at the tar's
// name is asked about before anything happens to it; declined, nothing of
// the run's names is touched and the file stays among the sources.
TEST(WriterCanaries, TarGzNames) {
  CanaryRow tgz;
  tgz.name = "tar.gz: backup.tgz";
  tgz.setup = [](const fs::path& Dir, Canaries& C) {
    WriteFile(Dir / "src/a.txt", TextBytes(4000, 21));
    ASSERT_EQ(RunTool("tar czf ../backup.tgz a.txt", Dir / "src").exitCode, 0);
    fs::remove(Dir / "src/a.txt");
    WriteFile(Dir / "src/r1.bin", RandomBytes(3 << 20, 22));
    C.Watch(Dir / "backup.tgz");
    C.Watch(Dir / "src/r1.bin");
  };
  tgz.run = [](const fs::path& Dir, Ending E, Canaries& C) {
    std::unique_ptr<SmallDisk> disk;
    fs::path dir = Dir;
    if (E == Ending::Failure) {
      disk = std::make_unique<SmallDisk>(Dir / "small", "size=1m");
      if (!disk->mounted) GTEST_SKIP() << "a small tmpfs needs root";
      fs::copy_file(Dir / "backup.tgz", Dir / "small/backup.tgz");
      fs::create_directory_symlink(Dir / "src", Dir / "small/src");
      dir = Dir / "small";
    }
    vsk::TTar w;
    ASSERT_TRUE(w.SetCompressMethod(vsk::cmTarGzip));
    WriterLog log;
    std::vector<std::string> asked;
    w.OnFileExists = [&asked](TZipCommon&, const std::string& F, vsk::TDateTime, vsk::TOverwriteMode& M) {
      asked.push_back(F);
      M = vsk::omOverwrite;
    };
    Aim(w, dir / "backup.tgz", {(dir / "src/*").string()}, E, log);
    EXPECT_EQ(w.ArchiveFile(), (dir / "backup.tar").string());
    const int added = w.Compress();
    EXPECT_EQ(asked, std::vector<std::string>{(dir / "backup.tgz").string()});
    EXPECT_FALSE(fs::exists(dir / "backup.tgz.gz"));
    if (E == Ending::Success) {
      C.Agree(Dir / "backup.tgz");
      EXPECT_EQ(added, 1) << log.Describe();
      EXPECT_EQ(w.ArchiveFile(), (Dir / "backup.tgz").string());
      EXPECT_EQ(RunTool("gzip -t backup.tgz && tar tzf backup.tgz | sort | tr '\\n' ' '", Dir).output,
                "a.txt r1.bin ");
      EXPECT_EQ(RunTool("gzip -dc backup.tgz | cmp - backup.tar", Dir).exitCode, 0);
    } else {
      EXPECT_EQ(added, 0) << log.Describe();
      EXPECT_FALSE(fs::exists(dir / "backup.tar"));
    }
    if (E == Ending::Failure) {
      EXPECT_TRUE(log.Has(vsk::msg::DiskFull)) << log.Describe();
    }
  };

  CanaryRow notes;
  notes.name = "tar.gz: notes.gz beside the document notes";
  notes.endings = {Ending::Failure};
  notes.setup = [](const fs::path& Dir, Canaries& C) {
    WriteFile(Dir / "d/other.txt", TextBytes(3000, 23));
    C.Plant(Dir / "d/notes");
  };
  notes.run = [](const fs::path& Dir, Ending E, Canaries&) {
    vsk::TTar w;
    ASSERT_TRUE(w.SetCompressMethod(vsk::cmTarGzip));
    WriterLog log;
    std::vector<std::string> asked;
    w.OnFileExists = [&asked](TZipCommon&, const std::string& F, vsk::TDateTime, vsk::TOverwriteMode& M) {
      asked.push_back(F);
      M = vsk::omSkip;
    };
    Aim(w, Dir / "d/notes.gz", {(Dir / "d/*").string()}, E, log);
    EXPECT_EQ(w.Compress(), 0);
    EXPECT_EQ(asked, std::vector<std::string>{(Dir / "d/notes").string()});
    EXPECT_FALSE(fs::exists(Dir / "d/notes.gz"));
  };
  CheckCanaryRows({tgz, notes, UpdateRow<vsk::TTar>("tar", ".tar")});
}

// GZIP: two inputs of one output name in a run (x.txt in two folders, and
// a.txt beside a.doc with ".gz" for the extension), moved: the first
// input's member is made, the second is refused and kept, and no output
// is written twice. A failure is a full output disk.
TEST(WriterCanaries, GzipOutputNames) {
  std::vector<CanaryRow> rows;
  const std::vector<std::pair<std::string, std::vector<std::string>>> cases = {
      {"x.txt in two folders", {"src/a/x.txt", "src/b/x.txt"}},
      {"a.txt and a.doc", {"src/a.txt", "src/a.doc"}},
  };
  for (const auto& [what, inputs] : cases) {
    const std::string output = what == cases[0].first ? "x.gz" : "a.gz";
    CanaryRow row;
    row.name = "gzip: " + what;
    row.setup = [inputs](const fs::path& Dir, Canaries& C) {
      for (std::size_t i = 0; i < inputs.size(); ++i) {
        WriteFile(Dir / inputs[i], RandomBytes(3 << 20, 31 + static_cast<std::uint32_t>(i)));
        C.Watch(Dir / inputs[i]);
      }
      fs::create_directories(Dir / "out");
    };
    row.run = [inputs, output](const fs::path& Dir, Ending E, Canaries& C) {
      std::unique_ptr<SmallDisk> disk;
      if (E == Ending::Failure) {
        disk = std::make_unique<SmallDisk>(Dir / "out", "size=1m");
        if (!disk->mounted) GTEST_SKIP() << "a small tmpfs needs root";
      }
      vsk::TGZip w;
      w.ThreadCount = 1;
      WriterLog log;
      Aim(w, Dir / "out/any.gz", {(Dir / "src/*").string()}, E, log);
      w.RecurseDirs = true;
      w.Switch = vsk::swMove;
      w.ConfirmOverwrites = false;
      const int made = w.Compress();
      if (E != Ending::Success) {
        EXPECT_EQ(made, 0) << log.Describe();
        return;
      }
      EXPECT_EQ(made, 1) << log.Describe();
      EXPECT_EQ(log.codes, std::vector<int>{vsk::msg::ErrorCreatingFile}) << log.Describe();
      const std::string member = RunTool("gzip -dc " + output, Dir / "out").output;
      int kept = 0;
      for (const auto& in : inputs) {
        if (fs::exists(Dir / in)) {
          ++kept;
          EXPECT_NE(ReadFile(Dir / in), member) << in;
          EXPECT_EQ(log.files, std::vector<std::string>{(Dir / in).string()});
        } else {
          C.Agree(Dir / in);
        }
      }
      EXPECT_EQ(kept, 1);
      EXPECT_EQ(member.size(), 3u << 20);
    };
    rows.push_back(row);
  }
  CheckCanaryRows(rows);
}

// UU parts: every part name that exists is asked about, like the first
// text's; agreed, it is replaced, and declined, nothing is written. A
// failure is a full disk.
TEST(WriterCanaries, UuPartNames) {
  const auto encode = [](const fs::path& Dir, Ending E, vsk::TOverwriteMode Answer,
                         std::vector<std::string>& Asked, WriterLog& Log) {
    vsk::TUUEncode w;
    Aim(w, Dir / "x.bin", {}, E, Log);
    w.SetOutFilename((Dir / "x.UUE").string());
    w.KBytesPerVolume = 1024;
    w.OverwriteMode = vsk::omSkip;  // asked for every existing name
    w.OnFileExists = [&Asked, Answer](TZipCommon&, const std::string& F, vsk::TDateTime, vsk::TOverwriteMode& M) {
      Asked.push_back(fs::path(F).filename().string());
      M = Answer;
    };
    return w.Compress();
  };
  CanaryRow agreed;
  agreed.name = "uu: parts over existing files, agreed";
  agreed.setup = [](const fs::path& Dir, Canaries& C) {
    WriteFile(Dir / "x.bin", RandomBytes(3 << 20, 41));
    C.Watch(Dir / "x.bin");
    C.Plant(Dir / "x.UU2");
    C.Plant(Dir / "x.UU4");
  };
  agreed.run = [encode](const fs::path& Dir, Ending E, Canaries& C) {
    std::unique_ptr<SmallDisk> disk;
    fs::path dir = Dir;
    if (E == Ending::Failure) {
      disk = std::make_unique<SmallDisk>(Dir / "small", "size=1m");
      if (!disk->mounted) GTEST_SKIP() << "a small tmpfs needs root";
      fs::create_symlink(Dir / "x.bin", Dir / "small/x.bin");
      dir = Dir / "small";
    }
    std::vector<std::string> asked;
    WriterLog log;
    const int done = encode(dir, E, vsk::omOverwrite, asked, log);
    EXPECT_EQ(done, E == Ending::Success ? 1 : 0) << log.Describe();
    if (E != Ending::Success) return;
    EXPECT_EQ(asked, (std::vector<std::string>{"x.UU2", "x.UU4"}));
    C.Agree(Dir / "x.UU2");
    C.Agree(Dir / "x.UU4");
    EXPECT_EQ(RunTool("head -c 19 x.UU2", Dir).output, "part 2\r\nbegin 644 x");
  };
  CanaryRow declined;
  declined.name = "uu: a part over an existing file, declined";
  declined.endings = {Ending::Failure};
  declined.setup = [](const fs::path& Dir, Canaries& C) {
    WriteFile(Dir / "x.bin", RandomBytes(3 << 20, 42));
    C.Plant(Dir / "x.UU3");
  };
  declined.run = [encode](const fs::path& Dir, Ending E, Canaries&) {
    std::vector<std::string> asked;
    WriterLog log;
    EXPECT_EQ(encode(Dir, E, vsk::omSkip, asked, log), 0);
    EXPECT_EQ(asked, std::vector<std::string>{"x.UU3"});
    EXPECT_FALSE(fs::exists(Dir / "x.UUE"));
    EXPECT_FALSE(fs::exists(Dir / "x.UU1"));
  };
  CheckCanaryRows({agreed, declined});
}

// Spanned ZIP: an update of the archive on the first disk into a set of
// several disks, and a new set. The first disk keeps the archive at its
// name until the last part is written: a cancel at "insert disk 2", a
// write-protected third disk and a kill leave it as it was (a new set:
// nothing at its name), and no disk keeps a part that is not whole.
TEST(WriterCanaries, SpannedZipParts) {
  std::vector<CanaryRow> rows;
  for (const bool update : {true, false}) {
    CanaryRow row;
    row.name = update ? "spanned zip: update" : "spanned zip: new set";
    row.setup = [update](const fs::path& Dir, Canaries& C) {
      for (int i = 0; i < 6; ++i)
        WriteFile(Dir / "src" / ("p" + std::to_string(i) + ".bin"), RandomBytes(45000, 60 + i));
      C.Plant(Dir / "disk/notes.txt");
      if (update) {
        WriteFile(Dir / "old/kept.txt", TextBytes(2000, 70));
        ASSERT_EQ(RunTool("zip -q ../disk/arc.zip kept.txt", Dir / "old").exitCode, 0);
        C.Watch(Dir / "disk/arc.zip");
      }
    };
    row.run = [update](const fs::path& Dir, Ending E, Canaries& C) {
      const fs::path target = Dir / "disk/arc.zip";
      Drive drive(target, 100000);
      TZip w;
      WriterLog log;
      Aim(w, target, {(Dir / "src/*").string()}, Ending::Success, log);
      w.SetTempDir((Dir / "scratch").string());
      fs::create_directories(Dir / "scratch");
      drive.Attach(w);
      // The first disk, holding the archive, is left in when asked for.
      drive.keepSameDisk = update;
      const auto attached = w.OnInsertDisk;
      w.OnInsertDisk = [&](TZipCommon& S, const std::string& Volume, bool& Cancel) {
        if (Volume == "2" && E == Ending::Kill) KillHere();
        if (Volume == "2" && E == Ending::Cancel) {
          Cancel = true;
          return;
        }
        attached(S, Volume, Cancel);
        if (Volume == "3" && E == Ending::Failure) drive.vs.WriteProtected = true;
      };
      const int added = w.Compress();
      EXPECT_EQ(added, E == Ending::Success ? 6 : 0) << log.Describe();
      // The first disk back in the drive, as the user would look at it.
      drive.TakeLast();
      if (drive.current != 1) drive.Swap(1);
      if (E == Ending::Success) {
        if (update) C.Agree(target);
        EXPECT_GE(drive.parts.size(), 3u);
        const fs::path joined = Dir / "join";
        fs::create_directories(joined);
        for (std::size_t i = 0; i + 1 < drive.parts.size(); ++i)
          WriteFile(joined / ("set.z0" + std::to_string(i + 1)), drive.parts[i]);
        WriteFile(joined / "set.zip", drive.parts.back());
        EXPECT_EQ(RunTool("zip -q -s 0 set.zip --out all.zip && unzip -tq all.zip", joined).exitCode, 0);
        if (update) {
          EXPECT_EQ(RunTool("unzip -l all.zip kept.txt", joined).exitCode, 0);
        }
      } else {
        EXPECT_EQ(fs::exists(target), update);
      }
      for (const auto& [n, d] : drive.disks) {
        if (n < 1) continue;
        for (const auto& [name, bytes] : d.files) {
          if (name == "notes.txt" && n == 1) continue;
          // A first disk out of the drive when the run failed keeps its scratch part.
          if (E == Ending::Failure && n == 1 && name.rfind("vsk", 0) == 0) continue;
          EXPECT_EQ(name, "arc.zip") << "disk " << n;
        }
      }
    };
    rows.push_back(row);
  }
  CheckCanaryRows(rows);
}

}  // namespace
