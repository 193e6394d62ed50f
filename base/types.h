#pragma once
// Basic integer types and the small bit-set used for enumeration sets.

#include <array>
#include <cstddef>
#include <cstdint>
#include <initializer_list>
#include <type_traits>

namespace vsk {

using Int8 = std::int8_t;
using Int16 = std::int16_t;
using Int32 = std::int32_t;
using Int64 = std::int64_t;
using Byte = std::uint8_t;
using UInt16 = std::uint16_t;
using UInt32 = std::uint32_t;
using UInt64 = std::uint64_t;

// A set of enumeration members, ordinal N stored as bit N. E must be an
// enumeration whose ordinals are below Capacity.
template <typename E, std::size_t Capacity = 64>
class TSet {
  static_assert(std::is_enum_v<E>, "TSet holds enumeration members");
  static constexpr std::size_t kWords = (Capacity + 63) / 64;

 public:
  constexpr TSet() = default;
  constexpr TSet(std::initializer_list<E> members) {
    for (E m : members) Include(m);
  }

  constexpr bool Contains(E m) const {
    const auto o = Ord(m);
    return o < Capacity && ((words_[o / 64] >> (o % 64)) & 1u) != 0;
  }
  constexpr TSet& Include(E m) {
    const auto o = Ord(m);
    if (o < Capacity) words_[o / 64] |= UInt64{1} << (o % 64);
    return *this;
  }
  constexpr TSet& Exclude(E m) {
    const auto o = Ord(m);
    if (o < Capacity) words_[o / 64] &= ~(UInt64{1} << (o % 64));
    return *this;
  }
  constexpr bool Empty() const {
    for (auto w : words_)
      if (w != 0) return false;
    return true;
  }
  constexpr std::size_t Count() const {
    std::size_t n = 0;
    for (auto w : words_)
      for (; w != 0; w &= w - 1) ++n;
    return n;
  }

  constexpr TSet operator+(const TSet& o) const {
    TSet r;
    for (std::size_t i = 0; i < kWords; ++i) r.words_[i] = words_[i] | o.words_[i];
    return r;
  }
  constexpr TSet operator-(const TSet& o) const {
    TSet r;
    for (std::size_t i = 0; i < kWords; ++i) r.words_[i] = words_[i] & ~o.words_[i];
    return r;
  }
  constexpr TSet operator*(const TSet& o) const {
    TSet r;
    for (std::size_t i = 0; i < kWords; ++i) r.words_[i] = words_[i] & o.words_[i];
    return r;
  }
  constexpr bool operator==(const TSet&) const = default;

 private:
  static constexpr std::size_t Ord(E m) {
    return static_cast<std::size_t>(static_cast<std::underlying_type_t<E>>(m));
  }
  std::array<UInt64, kWords> words_{};
};

}  // namespace vsk

namespace vsk {

// A date and time as days since 1899-12-30 00:00 with the time of day as the
// fraction (the representation stored dates and the program's views use).
using TDateTime = double;

}  // namespace vsk
