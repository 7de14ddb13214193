// Hands frames from the streaming thread to the host thread without a lock.
//
// The writer (the streaming thread) copies each frame into one of three slots the
// store owns and publishes it; the reader (the host thread) claims the newest
// published slot while it copies out of it. The writer never writes the newest slot
// nor the one the reader holds, so with three slots it always has one to fill and
// never waits, and the reader always gets a whole frame. Slots are sized by
// Configure (or ConfigureLeading, ConfigureVariable), on the host thread, while no
// frame is being delivered; Publish then neither allocates, locks nor calls the system.
#pragma once

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <memory>

namespace qv {

class FrameStore {
 public:
  static constexpr int kSlots = 3;

  // Frames of rows rows of rowBytes bytes each. A delivered sample is accepted when it
  // is exactly rows * rowBytes bytes (rows as they are), or at least rows *
  // paddedRowBytes: the frame's rows then start the sample paddedRowBytes apart (the
  // padding and any bytes after the last row are dropped). Returns false, and accepts
  // nothing, for an empty or overflowing size or when memory can't be had. Host thread,
  // no writer.
  bool Configure(size_t rowBytes, size_t rows, size_t paddedRowBytes);
  // Frames of frameBytes, delivered in samples of at least that many bytes: the first
  // frameBytes are the frame, the rest is not copied. Same refusals as Configure.
  bool ConfigureLeading(size_t frameBytes);
  // Compressed frames: each of 1 to capacity bytes, kept with its own length, which
  // the reader is handed. A longer frame is dropped and counted (OversizeDrops).
  // Same refusals as Configure.
  bool ConfigureVariable(size_t capacity);
  // Accepts no frame until the next Configure; the slots' memory is kept for it.
  // Host thread, no writer.
  void Reset();

  // Writer: copies a delivered frame into a free slot and publishes it, provided that
  // stillWanted() is true once the copy is done. False when the frame does not have an
  // accepted length, when it is no longer wanted, or when a Clear came in between
  // (nothing is recorded then). stillWanted lets a host that turns recording off and
  // then clears be sure that no copy already under way is published after the clear.
  template <typename StillWanted>
  bool Publish(const uint8_t* data, size_t length, StillWanted&& stillWanted) {
    uint64_t state = 0;
    const int slot = Fill(data, length, &state);
    if (slot < 0 || !stillWanted()) return false;
    // Only this thread picks slots; a failed exchange means the host cleared meanwhile.
    return m_state.compare_exchange_strong(state, Pack(state >> 8, slot));
  }
  bool Publish(const uint8_t* data, size_t length) {
    return Publish(data, length, [] { return true; });
  }

  // Frames dropped for being longer than a slot since the last configuration
  // (ConfigureVariable only).
  uint32_t OversizeDrops() const { return m_oversizeDrops.load(std::memory_order_relaxed); }

  // Host: forgets the newest frame; a Publish already under way is discarded.
  void Clear();

  // Reader: calls consume(frame, bytes) with the newest published frame while the slot
  // is held; bytes is FrameBytes(), or the frame's own length for variable frames.
  // False, without calling it, when there is none.
  template <typename Consume>
  bool ReadNewest(Consume&& consume) {
    int slot = ClaimNewest();
    if (slot < 0) return false;
    // The length was written with the bytes, before the publication the claim saw.
    consume(static_cast<const uint8_t*>(m_slots[slot].get()), m_slotBytes[slot]);
    m_readerSlot.store(-1);
    return true;
  }

  // The newest published frame's memory, or null; for reporting only (reading it may race
  // a later publication; use ReadNewest to copy).
  const uint8_t* NewestAddress() const;
  // The bytes of each frame; for variable frames, the most a frame may have.
  size_t FrameBytes() const { return m_frameBytes; }

 private:
  enum class Lengths { Rows, Variable };

  // Makes every slot hold at least bytes; false (and no slots) when memory can't be had.
  bool Reserve(size_t bytes);
  // Copies the frame into a slot that is neither the newest nor the reader's; returns
  // the slot (-1: not an accepted frame) and the state it was chosen against.
  int Fill(const uint8_t* data, size_t length, uint64_t* state);
  int ClaimNewest();

  // The published state: the clear count in the high bits, the newest slot + 1 in the
  // low byte (0: none). One word, so a clear and a publication can't interleave.
  static uint64_t Pack(uint64_t clears, int slot) { return (clears << 8) | static_cast<uint64_t>(slot + 1); }
  static int SlotOf(uint64_t state) { return static_cast<int>(state & 0xFF) - 1; }

  std::unique_ptr<uint8_t[]> m_slots[kSlots];
  size_t m_capacity = 0;  // bytes each slot can hold
  size_t m_rowBytes = 0;
  size_t m_rows = 0;
  size_t m_paddedRowBytes = 0;
  size_t m_frameBytes = 0;
  Lengths m_lengths = Lengths::Rows;
  // Each slot's frame length; written by the writer with the slot's bytes.
  size_t m_slotBytes[kSlots] = {};
  std::atomic<uint32_t> m_oversizeDrops{0};
  std::atomic<uint64_t> m_state{0};
  std::atomic<int> m_readerSlot{-1};
};

}  // namespace qv
