#pragma once
// The in-memory tree of one registry hive and its text form (see registry.h
// for the file format). Internal to the registry stand-in.

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "platform/registry.h"

namespace vsk::reghive {

// Deeper key paths are refused, as the platform registry refuses them.
inline constexpr std::size_t kMaxKeyDepth = 512;

// Upper-cased form of a key or value name, the form names are compared in.
std::string FoldName(std::string_view name);

struct Value {
  std::string Name;
  std::string Fold;
  TRegDataType Type = rdString;
  std::string Text;
  std::uint32_t Number = 0;
};

struct Node {
  std::string Name;
  std::string Fold;
  std::vector<Value> Values;
  std::vector<std::unique_ptr<Node>> Keys;
  // Lines below this key that could not be read (a bad escape, a key line
  // that names no key and the values under it), written back as they were
  // so that a hand edit is never lost.
  std::vector<std::string> Unread;
  // On the root only: unreadable lines before the first key line.
  std::vector<std::string> Preamble;

  Node* FindKey(std::string_view fold) const;
  // The subkey of that name, added at the end when missing.
  Node& GetKey(const std::string& name);
  bool RemoveKey(std::string_view fold);
  Value* FindValue(std::string_view fold);
  // Sets a value; an existing one (any case of its name) keeps its place
  // and its name's case.
  void SetValue(const std::string& name, TRegDataType type, const std::string& text, std::uint32_t number);
  bool RemoveValue(std::string_view fold);
};

// Parses a hive file into `root` (which must be empty). Blanks around a line
// and around its "=" are allowed; a line that cannot be read is kept in
// Unread (or Preamble) and the rest is read. False when the text holds
// lines but not one readable key or value line: it is no hive at all.
bool ParseHive(std::string_view text, Node& root);
// The text form of a hive; `rootName` goes into the heading comment.
std::string SerializeHive(const Node& root, std::string_view rootName);

}  // namespace vsk::reghive
