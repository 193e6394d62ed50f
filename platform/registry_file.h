#pragma once
// Reading and writing hive files safely between processes. Internal to the
// registry stand-in.

#include <sys/types.h>

#include <ctime>
#include <functional>
#include <memory>
#include <string>

#include "platform/registry_hive.h"
#include "platform/sharedfile.h"

namespace vsk::reghive {

// What a hive file was when it was read; a changed identity means another
// writer has replaced it (writers always rename a new file into place).
using FileIdentity = TFileStamp;

struct Snapshot {
  std::unique_ptr<Node> Root = std::make_unique<Node>();
  FileIdentity Identity;
};

FileIdentity StatHive(const std::string& file);

// Reads a hive without locking. A file that cannot be read, or holds no
// hive at all, reads as empty; a reader never moves or changes it.
Snapshot LoadHive(const std::string& file);

// Whether the hive's folder exists (it is created when missing) and the
// hive could be written.
bool HiveWritable(const std::string& file);

// One write transaction: under the hive's lock, reads the current file,
// lets `apply` change it and, when the text changed, writes it to a
// temporary file, flushes it and renames it over the hive. A hive behind a
// symbolic link is written beside the file the link names, with its mode;
// its lock stays beside the link, in the registry's own folder.
// A file that holds no hive at all is moved aside first (it is told by
// TakeDamagedHives); one that cannot be read is never replaced. Scratch
// files of killed writers are deleted. On success `result` is the hive as
// written.
bool CommitHive(const std::string& file, const std::string& rootName, const std::function<void(Node&)>& apply,
                Snapshot& result);

// A writer's look at a hive before it relies on it: under the lock, a file
// that holds no hive at all is moved aside as a write would move it.
void SetAsideIfNoHive(const std::string& file);

}  // namespace vsk::reghive
