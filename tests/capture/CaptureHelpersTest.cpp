// The capture code's own helpers: device names cut to the host's buffer, and the frame
// size read from a connected format block.
#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "DeviceNames.h"
#include "VideoFormat.h"

namespace {

std::wstring BackToWide(const char* ansi) {
  int count = MultiByteToWideChar(CP_ACP, 0, ansi, -1, nullptr, 0);
  std::wstring wide(count > 0 ? count - 1 : 0, L'\0');
  if (count > 1) MultiByteToWideChar(CP_ACP, 0, ansi, -1, &wide[0], count);
  return wide;
}

std::string Ansi(const std::wstring& wide) {
  int bytes = WideCharToMultiByte(CP_ACP, 0, wide.c_str(), static_cast<int>(wide.size()), nullptr, 0, nullptr, nullptr);
  std::string out(bytes, '\0');
  WideCharToMultiByte(CP_ACP, 0, wide.c_str(), static_cast<int>(wide.size()), &out[0], bytes, nullptr, nullptr);
  return out;
}

}  // namespace

TEST(DeviceNames, FitsOrIsCutAfterTheLastWholeCharacter) {
  // A character that is two bytes in code page 936 and one byte ('?') or one byte in
  // single-byte code pages: the test holds in both.
  const wchar_t wide = 0x4E2D;  // 中
  const size_t wideBytes = Ansi(std::wstring(1, wide)).size();
  struct Case {
    const char* what;
    std::wstring name;
  } cases[] = {
      {"short name", L"QV Virtual Camera"},
      {"exactly 2047 bytes", std::wstring(2047, L'a')},
      {"2048 bytes", std::wstring(2048, L'a')},
      {"far too long", std::wstring(10000, L'b')},
      {"multibyte characters over the limit", std::wstring(1500, wide)},
      {"odd byte left before a two-byte character", std::wstring(2046, L'a') + std::wstring(3, wide)},
      {"surrogate pair at the limit", std::wstring(2045, L'a') + L"\xD83D\xDE00" + L"tail"},
      {"empty", L""},
  };
  for (const Case& c : cases) {
    std::vector<char> out(qv::kDeviceNameBytes + 16, '\x7F');
    qv::ToAnsiDeviceName(c.name, out.data());
    size_t length = std::strlen(out.data());
    ASSERT_LT(length, qv::kDeviceNameBytes) << c.what;
    for (size_t i = qv::kDeviceNameBytes; i < out.size(); ++i)
      ASSERT_EQ('\x7F', out[i]) << c.what << ": wrote past the buffer";

    std::string full = Ansi(c.name);
    if (full.size() < qv::kDeviceNameBytes) {
      EXPECT_EQ(full, std::string(out.data())) << c.what << ": a name that fits is kept whole";
    } else {
      // The cut form is the ANSI form of a prefix of whole characters, as long as fits.
      std::wstring back = BackToWide(out.data());
      std::string prefixAnsi = Ansi(c.name.substr(0, back.size()));
      EXPECT_EQ(prefixAnsi, std::string(out.data())) << c.what;
      EXPECT_GT(length + 4 + wideBytes, qv::kDeviceNameBytes - 1) << c.what << ": cut more than one character short";
    }
  }
}

TEST(VideoFormat, SizeIsReadOnlyFromALongEnoughVideoInfoHeader) {
  VIDEOINFOHEADER info = {};
  info.bmiHeader.biWidth = 640;
  info.bmiHeader.biHeight = -480;
  struct Case {
    const char* what;
    GUID formatType;
    ULONG bytes;
    bool withBlock;
    int width, height;
  } cases[] = {
      {"video info header", FORMAT_VideoInfo, sizeof info, true, 640, -480},
      {"60 bytes reach the height", FORMAT_VideoInfo, 60, true, 640, -480},
      {"59 bytes do not", FORMAT_VideoInfo, 59, true, 0, 0},
      {"no block", FORMAT_VideoInfo, 0, false, 0, 0},
      {"another format type", FORMAT_VideoInfo2, sizeof info, true, 0, 0},
      {"no format type", GUID_NULL, sizeof info, true, 0, 0},
  };
  for (const Case& c : cases) {
    AM_MEDIA_TYPE type = {};
    type.formattype = c.formatType;
    type.cbFormat = c.bytes;
    type.pbFormat = c.withBlock ? reinterpret_cast<BYTE*>(&info) : nullptr;
    qv::FrameSize size = qv::ReadFrameSize(type);
    EXPECT_EQ(c.width, size.width) << c.what;
    EXPECT_EQ(c.height, size.height) << c.what;
  }
}
