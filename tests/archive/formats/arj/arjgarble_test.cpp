#include "archive/formats/arj/arjgarble.h"

#include <gtest/gtest.h>

#include <string>

namespace vsk {
namespace {

std::string Applied(TArjGarble& G, std::string Data) {
  G.Apply(reinterpret_cast<Byte*>(Data.data()), Data.size());
  return Data;
}

TEST(ArjGarble, KeyCyclesAcrossBlocksAndStartsAgainPerEntry) {
  const std::string plain = "garbled entry data";
  // The key is the password with the modifier added to each byte.
  std::string garbled = plain;
  const std::string key = {static_cast<char>('x' + 3), static_cast<char>('y' + 3), static_cast<char>('z' + 3)};
  for (std::size_t i = 0; i < garbled.size(); ++i) garbled[i] = static_cast<char>(garbled[i] ^ key[i % key.size()]);

  TArjGarble g;
  g.SetKey("xyz", 3);
  EXPECT_EQ(Applied(g, plain), garbled);
  // In blocks that end inside the key, after Restart at the entry's start.
  g.Restart();
  std::string out;
  for (std::size_t at = 0; at < garbled.size(); at += 4) out += Applied(g, garbled.substr(at, 4));
  EXPECT_EQ(out, plain);

  // A new key starts from its first byte; a shorter one after a longer one
  // does not run past its end.
  g.SetKey("xyz", 3);
  Applied(g, "ab");
  g.SetKey("q", 0);
  EXPECT_EQ(Applied(g, "qq"), std::string(2, '\0'));

  // Without a key the data stay as they are.
  g.Clear();
  EXPECT_EQ(Applied(g, plain), plain);
}

}  // namespace
}  // namespace vsk
