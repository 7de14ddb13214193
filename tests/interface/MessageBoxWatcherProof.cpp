// The watcher that other tests rely on: it must read a box's exact caption and text
// and close it, for boxes in a row and for multi-line texts.
#include <gtest/gtest.h>

#include <windows.h>

#include "MessageBoxWatcher.h"

TEST(MessageBoxWatcher, ReadsExactTextsOfBoxesInOrderAndPressesOk) {
  qvtest::MessageBoxWatcher boxes;
  struct Case {
    const char* caption;
    const char* text;
  } cases[] = {
      {"QVDirectX", "CoInitialize Failed!\n"},
      {"JPEG Error", "JpegFile :\nCan't open C:\\no\\such\\folder\\x.jpg\n"},
      {"TIFFLIB Warning", "a warning"},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(IDOK, MessageBoxA(nullptr, c.text, c.caption, MB_OK)) << "the watcher must press OK";
  }
  std::vector<qvtest::SeenBox> seen = boxes.Take();
  ASSERT_EQ(3u, seen.size()) << qvtest::Describe(seen);
  for (size_t i = 0; i < 3; ++i) {
    EXPECT_EQ(cases[i].caption, seen[i].caption);
    EXPECT_EQ(cases[i].text, seen[i].text);
  }
}
