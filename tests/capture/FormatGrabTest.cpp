// The formats a grab copies, converts or decodes, through the DLL on the virtual camera:
// after the user picks each on the stream-format page, the grabbed frames are the exact
// BGR24 of the picture (RGB24, 4:2:2, 4:2:0, RGB32) or libjpeg-turbo's own decode of the
// frame's bytes (MJPG), fresh and stamped; the damaged-MJPG devices hand over their good
// frames only; samples longer than their pictures still grab whole; and a pin that
// delivers another format than it reports is grabbed in the format it delivers.
#include <gtest/gtest.h>
#include <windows.h>
#include <objbase.h>

#include <csetjmp>
#include <memory>
#include <vector>

#include <jpeglib.h>

#include "DllHostTest.h"
#include "MjpgDamage.h"
#include "PropertyFrameDriver.h"
#include "QVDirectX.h"
#include "TestPicture.h"
#include "VirtualCameraDevices.h"
#include "VirtualCameraIds.h"

namespace {

using qvvcam::FrameFormat;
using qvvcam::PixelFormat;

int FormatEntry(PixelFormat pixel, int width) {
  const int sizes[] = {320, 640, 1280, 1920};
  for (int s = 0; s < 4; ++s)
    if (sizes[s] == width) return static_cast<int>(pixel) * 4 + s;
  return -1;
}

bool ChangeFormat(int entry) {
  qvtest::PropertyFrameAction action([&](HWND frame) {
    HWND combo = qvtest::FindDescendant(frame, qvvcam::kFormatPageComboId);
    EXPECT_TRUE(qvtest::SelectComboEntry(combo, entry)) << "format entry " << entry;
    qvtest::PressFrameButton(frame, IDOK);
  });
  EXPECT_EQ(1, DSResolution());
  action.Join();
  return action.SawFrame();
}

// A grab into a buffer of a known fill; touched when DSGrabFrame wrote it.
bool GrabNow(std::vector<unsigned char>& frame) {
  std::fill(frame.begin(), frame.end(), 0xA5);
  DSGrabFrame(frame.data());
  return frame != std::vector<unsigned char>(frame.size(), 0xA5);
}

struct JumpError {
  jpeg_error_mgr pub;
  std::jmp_buf jump;
};
void Jump(j_common_ptr c) { std::longjmp(reinterpret_cast<JumpError*>(c->err)->jump, 1); }

// libjpeg-turbo's plain decode of a frame into bottom-up BGR; empty on any error.
std::vector<uint8_t> PlainDecode(const std::vector<uint8_t>& jpeg, int width, int height) {
  std::vector<uint8_t> out(static_cast<size_t>(width) * height * 3);
  jpeg_decompress_struct cinfo;
  JumpError error;
  cinfo.err = jpeg_std_error(&error.pub);
  error.pub.error_exit = Jump;
  jpeg_create_decompress(&cinfo);
  if (setjmp(error.jump)) {
    jpeg_destroy_decompress(&cinfo);
    return {};
  }
  jpeg_mem_src(&cinfo, jpeg.data(), static_cast<unsigned long>(jpeg.size()));
  jpeg_read_header(&cinfo, TRUE);
  cinfo.out_color_space = JCS_EXT_BGR;
  jpeg_start_decompress(&cinfo);
  while (cinfo.output_scanline < cinfo.output_height) {
    JSAMPROW row = out.data() + static_cast<size_t>(height - 1 - cinfo.output_scanline) * width * 3;
    jpeg_read_scanlines(&cinfo, &row, 1);
  }
  jpeg_finish_decompress(&cinfo);
  jpeg_destroy_decompress(&cinfo);
  return out;
}

// Waits for `wanted` grabs, each a fresh frame equal to what its sequence number must give.
void ExpectExactGrabs(const FrameFormat& format, qvvcam::MjpgDamage damage = qvvcam::MjpgDamage::None, int wanted = 3) {
  int32_t width = 0, height = 0;
  DSCameraGetImageSize(&width, &height);
  ASSERT_EQ(format.width, width);
  ASSERT_EQ(format.height, height);
  std::vector<unsigned char> frame(static_cast<size_t>(width) * height * 3);
  qvvcam::TestPicture mjpg({PixelFormat::Mjpg, width, height});
  std::vector<uint8_t> jpeg(qvvcam::FrameCapacity({PixelFormat::Mjpg, width, height}));
  const char* name = qvvcam::PixelFormatName(format.pixel);
  int exact = 0;
  uint32_t last = 0;
  for (DWORD start = GetTickCount(); exact < wanted && GetTickCount() - start < 8000;) {
    if (!GrabNow(frame)) {
      Sleep(10);
      continue;
    }
    std::vector<uint8_t> expected;
    qvvcam::FrameCheck check;
    if (format.pixel == PixelFormat::Mjpg) {
      check = qvvcam::ReadRgb24Stamp(frame.data(), frame.size(), width, height);
      ASSERT_EQ(qvvcam::FrameStatus::Ok, check.status) << name << ": no readable stamp";
      ASSERT_FALSE(qvvcam::IsSpoiledFrame(damage, check.sequence))
          << "a bad frame, " << check.sequence << ", was handed over";
      jpeg.resize(jpeg.capacity());
      jpeg.resize(mjpg.Generate(check.sequence, jpeg.data(), jpeg.size()));
      jpeg.resize(qvvcam::ApplyMjpgDamage(damage, check.sequence, jpeg.data(), jpeg.size()));
      expected = PlainDecode(jpeg, width, height);
    } else {
      check = qvvcam::CheckRgb24Frame(frame.data(), frame.size(), width, height);
      ASSERT_EQ(qvvcam::FrameStatus::Ok, check.status) << name << ": " << qvvcam::FrameStatusName(check.status);
      expected = qvvcam::ExpectedRgb24(format, check.sequence);
    }
    ASSERT_TRUE(expected == frame) << name << " frame " << check.sequence << " differs from its expected BGR24";
    if (exact > 0) {
      EXPECT_GT(check.sequence, last) << "a stale frame";
    }
    last = check.sequence;
    ++exact;
    Sleep(70);
  }
  EXPECT_EQ(wanted, exact) << "whole frames of " << name;
}

class FormatGrab : public qvtest::DllHostTest {
 protected:
  static qvtest::VirtualDevice Camera() { return qvtest::VirtualDevice::Named(L"Camera"); }
  void Start(const qvtest::VirtualDevice& device = Camera()) {
    devices = std::make_unique<qvtest::VirtualCameraDevices>(std::vector<qvtest::VirtualDevice>{device});
    ASSERT_TRUE(devices->Ok()) << devices->Error();
    ASSERT_EQ(1, DSCameraInit(0, host));
    DSCameraPlay();
  }
  std::unique_ptr<qvtest::VirtualCameraDevices> devices;
};

TEST_F(FormatGrab, EachNewFormatPickedOnThePageGrabsAsExpected) {
  Start();
  const FrameFormat chosen[] = {{PixelFormat::Nv12, 1920, 1080}, {PixelFormat::I420, 640, 480},
                                {PixelFormat::Yv12, 320, 240},   {PixelFormat::Rgb32, 1280, 720},
                                {PixelFormat::Mjpg, 1920, 1080}, {PixelFormat::Mjpg, 640, 480}};
  for (const FrameFormat& format : chosen) {
    ASSERT_TRUE(ChangeFormat(FormatEntry(format.pixel, format.width)));
    ExpectExactGrabs(format);
  }
}

TEST_F(FormatGrab, DamagedMjpgDevicesHandOverTheirGoodFramesOnly) {
  for (qvvcam::MjpgDamage damage :
       {qvvcam::MjpgDamage::Truncated, qvvcam::MjpgDamage::Corrupt, qvvcam::MjpgDamage::NoHuffmanTables}) {
    qvtest::VirtualDevice device = Camera();
    device.mjpgDamage = static_cast<uint32_t>(damage);
    Start(device);
    ASSERT_TRUE(ChangeFormat(FormatEntry(PixelFormat::Mjpg, 640)));
    ExpectExactGrabs({PixelFormat::Mjpg, 640, 480}, damage, 6);
    DSCameraUnInit();
    devices.reset();
  }
}

// Samples longer than their pictures (an allocator-sized buffer, bytes after the picture):
// each format picked still grabs whole, the trailing bytes never part of a frame.
TEST_F(FormatGrab, SamplesLongerThanThePictureGrabWhole) {
  qvtest::VirtualDevice device = Camera();
  device.sampleSlack = 4099;
  Start(device);
  ExpectExactGrabs({PixelFormat::Rgb24, 640, 480});  // the first build's format
  const FrameFormat chosen[] = {{PixelFormat::Yuy2, 320, 240},   {PixelFormat::Uyvy, 1280, 720},
                                {PixelFormat::Rgb24, 1920, 1080}, {PixelFormat::Nv12, 640, 480},
                                {PixelFormat::Mjpg, 640, 480}};
  for (const FrameFormat& format : chosen) {
    ASSERT_TRUE(ChangeFormat(FormatEntry(format.pixel, format.width)));
    ExpectExactGrabs(format);
  }
}

// A pin that takes SetFormat, reports the format set, and goes on delivering RGB24
// 640x480: the grab records the type the grabber connected with, so the host is told the
// delivered size and gets whole frames of it, never the first bytes of a bigger picture
// taken for the smaller one picked.
TEST_F(FormatGrab, TheDeliveredFormatIsRecordedNotTheReportedOne) {
  qvtest::VirtualDevice device = Camera();
  device.formatIgnored = true;
  Start(device);
  ASSERT_TRUE(ChangeFormat(FormatEntry(PixelFormat::Rgb24, 320)));
  ExpectExactGrabs({PixelFormat::Rgb24, 640, 480});
}

}  // namespace
