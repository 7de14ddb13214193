// Appending to TIFF files that other programs wrote: hand-made files with private
// tags, directories libtiff's reader rejects, either byte order and BigTIFF are
// appended to with no box and nothing changed but the last link; broken headers
// and chains are refused untouched.
#include <gtest/gtest.h>

#include <cctype>
#include <string>
#include <vector>

#include <tiffio.h>

#include "HandMadeTiff.h"
#include "ImageDecoders.h"
#include "ImageSave.h"
#include "ImageTestSupport.h"
#include "StderrCapture.h"
#include "TiffWriter.h"

using imgtest::Box;
using imgtest::Bytes;
using imgtest::HandMadeTiff;
using imgtest::StderrText;
using imgtest::TiffDirectory;
using imgtest::TiffEntry;
using imgtest::TiffLayout;

namespace {

std::vector<uint64_t> Ascii(const std::string& text) {
  std::vector<uint64_t> values(text.begin(), text.end());
  values.push_back(0);
  return values;
}

constexpr TiffLayout kLittle{false, false, false};
constexpr TiffLayout kBig{true, false, false};
constexpr TiffLayout kLittleBigTiff{false, true, false};
constexpr TiffLayout kBigBigTiff{true, true, false};
constexpr TiffLayout kLittleBackwards{false, false, true};

const Bytes& FirstPageRows() {
  static const Bytes rows = imgtest::NoiseFrame(5, 3, 77);  // 5 x 3 RGB pixels, top row first
  return rows;
}

// Tags no reader knows, as camera and scanner software writes them.
std::vector<TiffEntry> PrivateTags() {
  return {{50000, imgtest::kTiffLong, {7}},
          {50001, imgtest::kTiffAscii, Ascii("maker notes")},
          {65000, imgtest::kTiffShort, {1, 2, 3, 4}}};
}

enum class Pages { Picture, PrivateTags, PictureThenPrivateTags, ThreePictures, ZeroStrips, NoEntries, NoDirectory };

std::vector<TiffDirectory> MakePages(Pages pages) {
  switch (pages) {
    case Pages::Picture:
      return {imgtest::RgbPage(5, 3, FirstPageRows())};
    case Pages::PrivateTags:
      return {imgtest::RgbPage(5, 3, FirstPageRows(), PrivateTags())};
    case Pages::PictureThenPrivateTags:
      return {imgtest::RgbPage(5, 3, FirstPageRows()), imgtest::RgbPage(5, 3, FirstPageRows(), PrivateTags())};
    case Pages::ThreePictures:
      return {imgtest::RgbPage(5, 3, FirstPageRows()), imgtest::RgbPage(5, 3, FirstPageRows()),
              imgtest::RgbPage(5, 3, FirstPageRows())};
    case Pages::ZeroStrips: {
      // ImageLength 0: the reader finds no strips ("Cannot handle zero number of strips").
      TiffDirectory empty;
      empty.entries = {{256, imgtest::kTiffLong, {4}},  {257, imgtest::kTiffLong, {0}}, {258, imgtest::kTiffShort, {8}},
                       {262, imgtest::kTiffShort, {1}}, {273, imgtest::kTiffLong, {}},  {278, imgtest::kTiffLong, {1}},
                       {279, imgtest::kTiffLong, {}}};
      return {empty};
    }
    case Pages::NoEntries:
      return {TiffDirectory{}};  // the reader rejects a directory without entries
    case Pages::NoDirectory:
      return {};
  }
  return {};
}

struct ForeignCase {
  const char* name;
  TiffLayout layout;
  Pages pages;
  bool readerLoadsFirstPage;  // libtiff's reader accepts the first directory
};

class TiffForeignAppend : public ::testing::TestWithParam<ForeignCase> {};

// Both routes, each from the original file: one page more, no box, no message, and
// every byte of the original file the same except the link that now leads to the
// new directory past the old end.
TEST_P(TiffForeignAppend, OnePageMoreAndOnlyTheLastLinkChanged) {
  const ForeignCase& c = GetParam();
  const HandMadeTiff tiff = imgtest::MakeTiff(c.layout, MakePages(c.pages));
  const uint64_t linkAt = tiff.links.empty() ? tiff.headerLink : tiff.links.back();
  const uint32_t pagesBefore = static_cast<uint32_t>(tiff.directories.size());
  const int w = 6, h = 4;
  Bytes frame = imgtest::NoiseFrame(w, h, 21);
  imgtest::TempDir dir;
  const std::string path = dir.Path("foreign.tif");

  for (int route = 0; route < 2; ++route) {
    SCOPED_TRACE(route == 0 ? "WriteTiffFile" : "DSCameraImageSave type 8");
    imgtest::WriteFile(path, tiff.bytes);
    {
      imgtest::BoxLog boxes;
      qvtest::StderrCapture err;
      if (route == 0) {
        EXPECT_EQ(0, WriteTiffFile(path.c_str(), w, h, 2, 24, 0, 1, 0, nullptr, 0, frame.data()));
      } else {
        SaveImageFile(frame.data(), kImageFileTiff, w, h, path.c_str());
      }
      EXPECT_EQ("", StderrText(err.Stop()));
      std::vector<Box> seen = boxes.Take();
      EXPECT_TRUE(seen.empty()) << imgtest::Describe(seen);
    }

    const Bytes after = imgtest::ReadFile(path);
    const Bytes& before = tiff.bytes;
    ASSERT_GT(after.size(), before.size());
    size_t changed = 0, firstChange = 0;
    for (size_t i = 0; i < before.size(); ++i) {
      if (i >= linkAt && i < linkAt + tiff.linkBytes) continue;
      if (after[i] != before[i] && changed++ == 0) firstChange = i;
    }
    EXPECT_EQ(0u, changed) << "first changed byte at " << firstChange << " of " << before.size();
    EXPECT_GE(imgtest::GetNumber(after, linkAt, tiff.linkBytes, c.layout.bigEndian), before.size())
        << "the last link doesn't lead past the old end";

    {
      imgtest::BoxLog readerBoxes;  // the reader's own warnings about the foreign page don't count here
      ASSERT_EQ(pagesBefore + 1, imgtest::CountTiffPages(path));
      imgtest::TiffPage added;
      ASSERT_TRUE(imgtest::ReadTiffPage(path, pagesBefore, &added));
      EXPECT_EQ(uint32_t(w), added.width);
      ASSERT_EQ(size_t(h), added.rows.size());
      for (int y = 0; y < h; ++y) EXPECT_EQ(imgtest::PictureRow(frame, w, h, y), added.rows[y]) << "row " << y;
      if (c.readerLoadsFirstPage) {
        imgtest::TiffPage first;
        ASSERT_TRUE(imgtest::ReadTiffPage(path, 0, &first));
        ASSERT_EQ(3u, first.rows.size());
        EXPECT_EQ(Bytes(FirstPageRows().begin(), FirstPageRows().begin() + 15), first.rows[0]);
      }
      readerBoxes.Take();
    }
  }
}

INSTANTIATE_TEST_SUITE_P(
    Files, TiffForeignAppend,
    ::testing::Values(ForeignCase{"PrivateTags", kLittle, Pages::PrivateTags, true},
                      ForeignCase{"PrivateTagsBigEndian", kBig, Pages::PrivateTags, true},
                      ForeignCase{"PrivateTagsBigTiff", kLittleBigTiff, Pages::PrivateTags, true},
                      ForeignCase{"PrivateTagsOnSecondPage", kLittle, Pages::PictureThenPrivateTags, true},
                      ForeignCase{"BigEndian", kBig, Pages::Picture, true},
                      ForeignCase{"BigTiff", kLittleBigTiff, Pages::Picture, true},
                      ForeignCase{"BigTiffBigEndian", kBigBigTiff, Pages::Picture, true},
                      ForeignCase{"PagesAddedAtTheFront", kLittleBackwards, Pages::ThreePictures, true},
                      ForeignCase{"ZeroStrips", kLittle, Pages::ZeroStrips, false},
                      ForeignCase{"ZeroStripsBigTiff", kLittleBigTiff, Pages::ZeroStrips, false},
                      ForeignCase{"DirectoryWithoutEntries", kLittle, Pages::NoEntries, false},
                      ForeignCase{"HeaderWithoutDirectory", kBig, Pages::NoDirectory, false},
                      ForeignCase{"BigTiffHeaderWithoutDirectory", kLittleBigTiff, Pages::NoDirectory, false}),
    [](const ::testing::TestParamInfo<ForeignCase>& info) { return std::string(info.param.name); });

// What the writer relies on: the append open, the count of directories and the move
// to the end of the chain read no directory, so a file whose first directory the
// reader warns about or rejects gives no box. The reader itself does show one.
TEST(TiffLibraryAppendOpen, ReadsNoDirectoryOfTheFile) {
  imgtest::TempDir dir;
  Bytes frame = imgtest::NoiseFrame(2, 2, 1);
  ASSERT_EQ(1, SaveTiffImage(dir.Path("handlers.tif").c_str(), frame.data(), 2, 2));  // installs the box handlers
  const struct {
    const char* name;
    Pages pages;
    const char* readerSays;
  } files[] = {{"private tags", Pages::PrivateTags, "Unknown field with tag 50000"},
               {"zero strips", Pages::ZeroStrips, "Cannot handle zero number of strips"}};
  for (const auto& f : files) {
    SCOPED_TRACE(f.name);
    const std::string path = dir.Path("lib.tif");
    const Bytes bytes = imgtest::MakeTiff(kLittle, MakePages(f.pages)).bytes;
    imgtest::WriteFile(path, bytes);
    {
      imgtest::BoxLog boxes;
      TIFF* tif = TIFFOpen(path.c_str(), "a+");
      ASSERT_NE(nullptr, tif);
      EXPECT_EQ(1u, TIFFNumberOfDirectories(tif));
      TIFFCreateDirectory(tif);
      EXPECT_EQ(0, TIFFSetDirectory(tif, 1));  // past the last: loads nothing
      TIFFClose(tif);
      std::vector<Box> seen = boxes.Take();
      EXPECT_TRUE(seen.empty()) << imgtest::Describe(seen);
      EXPECT_TRUE(bytes == imgtest::ReadFile(path)) << "nothing was set, so nothing may be written";
    }
    imgtest::BoxLog boxes;
    TIFF* reader = TIFFOpen(path.c_str(), "r");
    if (reader != nullptr) TIFFClose(reader);
    std::vector<Box> seen = boxes.Take();
    ASSERT_FALSE(seen.empty()) << "the reader was expected to object";
    EXPECT_NE(std::string::npos, seen[0].text.find(f.readerSays)) << imgtest::Describe(seen);
  }
}

// Files that must be refused untouched, with the box, the stderr line and result 2.
enum class Broken {
  BigTiffOffsetSize4,
  BigTiffReservedNotZero,
  BigTiffHeaderCut,
  FirstDirectoryInsideHeader,
  CountBeyondEnd,
  BigTiffCountOver16Bits,
  BigTiffLinkBeyondEnd,
  BigEndianLinkBeyondEnd,
  SecondDirectoryInsideFirst,
  SecondLinksBackToFirst,
  TooManyDirectories,
};

Bytes MakeBroken(Broken kind) {
  using imgtest::PutNumber;
  switch (kind) {
    case Broken::BigTiffOffsetSize4: {
      HandMadeTiff t = imgtest::MakeTiff(kLittleBigTiff, MakePages(Pages::Picture));
      PutNumber(t.bytes, 4, 4, 2, false);
      return t.bytes;
    }
    case Broken::BigTiffReservedNotZero: {
      HandMadeTiff t = imgtest::MakeTiff(kBigBigTiff, MakePages(Pages::Picture));
      PutNumber(t.bytes, 6, 1, 2, true);
      return t.bytes;
    }
    case Broken::BigTiffHeaderCut:
      return Bytes{'I', 'I', 43, 0, 8, 0, 0, 0, 16, 0, 0, 0};
    case Broken::FirstDirectoryInsideHeader: {
      // A directory at offset 4 counts its entries from the header's own link.
      HandMadeTiff t = imgtest::MakeTiff(kLittle, MakePages(Pages::Picture));
      PutNumber(t.bytes, 4, 4, 4, false);
      return t.bytes;
    }
    case Broken::CountBeyondEnd: {
      HandMadeTiff t = imgtest::MakeTiff(kLittle, MakePages(Pages::PictureThenPrivateTags));
      PutNumber(t.bytes, t.directories[1], 0x7FFF, 2, false);
      return t.bytes;
    }
    case Broken::BigTiffCountOver16Bits: {
      // 65536 entries that all lie inside the file: the library's walk stops at 65535.
      HandMadeTiff t = imgtest::MakeTiff(kLittleBigTiff, MakePages(Pages::Picture));
      PutNumber(t.bytes, t.directories[0], 0x10000, 8, false);
      t.bytes.resize(t.directories[0] + 8 + 20 * 0x10000 + 8, 0);
      return t.bytes;
    }
    case Broken::BigTiffLinkBeyondEnd: {
      HandMadeTiff t = imgtest::MakeTiff(kLittleBigTiff, MakePages(Pages::Picture));
      PutNumber(t.bytes, t.links[0], t.bytes.size() + 64, 8, false);
      return t.bytes;
    }
    case Broken::BigEndianLinkBeyondEnd: {
      HandMadeTiff t = imgtest::MakeTiff(kBig, MakePages(Pages::PrivateTags));
      PutNumber(t.bytes, t.links[0], t.bytes.size(), 4, true);
      return t.bytes;
    }
    case Broken::SecondDirectoryInsideFirst: {
      // A picture whose first entry is tag 0 with type and count 0 (the reader only
      // warns about it), linked on to its own third byte: read from there, that
      // entry is a directory without entries whose link is the entry's type and
      // count, so the new link would be written into the picture's directory.
      HandMadeTiff t = imgtest::MakeTiff(kLittle, {imgtest::RgbPage(5, 3, FirstPageRows(), {{0, 0, {}}})});
      PutNumber(t.bytes, t.links[0], t.directories[0] + 2, 4, false);
      return t.bytes;
    }
    case Broken::SecondLinksBackToFirst: {
      HandMadeTiff t = imgtest::MakeTiff(kBig, MakePages(Pages::PictureThenPrivateTags));
      PutNumber(t.bytes, t.links[1], t.directories[0], 4, true);
      return t.bytes;
    }
    case Broken::TooManyDirectories: {
      // As many directories (without entries) as the library follows: one more
      // page could not be read back.
      const uint32_t count = 1048576;
      Bytes b = {'I', 'I', 42, 0, 8, 0, 0, 0};
      b.resize(8 + size_t{6} * count, 0);
      for (uint32_t i = 0; i + 1 < count; ++i) PutNumber(b, 8 + size_t{6} * i + 2, 8 + uint64_t{6} * (i + 1), 4, false);
      return b;
    }
  }
  return {};
}

struct BrokenCase {
  const char* name;
  Broken kind;
  const char* says;  // part of the box's text
};

class TiffForeignRefusal : public ::testing::TestWithParam<BrokenCase> {};

TEST_P(TiffForeignRefusal, BoxStderrResult2AndFileUnchanged) {
  const BrokenCase& c = GetParam();
  imgtest::TempDir dir;
  const std::string path = dir.Path("broken.tif");
  const Bytes before = MakeBroken(c.kind);
  imgtest::WriteFile(path, before);
  Bytes frame = imgtest::NoiseFrame(4, 4, 3);
  for (int route = 0; route < 2; ++route) {
    SCOPED_TRACE(route == 0 ? "WriteTiffFile" : "DSCameraImageSave type 8");
    imgtest::BoxLog boxes;
    qvtest::StderrCapture err;
    if (route == 0) {
      EXPECT_EQ(2, WriteTiffFile(path.c_str(), 4, 4, 2, 24, 0, 1, 0, nullptr, 0, frame.data()));
    } else {
      SaveImageFile(frame.data(), kImageFileTiff, 4, 4, path.c_str());
    }
    EXPECT_EQ("Cannot open file for output.\n", StderrText(err.Stop()));
    std::vector<Box> seen = boxes.Take();
    ASSERT_EQ(1u, seen.size()) << imgtest::Describe(seen);
    EXPECT_EQ(path + " Error", seen[0].caption);
    EXPECT_NE(std::string::npos, seen[0].text.find(c.says)) << seen[0].text;
    EXPECT_TRUE(before == imgtest::ReadFile(path)) << "the file was changed";
  }
}

INSTANTIATE_TEST_SUITE_P(
    Files, TiffForeignRefusal,
    ::testing::Values(BrokenCase{"BigTiffOffsetSize4", Broken::BigTiffOffsetSize4, "bad BigTIFF offsetsize"},
                      BrokenCase{"BigTiffReservedNotZero", Broken::BigTiffReservedNotZero, "bad BigTIFF unused"},
                      BrokenCase{"BigTiffHeaderCut", Broken::BigTiffHeaderCut, "Cannot read TIFF header"},
                      BrokenCase{"FirstDirectoryInsideHeader", Broken::FirstDirectoryInsideHeader, "header"},
                      BrokenCase{"CountBeyondEnd", Broken::CountBeyondEnd, "beyond the end"},
                      BrokenCase{"BigTiffCountOver16Bits", Broken::BigTiffCountOver16Bits, "65535"},
                      BrokenCase{"BigTiffLinkBeyondEnd", Broken::BigTiffLinkBeyondEnd, "beyond the end"},
                      BrokenCase{"BigEndianLinkBeyondEnd", Broken::BigEndianLinkBeyondEnd, "beyond the end"},
                      BrokenCase{"SecondDirectoryInsideFirst", Broken::SecondDirectoryInsideFirst, "overlaps"},
                      BrokenCase{"SecondLinksBackToFirst", Broken::SecondLinksBackToFirst, "links back"},
                      BrokenCase{"TooManyDirectories", Broken::TooManyDirectories, "1048576"}),
    [](const ::testing::TestParamInfo<BrokenCase>& info) { return std::string(info.param.name); });

// The fuzzer's seed files, through the writer: appended with every old byte kept but
// the one link set (4 bytes, 8 in BigTIFF) and one page more, or refused untouched.
struct CorpusCase {
  const char* file;
  int result;
};

class TiffCorpusFiles : public ::testing::TestWithParam<CorpusCase> {};

TEST_P(TiffCorpusFiles, AppendedKeepingAllButOneLinkOrRefusedUntouched) {
  const CorpusCase& c = GetParam();
  const Bytes before = imgtest::ReadFile(std::string(QV_TIFF_CORPUS) + "/" + c.file);
  ASSERT_TRUE(!before.empty() || std::string(c.file) == "empty") << "missing seed " << c.file;
  imgtest::TempDir dir;
  const std::string path = dir.Path(c.file);
  imgtest::WriteFile(path, before);
  uint32_t pagesBefore = 0;
  if (c.result == 0 && !before.empty()) {
    imgtest::BoxLog readerBoxes;  // on Windows a box nobody closes would wait for ever
    pagesBefore = imgtest::CountTiffPages(path);
  }
  Bytes frame = imgtest::NoiseFrame(5, 3, 4);

  imgtest::BoxLog boxes;
  qvtest::StderrCapture err;
  EXPECT_EQ(c.result, WriteTiffFile(path.c_str(), 5, 3, 2, 24, 0, 1, 0, nullptr, 0, frame.data()));
  const std::string said = StderrText(err.Stop());
  std::vector<Box> seen = boxes.Take();
  const Bytes after = imgtest::ReadFile(path);
  if (c.result == 2) {
    EXPECT_EQ("Cannot open file for output.\n", said);
    ASSERT_EQ(1u, seen.size()) << imgtest::Describe(seen);
    EXPECT_EQ(path + " Error", seen[0].caption);
    EXPECT_TRUE(before == after) << "the file was changed";
    return;
  }
  EXPECT_EQ("", said);
  EXPECT_TRUE(seen.empty()) << imgtest::Describe(seen);
  ASSERT_GT(after.size(), before.size());
  size_t first = before.size(), last = 0;
  for (size_t i = 0; i < before.size(); ++i) {
    if (before[i] == after[i]) continue;
    if (first == before.size()) first = i;
    last = i;
  }
  const bool bigTiff = before.size() >= 4 && (before[2] == 43 || before[3] == 43);
  if (first != before.size()) {
    EXPECT_LT(last - first, bigTiff ? 8u : 4u) << "bytes " << first << " to " << last << " changed";
  }
  imgtest::BoxLog readerBoxes;  // the reader's warnings about the old pages don't count here
  EXPECT_EQ(pagesBefore + 1, imgtest::CountTiffPages(path));
  imgtest::TiffPage added;
  ASSERT_TRUE(imgtest::ReadTiffPage(path, pagesBefore, &added));
  ASSERT_EQ(3u, added.rows.size());
  EXPECT_EQ(imgtest::PictureRow(frame, 5, 3, 0), added.rows[0]);
}

INSTANTIATE_TEST_SUITE_P(Seeds, TiffCorpusFiles,
                         ::testing::Values(CorpusCase{"empty", 0}, CorpusCase{"one-page.tif", 0},
                                           CorpusCase{"two-pages.tif", 0}, CorpusCase{"truncated.tif", 2},
                                           CorpusCase{"picture.bmp", 2}, CorpusCase{"private-tags.tif", 0},
                                           CorpusCase{"private-tags-big-endian.tif", 0}, CorpusCase{"bigtiff.tif", 0},
                                           CorpusCase{"zero-strips.tif", 0}, CorpusCase{"pages-added-at-front.tif", 0},
                                           CorpusCase{"directory-inside-directory.tif", 2},
                                           CorpusCase{"directory-inside-header.tif", 2},
                                           CorpusCase{"second-links-back-to-first.tif", 2}),
                         [](const ::testing::TestParamInfo<CorpusCase>& info) {
                           std::string name;
                           for (const char* p = info.param.file; *p != 0 && *p != '.'; ++p) {
                             if (std::isalnum(static_cast<unsigned char>(*p))) name += *p;
                           }
                           return name;
                         });

}  // namespace
