// Hashed indexes for the symbol tables that every statement reads: names to the first
// entry that carries each (NameIndex) and 64-bit keys to small values (IntegerMap).
// Both keep their entries in one slot array with linear probing, and NameIndex keeps its
// keys in one character arena, so an entry costs no allocation of its own and a table
// is released at once. Growth that cannot be allocated throws std::bad_alloc.
#ifndef ZQASM_PLATFORM_FLAT_INDEX_H_
#define ZQASM_PLATFORM_FLAT_INDEX_H_

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <string>
#include <string_view>
#include <vector>

#include "platform/text.h"

namespace zq {

// Names to non-negative values; the first insert of a name stands. With case folding,
// names that differ only in the case of their letters are one key.
class NameIndex {
 public:
  explicit NameIndex(bool foldCase = false) : fold_(foldCase) {}

  bool foldCase() const { return fold_; }
  // Chooses the comparison; the index is emptied, since its keys were placed by the other.
  void reset(bool foldCase) {
    clear();
    fold_ = foldCase;
  }
  size_t size() const { return count_; }
  bool empty() const { return count_ == 0; }
  void clear() {
    slots_.clear();
    arena_.clear();
    count_ = 0;
  }

  // The value stored with `name`, or -1.
  int32_t find(std::string_view name) const {
    if (slots_.empty()) return -1;
    const uint32_t hash = hashOf(name);
    for (size_t i = hash & mask(); slots_[i].value >= 0; i = (i + 1) & mask()) {
      if (slots_[i].hash == hash && keyEquals(slots_[i], name)) return slots_[i].value;
    }
    return -1;
  }

  // Stores `value` (>= 0) for `name` unless the name is present. Returns the value that
  // stands for the name afterwards: `value`, or the earlier one.
  int32_t insert(std::string_view name, int32_t value) {
    if (2 * (count_ + 1) > slots_.size()) grow();
    const uint32_t hash = hashOf(name);
    size_t i = hash & mask();
    for (; slots_[i].value >= 0; i = (i + 1) & mask()) {
      if (slots_[i].hash == hash && keyEquals(slots_[i], name)) return slots_[i].value;
    }
    Slot& slot = slots_[i];
    slot.offset = arena_.size();
    arena_.append(name.data(), name.size());
    slot.length = name.size();
    slot.hash = hash;
    slot.value = value;
    ++count_;
    return value;
  }

 private:
  struct Slot {
    size_t offset = 0;  // key in arena_
    size_t length = 0;
    uint32_t hash = 0;
    int32_t value = -1;  // -1: empty slot
  };

  size_t mask() const { return slots_.size() - 1; }

  // A hash of the bytes read eight at a time (a short name in two overlapping pieces).
  // When the index folds, bit 5 of every byte is left out: names equal but for the case
  // of their letters then hash alike (a few others do too, which the comparison tells
  // apart).
  uint32_t hashOf(std::string_view name) const {
    const uint64_t keep = fold_ ? 0xDFDFDFDFDFDFDFDFull : ~0ull;
    const char* p = name.data();
    const size_t n = name.size();
    uint64_t hash = n * 0x9E3779B97F4A7C15ull;
    if (n >= 8) {
      uint64_t piece;
      for (size_t i = 0; i + 8 < n; i += 8) {
        std::memcpy(&piece, p + i, 8);
        hash = mix(hash ^ (piece & keep));
      }
      std::memcpy(&piece, p + n - 8, 8);
      return static_cast<uint32_t>(mix(hash ^ (piece & keep)));
    }
    uint64_t piece = 0;
    if (n >= 4) {
      uint32_t head, tail;
      std::memcpy(&head, p, 4);
      std::memcpy(&tail, p + n - 4, 4);
      piece = static_cast<uint64_t>(head) << 32 | tail;
    } else if (n > 0) {
      piece = static_cast<uint64_t>(static_cast<unsigned char>(p[0])) << 16 |
              static_cast<uint64_t>(static_cast<unsigned char>(p[n / 2])) << 8 |
              static_cast<unsigned char>(p[n - 1]);
    }
    return static_cast<uint32_t>(mix(hash ^ (piece & keep)));
  }

  static uint64_t mix(uint64_t x) {
    x ^= x >> 32;
    x *= 0xD6E8FEB86659FD93ull;
    x ^= x >> 32;
    return x;
  }

  bool keyEquals(const Slot& slot, std::string_view name) const {
    if (slot.length != name.size()) return false;
    const char* key = arena_.data() + slot.offset;
    // Names are mostly written alike, which one compare of the bytes settles.
    if (std::memcmp(key, name.data(), name.size()) == 0) return true;
    if (!fold_) return false;
    for (size_t i = 0; i < name.size(); ++i)
      if (toUpper(key[i]) != toUpper(name[i])) return false;
    return true;
  }

  // The new array is made before the old one goes, so a failed growth changes nothing.
  void grow() {
    std::vector<Slot> grown(slots_.empty() ? 16 : 2 * slots_.size());
    const size_t grownMask = grown.size() - 1;
    for (const Slot& slot : slots_) {
      if (slot.value < 0) continue;
      size_t i = slot.hash & grownMask;
      while (grown[i].value >= 0) i = (i + 1) & grownMask;
      grown[i] = slot;
    }
    slots_.swap(grown);
  }

  std::vector<Slot> slots_;
  std::string arena_;
  size_t count_ = 0;
  bool fold_;
};

// 64-bit keys to values of type V.
template <typename V>
class IntegerMap {
 public:
  size_t size() const { return count_; }
  void clear() {
    slots_.clear();
    count_ = 0;
  }

  // The value of `key`, or nullptr.
  const V* find(uint64_t key) const {
    if (slots_.empty()) return nullptr;
    for (size_t i = slotOf(key); slots_[i].used; i = (i + 1) & mask())
      if (slots_[i].key == key) return &slots_[i].value;
    return nullptr;
  }
  bool contains(uint64_t key) const { return find(key) != nullptr; }

  // The value of `key`, made from `initial` when the key is new.
  V& insert(uint64_t key, const V& initial) {
    if (2 * (count_ + 1) > slots_.size()) grow();
    size_t i = slotOf(key);
    for (; slots_[i].used; i = (i + 1) & mask())
      if (slots_[i].key == key) return slots_[i].value;
    slots_[i].used = true;
    slots_[i].key = key;
    slots_[i].value = initial;
    ++count_;
    return slots_[i].value;
  }

 private:
  struct Slot {
    uint64_t key = 0;
    V value{};
    bool used = false;
  };

  size_t mask() const { return slots_.size() - 1; }
  // Fibonacci hashing: the high bits of the product spread consecutive keys.
  size_t slotOf(uint64_t key) const {
    return static_cast<size_t>((key * 0x9E3779B97F4A7C15ull) >> 32) & mask();
  }

  void grow() {
    std::vector<Slot> grown(slots_.empty() ? 16 : 2 * slots_.size());
    slots_.swap(grown);  // slotOf and mask read the new size
    for (const Slot& slot : grown) {
      if (!slot.used) continue;
      size_t i = slotOf(slot.key);
      while (slots_[i].used) i = (i + 1) & mask();
      slots_[i] = slot;
    }
  }

  std::vector<Slot> slots_;
  size_t count_ = 0;
};

}  // namespace zq

#endif  // ZQASM_PLATFORM_FLAT_INDEX_H_
