#include "FrameStore.h"

#include <cstring>
#include <new>

#include "ByteCount.h"

namespace qv {

bool FrameStore::Configure(size_t rowBytes, size_t rows, size_t paddedRowBytes) {
  Reset();
  if (rowBytes == 0 || rows == 0 || paddedRowBytes < rowBytes) return false;
  // Frames are addressed with 32-bit lengths by the platform: refuse larger ones.
  size_t paddedFrameBytes = 0;
  if (!qv::rows::CountBytes(paddedRowBytes, rows, 1, qv::rows::kMax32BitBytes, &paddedFrameBytes)) return false;
  const size_t frameBytes = rowBytes * rows;
  if (!Reserve(frameBytes)) return false;
  m_rowBytes = rowBytes;
  m_rows = rows;
  m_paddedRowBytes = paddedRowBytes;
  m_frameBytes = frameBytes;
  m_lengths = Lengths::Rows;
  return true;
}

// One row of the whole frame: the rows rule then takes the frame from the start of any
// sample at least that long.
bool FrameStore::ConfigureLeading(size_t frameBytes) { return Configure(frameBytes, 1, frameBytes); }

bool FrameStore::ConfigureVariable(size_t capacity) {
  if (!Configure(capacity, 1, capacity)) return false;
  m_lengths = Lengths::Variable;
  return true;
}

bool FrameStore::Reserve(size_t bytes) {
  // Slots big enough already are kept: reopening a camera costs no allocation and no
  // page faults (fresh memory is expensive to touch, and opening is on the host's clock).
  if (bytes <= m_capacity) return true;
  for (auto& slot : m_slots) slot.reset();
  m_capacity = 0;
  for (auto& slot : m_slots) {
    slot.reset(new (std::nothrow) uint8_t[bytes]);
    if (!slot) {
      for (auto& s : m_slots) s.reset();
      return false;
    }
    // Touched here, so the streaming thread never takes a first-touch page fault.
    std::memset(slot.get(), 0, bytes);
  }
  m_capacity = bytes;
  return true;
}

void FrameStore::Reset() {
  Clear();
  m_rowBytes = m_rows = m_paddedRowBytes = m_frameBytes = 0;
  m_lengths = Lengths::Rows;
  for (size_t& bytes : m_slotBytes) bytes = 0;
  m_oversizeDrops.store(0, std::memory_order_relaxed);
}

int FrameStore::Fill(const uint8_t* data, size_t length, uint64_t* state) {
  if (data == nullptr || m_frameBytes == 0) return -1;
  bool padded = false;
  size_t copied = m_frameBytes;
  switch (m_lengths) {
    case Lengths::Rows:
      // Exactly the picture: rows as they are. Otherwise the picture with padded rows
      // starts the sample, and whatever follows it (an allocator-sized buffer, a
      // driver's trailer) is not copied. Lengths in between fit neither layout.
      if (length == m_frameBytes) break;
      if (length < m_paddedRowBytes * m_rows) return -1;
      padded = m_paddedRowBytes != m_rowBytes;
      break;
    case Lengths::Variable:
      if (length == 0) return -1;
      if (length > m_frameBytes) {
        // Only this thread counts, so the order of the count doesn't matter.
        m_oversizeDrops.fetch_add(1, std::memory_order_relaxed);
        return -1;
      }
      copied = length;
      break;
  }

  // The state first, then the reader's claim: a reader claims only after it has stored
  // its slot and seen the newest unchanged, so one of the two sees the other.
  *state = m_state.load();
  const int newest = SlotOf(*state);
  const int held = m_readerSlot.load();
  int slot = 0;
  while (slot == newest || slot == held) ++slot;

  uint8_t* target = m_slots[slot].get();
  if (!padded) {
    std::memcpy(target, data, copied);
  } else {
    for (size_t row = 0; row < m_rows; ++row) {
      std::memcpy(target + row * m_rowBytes, data + row * m_paddedRowBytes, m_rowBytes);
    }
  }
  m_slotBytes[slot] = copied;
  return slot;
}

void FrameStore::Clear() {
  uint64_t state = m_state.load();
  while (!m_state.compare_exchange_weak(state, Pack((state >> 8) + 1, -1))) {
  }
}

int FrameStore::ClaimNewest() {
  for (;;) {
    int slot = SlotOf(m_state.load());
    if (slot < 0) return -1;
    m_readerSlot.store(slot);
    // Still the newest after the claim: the writer has seen the claim before it picks
    // its next slot, so this one stays untouched until it is released.
    if (SlotOf(m_state.load()) == slot) return slot;
  }
}

const uint8_t* FrameStore::NewestAddress() const {
  int slot = SlotOf(m_state.load());
  return slot < 0 ? nullptr : m_slots[slot].get();
}

}  // namespace qv
