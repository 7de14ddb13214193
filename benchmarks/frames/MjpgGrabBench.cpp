// The MJPG handover at 1920x1080 through the callback object, under Wine:
//   - the streaming thread's work per sample (BufferCB: the flag, the copy into a slot,
//     the publication) against one memcpy of the same compressed bytes;
//   - the host's grab (GrabFrame: claim the slot, decode, copy out) against
//     libjpeg-turbo's bare decode of the same bytes straight into a bottom-up BGR buffer.
// The copies' speed depends on where source and destination sit within a page (a store
// just ahead of the loads, modulo 4 KiB, stalls them), so the memcpy writes to the same
// page offset as the slot, and the sample is placed at a few page offsets, as the
// platform's allocator may place it. The jobs take turns, batch by batch and in a new
// order each round, so a busy neighbour slows them alike; each figure is the median
// batch, and the ratios come from this one run.
//
//   bench_mjpg_grab.exe [rounds]     (default 61)
#include <windows.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <functional>
#include <random>
#include <vector>

#include "BareJpegDecoder.h"
#include "DSGrabberCB.h"
#include "MjpgTestFrames.h"

namespace {

constexpr int kWidth = 1920, kHeight = 1080;
constexpr size_t kFrameBytes = size_t{kWidth} * kHeight * 3;
using Bytes = std::vector<uint8_t>;
using Clock = std::chrono::steady_clock;

constexpr size_t kPage = 4096;

// The first address in area at this offset within a page; area has two pages to spare.
uint8_t* AtPageOffset(Bytes& area, size_t offset) {
  const size_t base = reinterpret_cast<uintptr_t>(area.data()) % kPage;
  return area.data() + (offset + kPage - base) % kPage;
}

struct Job {
  int batch;
  std::function<void()> run;
  std::vector<double> perCall;
};

double MedianMicroseconds(std::vector<double> v) {
  std::sort(v.begin(), v.end());
  return v[v.size() / 2];
}

}  // namespace

int main(int argc, char** argv) {
  const int rounds = argc > 1 ? std::max(5, std::atoi(argv[1])) : 61;

  mjpgtest::EncodeOptions options;
  options.sampling = mjpgtest::Sampling::k422;
  options.quality = 85;
  const Bytes jpeg = mjpgtest::Encode(mjpgtest::PictureRgb(kWidth, kHeight, 1), kWidth, kHeight, options);
  const long length = static_cast<long>(jpeg.size());
  Bytes grabbed(kFrameBytes, 1), bare(kFrameBytes, 2);

  CDSGrabberCB cb;
  cb.RecordFormat(MEDIASUBTYPE_MJPG, kWidth, kHeight);
  ISampleGrabberCB* sink = &cb;
  g_nGrabFlag = 1;
  Bytes first = jpeg;
  if (sink->BufferCB(0.0, first.data(), length) != S_FALSE) {
    std::fprintf(stderr, "the callback did not record the benchmark frame\n");
    return 1;
  }
  const size_t slotOffset = reinterpret_cast<uintptr_t>(cb.m_pBuffer.load()) % kPage;
  mjpgtest::BareJpegDecoder bareDecoder;
  cb.GrabFrame(grabbed.data());
  bareDecoder.Decode(jpeg, bare.data());
  std::printf("1920x1080 4:2:2 q85 MJPG frame, %zu bytes; grab and bare decode %s\n", jpeg.size(),
              grabbed == bare ? "identical" : "DIFFER");
  if (grabbed != bare) return 1;

  // The memcpy's destination, at the slots' page offset; the samples at their offsets.
  Bytes copyArea(jpeg.size() + 2 * kPage);
  uint8_t* const copyTarget = AtPageOffset(copyArea, slotOffset);
  const size_t sampleOffsets[] = {0, 64, kPage / 2};
  Bytes sampleAreas[3];
  uint8_t* samples[3];
  for (int i = 0; i < 3; ++i) {
    sampleAreas[i].resize(jpeg.size() + 2 * kPage);
    samples[i] = AtPageOffset(sampleAreas[i], sampleOffsets[i]);
    std::memcpy(samples[i], jpeg.data(), jpeg.size());
  }

  // Batches long enough for the clock: the copies take tens of microseconds.
  constexpr int kCopyBatch = 20, kDecodeBatch = 1;
  volatile uint8_t sinkByte = 0;
  std::vector<Job> jobs;
  for (int i = 0; i < 3; ++i) {
    uint8_t* const sample = samples[i];
    jobs.push_back({kCopyBatch,
                    [&, sample] {
                      std::memcpy(copyTarget, sample, jpeg.size());
                      sinkByte = copyTarget[jpeg.size() / 2];
                    },
                    {}});
    jobs.push_back({kCopyBatch,
                    [&, sample] {
                      if (sink->BufferCB(0.0, sample, length) != S_FALSE) std::abort();
                    },
                    {}});
  }
  const size_t bareJob = jobs.size();
  jobs.push_back({kDecodeBatch, [&] { bareDecoder.Decode(jpeg, bare.data()); }, {}});
  jobs.push_back({kDecodeBatch, [&] { cb.GrabFrame(grabbed.data()); }, {}});
  for (Job& job : jobs) job.run();  // warm up
  std::vector<size_t> order(jobs.size());
  for (size_t i = 0; i < order.size(); ++i) order[i] = i;
  std::mt19937 shuffle(7);
  for (int round = 0; round < rounds; ++round) {
    // A new order each round: no job always follows the one that emptied the caches.
    std::shuffle(order.begin(), order.end(), shuffle);
    for (size_t index : order) {
      Job& job = jobs[index];
      const auto start = Clock::now();
      for (int i = 0; i < job.batch; ++i) job.run();
      job.perCall.push_back(std::chrono::duration<double, std::micro>(Clock::now() - start).count() / job.batch);
    }
  }
  (void)sinkByte;
  if (grabbed != bare) {
    std::fprintf(stderr, "the grabbed frame changed while timing\n");
    return 1;
  }

  std::printf("medians of %d rounds, %d-bit build; slots at page offset %zu:\n", rounds,
              static_cast<int>(sizeof(void*) * 8), slotOffset);
  for (int i = 0; i < 3; ++i) {
    const double copy = MedianMicroseconds(jobs[2 * i].perCall), record = MedianMicroseconds(jobs[2 * i + 1].perCall);
    std::printf(
        "  streaming thread, sample at page offset %4zu: BufferCB / memcpy %.3fx (%.1f us / %.1f us; "
        "target <= 1.2x)\n",
        sampleOffsets[i], record / copy, record, copy);
  }
  const double decode = MedianMicroseconds(jobs[bareJob].perCall), grab = MedianMicroseconds(jobs[bareJob + 1].perCall);
  std::printf("  host: GrabFrame / bare libjpeg-turbo decode %.3fx (%.0f us / %.0f us; target <= 1.15x)\n",
              grab / decode, grab, decode);
  return 0;
}
