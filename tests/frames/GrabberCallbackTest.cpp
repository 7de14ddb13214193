// The grabber callback as the sample grabber and the exports use it: COM identity,
// the grab flag's transitions, what a grab writes and what it leaves alone.
#include <gtest/gtest.h>

#include <atomic>
#include <cstring>
#include <string>
#include <thread>
#include <vector>

#include "DSGrabberCB.h"
#include "FramePattern.h"
#include "PixelConversions.h"

// The module defines the one callback object with its other static objects; these tests
// don't link the module, so they define it here.
CDSGrabberCB g_grabberCB;

namespace {

using qvtest::FillFrame;
using qvtest::FillPadded;
using qvtest::GuardedBuffer;
using qvtest::WholeFrameSeq;

// Taken during static initialisation, before any test can change it.
const LONG kFlagAtLoad = g_nGrabFlag;

std::string Hex(HRESULT hr) {
  char text[16];
  std::snprintf(text, sizeof text, "0x%08lX", static_cast<unsigned long>(hr));
  return text;
}

std::vector<uint8_t> Pattern(size_t bytes, uint32_t seq) {
  std::vector<uint8_t> frame(bytes);
  FillFrame(frame.data(), frame.size(), seq);
  return frame;
}

// Every test starts with recording on, as the module is loaded, and leaves it so.
class GrabberCallback : public testing::Test {
 protected:
  void SetUp() override { g_nGrabFlag = 1; }
  void TearDown() override { g_nGrabFlag = 1; }

  // Calls go through the interface pointer, as the sample grabber makes them.
  HRESULT Deliver(CDSGrabberCB& cb, std::vector<uint8_t>& frame) {
    ISampleGrabberCB* sink = &cb;
    return sink->BufferCB(0.0, frame.data(), static_cast<long>(frame.size()));
  }

  // The grab into a guarded destination of the size the host would allocate.
  GuardedBuffer Grab(CDSGrabberCB& cb, size_t bytes) {
    GuardedBuffer out(bytes);
    cb.GrabFrame(out.data());
    EXPECT_TRUE(out.GuardsIntact()) << "the grab wrote outside width x height x 3 bytes";
    return out;
  }
};

TEST_F(GrabberCallback, ModuleObjectStartsWithTheDefaults) {
  EXPECT_EQ(1, kFlagAtLoad);
  EXPECT_EQ(0, g_grabberCB.m_nWidth);
  EXPECT_EQ(0, g_grabberCB.m_nHeight);
  EXPECT_EQ(nullptr, g_grabberCB.m_pBuffer.load());
  EXPECT_TRUE(IsEqualGUID(g_grabberCB.m_subtype, MEDIASUBTYPE_RGB24));
  EXPECT_STREQ("c:\\ombrix.bmp", g_grabberCB.m_strCapturePath);
  int width = -7, height = -7;
  g_grabberCB.GetImageSize(&width, &height);
  EXPECT_EQ(0, width);
  EXPECT_EQ(0, height);
}

// ---------------------------------------------------------------------------------
// COM identity and counts.

struct InterfaceCase {
  const char* name;
  IID iid;
  bool supported;
};

IID Altered(const IID& iid, int byte) {
  IID changed = iid;
  reinterpret_cast<unsigned char*>(&changed)[byte] ^= 0x01;
  return changed;
}

TEST_F(GrabberCallback, QueryInterfaceAnswersForItsTwoInterfacesOnly) {
  const InterfaceCase cases[] = {
      {"IUnknown", IID_IUnknown, true},
      {"ISampleGrabberCB", IID_ISampleGrabberCB, true},
      {"IDispatch", IID_IDispatch, false},
      {"IClassFactory", IID_IClassFactory, false},
      {"ISampleGrabber", IID_ISampleGrabber, false},
      {"IBaseFilter", IID_IBaseFilter, false},
      {"ISampleGrabberCB, first byte changed", Altered(IID_ISampleGrabberCB, 0), false},
      {"ISampleGrabberCB, last byte changed", Altered(IID_ISampleGrabberCB, 15), false},
      {"IUnknown, eighth byte changed", Altered(IID_IUnknown, 7), false},
      {"GUID_NULL", GUID_NULL, false},
  };
  CDSGrabberCB cb;
  ISampleGrabberCB* sink = &cb;
  void* const sentinel = reinterpret_cast<void*>(0x5A5A5A5A);
  for (const InterfaceCase& c : cases) {
    SCOPED_TRACE(c.name);
    void* out = sentinel;
    HRESULT hr = sink->QueryInterface(c.iid, &out);
    if (c.supported) {
      EXPECT_EQ(S_OK, hr) << Hex(hr);
      EXPECT_EQ(static_cast<void*>(sink), out) << "not the object itself";
    } else {
      EXPECT_EQ(E_NOINTERFACE, hr) << Hex(hr);
      EXPECT_EQ(sentinel, out) << "the pointer must stay unwritten";
    }
  }
  EXPECT_EQ(E_POINTER, sink->QueryInterface(IID_IUnknown, nullptr));
}

TEST_F(GrabberCallback, AddRefAndReleaseKeepNoCount) {
  CDSGrabberCB cb;
  ISampleGrabberCB* sink = &cb;
  void* out = nullptr;
  for (int i = 0; i < 5; ++i) {
    EXPECT_EQ(2u, sink->AddRef());
    ASSERT_EQ(S_OK, sink->QueryInterface(IID_ISampleGrabberCB, &out));
  }
  for (int i = 0; i < 7; ++i) EXPECT_EQ(1u, sink->Release());
  EXPECT_EQ(2u, sink->AddRef());
}

TEST_F(GrabberCallback, SampleCallbackDoesNothing) {
  CDSGrabberCB cb;
  cb.RecordFormat(MEDIASUBTYPE_RGB24, 4, 2);
  auto frame = Pattern(24, 5);
  ASSERT_EQ(S_FALSE, Deliver(cb, frame));
  unsigned char* recorded = cb.m_pBuffer.load();
  for (LONG flag : {1, 2, 0}) {
    g_nGrabFlag = flag;
    ISampleGrabberCB* sink = &cb;
    EXPECT_EQ(S_OK, sink->SampleCB(1.5, nullptr));
    EXPECT_EQ(flag, g_nGrabFlag.load());
    EXPECT_EQ(recorded, cb.m_pBuffer.load());
  }
}

// ---------------------------------------------------------------------------------
// The grab flag.

struct FlagCase {
  LONG before;
  HRESULT result;
  LONG after;
  bool recorded;
};

TEST_F(GrabberCallback, BufferCallbackFollowsTheGrabFlag) {
  const FlagCase cases[] = {
      {1, S_FALSE, 1, true}, {2, S_OK, 0, false}, {0, S_OK, 0, false}, {3, S_OK, 0, false}, {-1, S_OK, 0, false},
  };
  for (const FlagCase& c : cases) {
    SCOPED_TRACE("flag " + std::to_string(c.before));
    CDSGrabberCB cb;
    cb.RecordFormat(MEDIASUBTYPE_RGB24, 4, 2);
    g_nGrabFlag = 1;
    auto first = Pattern(24, 1);
    ASSERT_EQ(S_FALSE, Deliver(cb, first));
    unsigned char* recorded = cb.m_pBuffer.load();
    ASSERT_NE(nullptr, recorded);

    g_nGrabFlag = c.before;
    auto second = Pattern(24, 2);
    HRESULT hr = Deliver(cb, second);
    EXPECT_EQ(c.result, hr) << Hex(hr);
    EXPECT_EQ(c.after, g_nGrabFlag.load());
    GuardedBuffer out = Grab(cb, 24);
    EXPECT_EQ(c.recorded ? second : first, out.Contents());
    if (!c.recorded) {
      EXPECT_EQ(recorded, cb.m_pBuffer.load()) << "m_pBuffer must keep the last recorded frame";
    }
  }
}

TEST_F(GrabberCallback, NullBufferChangesNothingWhateverTheFlag) {
  for (LONG flag : {0, 1, 2}) {
    SCOPED_TRACE("flag " + std::to_string(flag));
    CDSGrabberCB cb;
    cb.RecordFormat(MEDIASUBTYPE_RGB24, 4, 2);
    g_nGrabFlag = 1;
    auto first = Pattern(24, 1);
    ASSERT_EQ(S_FALSE, Deliver(cb, first));
    unsigned char* recorded = cb.m_pBuffer.load();

    g_nGrabFlag = flag;
    ISampleGrabberCB* sink = &cb;
    HRESULT hr = sink->BufferCB(0.0, nullptr, 24);
    EXPECT_EQ(E_POINTER, hr) << Hex(hr);
    EXPECT_EQ(flag, g_nGrabFlag.load());
    EXPECT_EQ(recorded, cb.m_pBuffer.load());
    EXPECT_EQ(first, Grab(cb, 24).Contents());
  }
}

TEST_F(GrabberCallback, CaptureFileStopsRecordingAtTheNextFrame) {
  CDSGrabberCB cb;
  cb.RecordFormat(MEDIASUBTYPE_RGB24, 4, 2);
  auto before = Pattern(24, 1);
  ASSERT_EQ(S_FALSE, Deliver(cb, before));
  unsigned char* recorded = cb.m_pBuffer.load();

  cb.SetCaptureFile("d:\\shots\\next.bmp", 2);
  EXPECT_EQ(2, g_nGrabFlag.load());
  EXPECT_STREQ("d:\\shots\\next.bmp", cb.m_strCapturePath);

  auto after = Pattern(24, 2);
  EXPECT_EQ(S_OK, Deliver(cb, after));
  EXPECT_EQ(0, g_nGrabFlag.load());
  EXPECT_EQ(recorded, cb.m_pBuffer.load());
  auto later = Pattern(24, 3);
  EXPECT_EQ(S_OK, Deliver(cb, later));
  EXPECT_EQ(0, g_nGrabFlag.load());
  EXPECT_EQ(before, Grab(cb, 24).Contents()) << "the grab keeps the frame recorded before the call";

  cb.SetCaptureFile(nullptr, 2);
  EXPECT_EQ(2, g_nGrabFlag.load());
  EXPECT_STREQ("", cb.m_strCapturePath);
}

// ---------------------------------------------------------------------------------
// What a grab writes.

TEST_F(GrabberCallback, GrabBeforeAnyFrameLeavesTheDestinationUntouched) {
  CDSGrabberCB fresh;
  GuardedBuffer untouchedAtLoad = Grab(fresh, 64);
  EXPECT_TRUE(untouchedAtLoad.Untouched());

  CDSGrabberCB cb;
  cb.RecordFormat(MEDIASUBTYPE_RGB24, 8, 4);
  EXPECT_TRUE(Grab(cb, 96).Untouched());
  cb.RecordFormat(MEDIASUBTYPE_YUY2, 8, 4);
  EXPECT_TRUE(Grab(cb, 96).Untouched());
}

TEST_F(GrabberCallback, Rgb24GrabIsTheDeliveredFrameFromLibraryMemory) {
  CDSGrabberCB cb;
  cb.RecordFormat(MEDIASUBTYPE_RGB24, 8, 4);
  auto frame = Pattern(96, 0x11223344);
  const auto delivered = frame;
  ASSERT_EQ(S_FALSE, Deliver(cb, frame));
  EXPECT_NE(frame.data(), cb.m_pBuffer.load()) << "the platform's memory must not be kept";
  // The platform refills its sample after the callback returns.
  FillFrame(frame.data(), frame.size(), 0x55667788);
  GuardedBuffer out = Grab(cb, 96);
  EXPECT_EQ(delivered, out.Contents());
  // Grabbing again, with no newer frame, hands out the same frame.
  EXPECT_EQ(delivered, Grab(cb, 96).Contents());
}

TEST_F(GrabberCallback, PaddedRgb24RowsAreUnpadded) {
  CDSGrabberCB cb;
  cb.RecordFormat(MEDIASUBTYPE_RGB24, 5, 3);  // rows of 15 bytes, delivered in 16
  std::vector<uint8_t> padded(16 * 3);
  FillPadded(padded.data(), 15, 3, 16, 0xCAFE0001);
  ASSERT_EQ(S_FALSE, Deliver(cb, padded));
  EXPECT_EQ(Pattern(45, 0xCAFE0001), Grab(cb, 45).Contents());
}

// Longer samples (an allocator-sized buffer, bytes after the picture) carry the picture,
// rows padded as the format implies, at their start.
TEST_F(GrabberCallback, LongerSamplesHandOverThePictureAtTheirStart) {
  struct Case {
    GUID subtype;
    int width, height;
    size_t rowBytes, paddedRowBytes;
  };
  const Case cases[] = {{MEDIASUBTYPE_RGB24, 5, 3, 15, 16},
                        {MEDIASUBTYPE_RGB24, 8, 2, 24, 24},
                        {MEDIASUBTYPE_YUY2, 6, 2, 12, 12},
                        {MEDIASUBTYPE_UYVY, 6, 2, 12, 12}};
  for (const Case& c : cases) {
    for (size_t extra : {size_t{1}, size_t{3}, size_t{4096}}) {
      SCOPED_TRACE(std::to_string(c.width) + " wide, " + std::to_string(extra) + " bytes after the picture");
      CDSGrabberCB cb;
      cb.RecordFormat(c.subtype, c.width, c.height);
      std::vector<uint8_t> sample(c.paddedRowBytes * c.height + extra, 0xEE);
      FillPadded(sample.data(), c.rowBytes, c.height, c.paddedRowBytes, 0xCAFE0002);
      std::vector<uint8_t> exact = Pattern(c.rowBytes * c.height, 0xCAFE0002);
      ASSERT_EQ(S_FALSE, Deliver(cb, sample));
      CDSGrabberCB reference;
      reference.RecordFormat(c.subtype, c.width, c.height);
      ASSERT_EQ(S_FALSE, Deliver(reference, exact));
      const size_t out = static_cast<size_t>(c.width) * c.height * 3;
      EXPECT_EQ(Grab(reference, out).Contents(), Grab(cb, out).Contents());
    }
  }
}

TEST_F(GrabberCallback, FrameOfAnotherLengthIsNotRecordedAndTheFlagStays) {
  // 5 x 3 RGB24: 45 bytes, or at least 48 with padded rows.
  for (long length : {0L, 1L, 44L, 46L, 47L, -45L}) {
    SCOPED_TRACE("length " + std::to_string(length));
    CDSGrabberCB cb;
    cb.RecordFormat(MEDIASUBTYPE_RGB24, 5, 3);
    auto good = Pattern(45, 1);
    ASSERT_EQ(S_FALSE, Deliver(cb, good));
    unsigned char* recorded = cb.m_pBuffer.load();
    std::vector<uint8_t> wrong = Pattern(100, 2);
    ISampleGrabberCB* sink = &cb;
    EXPECT_EQ(S_OK, sink->BufferCB(0.0, wrong.data(), length));
    EXPECT_EQ(1, g_nGrabFlag.load());
    EXPECT_EQ(recorded, cb.m_pBuffer.load());
    EXPECT_EQ(good, Grab(cb, 45).Contents());
  }
}

// Formats the grab can't hand out: nothing is recorded, nothing is copied, and the size
// is still reported as the format gave it.
struct UnrecordedFormat {
  const char* name;
  GUID subtype;
  int width, height;
  size_t deliveredBytes;
};

TEST_F(GrabberCallback, FormatsThatCantBeGrabbedCopyNothing) {
  const UnrecordedFormat cases[] = {
      {"YVYU", MEDIASUBTYPE_YVYU, 8, 4, 64},
      {"RGB565", MEDIASUBTYPE_RGB565, 8, 4, 64},
      {"Y41P", MEDIASUBTYPE_Y41P, 8, 4, 48},
      {"RGB24 negative height", MEDIASUBTYPE_RGB24, 8, -4, 96},
      {"YUY2 negative height", MEDIASUBTYPE_YUY2, 8, -4, 64},
      {"RGB24 negative width", MEDIASUBTYPE_RGB24, -8, 4, 96},
      {"RGB24 zero height", MEDIASUBTYPE_RGB24, 8, 0, 0},
      {"RGB24 zero width", MEDIASUBTYPE_RGB24, 0, 4, 0},
      {"RGB24 past 32 bits", MEDIASUBTYPE_RGB24, 65536, 65536, 96},
      {"YUY2 output past 32 bits", MEDIASUBTYPE_YUY2, 40000, 40000, 96},
      // Sizes whose bytes wrap to little or nothing when worked in a 32-bit size_t.
      {"RGB24 row of 2^32 - 1 bytes, padded to 2^32", MEDIASUBTYPE_RGB24, 1431655765, 1, 96},
      {"RGB24 bytes wrap 32 bits", MEDIASUBTYPE_RGB24, 65536, 65537, 96},
      {"YUY2 rows of 2^32 - 2 bytes", MEDIASUBTYPE_YUY2, 2147483647, 2, 96},
      {"UYVY bytes of 2^32", MEDIASUBTYPE_UYVY, 1073741824, 2, 96},
      {"YUY2 output of 2^32 + 2 bytes", MEDIASUBTYPE_YUY2, 1431655766, 1, 96},
      // The converted and decoded formats refuse what their conversion or decoder refuses.
      {"NV12 negative height", MEDIASUBTYPE_NV12, 8, -4, 48},
      {"YV12 zero width", MEDIASUBTYPE_YV12, 0, 4, 48},
      {"I420 output past INT_MAX", MEDIASUBTYPE_IYUV, 26755, 26755, 96},
      {"RGB32 bytes of 2^32", MEDIASUBTYPE_RGB32, 65536, 16384, 96},
      {"MJPG negative height", MEDIASUBTYPE_MJPG, 8, -4, 96},
      {"MJPG zero height", MEDIASUBTYPE_MJPG, 8, 0, 96},
      {"MJPG wider than the decoder takes", MEDIASUBTYPE_MJPG, 16385, 8, 96},
      {"MJPG frame past 256 MiB", MEDIASUBTYPE_MJPG, 16384, 5462, 96},
  };
  for (const UnrecordedFormat& c : cases) {
    SCOPED_TRACE(c.name);
    CDSGrabberCB cb;
    cb.RecordFormat(MEDIASUBTYPE_RGB24, 8, 4);
    auto earlier = Pattern(96, 1);
    ASSERT_EQ(S_FALSE, Deliver(cb, earlier));

    cb.RecordFormat(c.subtype, c.width, c.height);
    int width = 0, height = 0;
    cb.GetImageSize(&width, &height);
    EXPECT_EQ(c.width, width);
    EXPECT_EQ(c.height, height) << "the size is reported as delivered, sign kept";
    EXPECT_TRUE(IsEqualGUID(c.subtype, cb.m_subtype));
    EXPECT_EQ(nullptr, cb.m_pBuffer.load()) << "the frame of the earlier format is gone";

    std::vector<uint8_t> frame = Pattern(c.deliveredBytes + 4, 2);
    ISampleGrabberCB* sink = &cb;
    EXPECT_EQ(S_OK, sink->BufferCB(0.0, frame.data(), static_cast<long>(c.deliveredBytes)));
    EXPECT_EQ(1, g_nGrabFlag.load());
    EXPECT_EQ(nullptr, cb.m_pBuffer.load());
    EXPECT_TRUE(Grab(cb, 256).Untouched());
  }
}

// The fields are public and the build writes m_subtype directly: a grab copies only
// while they still describe the format the frame was recorded in.
TEST_F(GrabberCallback, FieldsChangedAfterRecordingStopTheGrab) {
  struct Change {
    const char* name;
    void (*apply)(CDSGrabberCB&);
  };
  const Change changes[] = {
      {"subtype RGB32", [](CDSGrabberCB& cb) { cb.m_subtype = MEDIASUBTYPE_RGB32; }},
      {"subtype YUY2", [](CDSGrabberCB& cb) { cb.m_subtype = MEDIASUBTYPE_YUY2; }},
      {"wider", [](CDSGrabberCB& cb) { cb.m_nWidth = 16; }},
      {"taller", [](CDSGrabberCB& cb) { cb.m_nHeight = 8; }},
      {"height negated", [](CDSGrabberCB& cb) { cb.m_nHeight = -4; }},
  };
  for (const Change& change : changes) {
    SCOPED_TRACE(change.name);
    CDSGrabberCB cb;
    cb.RecordFormat(MEDIASUBTYPE_RGB24, 8, 4);
    auto frame = Pattern(96, 3);
    ASSERT_EQ(S_FALSE, Deliver(cb, frame));
    change.apply(cb);
    EXPECT_TRUE(Grab(cb, 512).Untouched());
  }
}

TEST_F(GrabberCallback, PackedYuvGrabIsTheConversionOfTheDeliveredFrame) {
  struct YuvCase {
    const char* name;
    GUID subtype;
    int bYUY2;
    int width, height;
  };
  const YuvCase cases[] = {
      {"YUY2 8x4", MEDIASUBTYPE_YUY2, 1, 8, 4},
      {"UYVY 8x4", MEDIASUBTYPE_UYVY, 0, 8, 4},
      {"YUY2 64x48", MEDIASUBTYPE_YUY2, 1, 64, 48},
      {"UYVY 62x3", MEDIASUBTYPE_UYVY, 0, 62, 3},
  };
  for (const YuvCase& c : cases) {
    SCOPED_TRACE(c.name);
    CDSGrabberCB cb;
    cb.RecordFormat(c.subtype, c.width, c.height);
    const size_t yuvBytes = static_cast<size_t>(c.width) * c.height * 2;
    const size_t rgbBytes = static_cast<size_t>(c.width) * c.height * 3;
    std::vector<uint8_t> frame(yuvBytes);
    for (size_t i = 0; i < yuvBytes; ++i) frame[i] = static_cast<uint8_t>(i * 37 + 11);
    const auto delivered = frame;
    ASSERT_EQ(S_FALSE, Deliver(cb, frame));
    std::fill(frame.begin(), frame.end(), 0);  // the platform reuses its memory

    std::vector<uint8_t> expected(rgbBytes, 0);
    YUV422ToRGB24(delivered.data(), expected.data(), c.width, c.height, c.bYUY2);
    EXPECT_EQ(expected, Grab(cb, rgbBytes).Contents());
  }
}

TEST_F(GrabberCallback, ClearedFrameIsNotHandedOutUntilTheNextOne) {
  CDSGrabberCB cb;
  cb.RecordFormat(MEDIASUBTYPE_RGB24, 4, 2);
  auto first = Pattern(24, 1);
  ASSERT_EQ(S_FALSE, Deliver(cb, first));
  cb.ClearRecordedFrame();
  EXPECT_EQ(nullptr, cb.m_pBuffer.load());
  EXPECT_TRUE(Grab(cb, 24).Untouched());
  auto second = Pattern(24, 2);
  ASSERT_EQ(S_FALSE, Deliver(cb, second));
  EXPECT_NE(nullptr, cb.m_pBuffer.load());
  EXPECT_EQ(second, Grab(cb, 24).Contents());
}

TEST_F(GrabberCallback, RecordFormatWritesSubtypeAndSizeAndDropsTheOldFrame) {
  CDSGrabberCB cb;
  cb.RecordFormat(MEDIASUBTYPE_RGB24, 4, 2);
  auto frame = Pattern(24, 1);
  ASSERT_EQ(S_FALSE, Deliver(cb, frame));
  cb.RecordFormat(MEDIASUBTYPE_UYVY, 320, -240);
  EXPECT_TRUE(IsEqualGUID(MEDIASUBTYPE_UYVY, cb.m_subtype));
  int width = 0, height = 0;
  cb.GetImageSize(&width, &height);
  EXPECT_EQ(320, width);
  EXPECT_EQ(-240, height);
  cb.RecordFormat(MEDIASUBTYPE_RGB24, 4, 2);
  EXPECT_EQ(nullptr, cb.m_pBuffer.load());
  EXPECT_TRUE(Grab(cb, 24).Untouched());
}

// The streaming thread delivering through the interface pointer while the host grabs:
// every grab is one whole frame and never older than the one before.
TEST_F(GrabberCallback, GrabsWhileFramesStreamAreWholeAndInOrder) {
  CDSGrabberCB cb;
  cb.RecordFormat(MEDIASUBTYPE_RGB24, 8, 2);
  constexpr uint32_t kFrames = 100000;
  std::atomic<bool> done{false}, grabbing{false};
  std::thread streaming([&] {
    // Starts once the host is grabbing, so the two really overlap.
    while (!grabbing.load()) std::this_thread::yield();
    ISampleGrabberCB* sink = &cb;
    std::vector<uint8_t> sample(48);
    for (uint32_t seq = 1; seq <= kFrames; ++seq) {
      FillFrame(sample.data(), sample.size(), seq);
      if (sink->BufferCB(0.0, sample.data(), 48) != S_FALSE) {
        ADD_FAILURE() << "frame " << seq << " not recorded";
        break;
      }
    }
    done.store(true);
  });
  uint32_t previous = 0, torn = 0, backwards = 0, distinct = 0;
  while (!done.load()) {
    grabbing.store(true);
    GuardedBuffer out(48);
    cb.GrabFrame(out.data());
    if (out.Untouched()) continue;
    auto seq = WholeFrameSeq(out.data(), 48);
    if (!seq) {
      ++torn;
      continue;
    }
    if (*seq < previous) ++backwards;
    if (*seq != previous) ++distinct;
    previous = *seq;
  }
  streaming.join();
  EXPECT_EQ(0u, torn);
  EXPECT_EQ(0u, backwards);
  EXPECT_GT(distinct, 1u);
  GuardedBuffer last(48);
  cb.GrabFrame(last.data());
  auto seq = WholeFrameSeq(last.data(), 48);
  ASSERT_TRUE(seq.has_value());
  EXPECT_EQ(kFrames, *seq);
}

}  // namespace
