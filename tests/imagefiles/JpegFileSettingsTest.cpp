// The settings a saved JPEG file carries, read from its markers: a baseline frame
// (SOF0, never extended or progressive), the standard quantisation tables scaled
// for the quality, the standard Huffman tables and the JFIF header.
#include <gtest/gtest.h>

#include <algorithm>
#include <map>
#include <string>
#include <vector>

#include "ImageSave.h"
#include "ImageTestSupport.h"
#include "JpegMarkers.h"
#include "JpegWriter.h"

using imgtest::Bytes;
using imgtest::JpegMarkers;
using imgtest::JpegSegment;

namespace {

// The example tables of the JPEG standard (Annex K.1), row by row.
const unsigned kLuminance[64] = {16, 11, 10, 16, 24,  40,  51,  61,  12, 12, 14, 19, 26,  58,  60,  55,
                                 14, 13, 16, 24, 40,  57,  69,  56,  14, 17, 22, 29, 51,  87,  80,  62,
                                 18, 22, 37, 56, 68,  109, 103, 77,  24, 35, 55, 64, 81,  104, 113, 92,
                                 49, 64, 78, 87, 103, 121, 120, 101, 72, 92, 95, 98, 112, 100, 103, 99};
const unsigned kChrominance[64] = {17, 18, 24, 47, 99, 99, 99, 99, 18, 21, 26, 66, 99, 99, 99, 99,
                                   24, 26, 56, 99, 99, 99, 99, 99, 47, 66, 99, 99, 99, 99, 99, 99,
                                   99, 99, 99, 99, 99, 99, 99, 99, 99, 99, 99, 99, 99, 99, 99, 99,
                                   99, 99, 99, 99, 99, 99, 99, 99, 99, 99, 99, 99, 99, 99, 99, 99};

// The library's quality curve: 5000 / q percent below 50, 200 - 2q from 50 on, each
// value (v x percent + 50) / 100, kept within 1..255 for baseline.
std::vector<unsigned> ScaledTable(const unsigned (&basic)[64], int quality) {
  const long percent = quality < 50 ? 5000 / quality : 200 - 2 * quality;
  std::vector<unsigned> table(64);
  for (int i = 0; i < 64; ++i)
    table[i] = static_cast<unsigned>(std::clamp((static_cast<long>(basic[i]) * percent + 50) / 100, 1L, 255L));
  return table;
}

// Position in the 8 x 8 block (row x 8 + column) of each value as a DQT marker
// stores them: along the anti-diagonals, alternating direction, from the top left.
std::vector<int> ZigzagOrder() {
  std::vector<int> order;
  for (int sum = 0; sum <= 14; ++sum) {
    const int low = std::max(0, sum - 7), high = std::min(sum, 7);
    for (int k = 0; k <= high - low; ++k) {
      const int row = sum % 2 == 0 ? high - k : low + k;
      order.push_back(row * 8 + (sum - row));
    }
  }
  return order;
}

// The standard Huffman tables' code counts per length (Annex K.3), by class and id.
const std::map<int, std::vector<int>> kHuffmanCounts = {
    {0x00, {0, 1, 5, 1, 1, 1, 1, 1, 1, 0, 0, 0, 0, 0, 0, 0}},      // DC luminance
    {0x01, {0, 3, 1, 1, 1, 1, 1, 1, 1, 1, 1, 0, 0, 0, 0, 0}},      // DC chrominance
    {0x10, {0, 2, 1, 3, 3, 2, 4, 3, 5, 5, 4, 4, 0, 0, 1, 0x7d}},   // AC luminance
    {0x11, {0, 2, 1, 2, 4, 4, 3, 4, 7, 5, 4, 4, 0, 1, 2, 0x77}}};  // AC chrominance

unsigned Be16(const Bytes& b, size_t at) { return (b.at(at) << 8) | b.at(at + 1); }

enum class Route { SaveImageFile, SaveJpegImage, SaveJpegImageByCopy, WriteColour, WriteGray };

struct SettingsCase {
  const char* name;
  Route route;
  int quality;
};

class JpegFileSettings : public ::testing::TestWithParam<SettingsCase> {};

TEST_P(JpegFileSettings, BaselineStandardTablesScaledForQualityJfif) {
  const SettingsCase& c = GetParam();
  const int w = 37, h = 21;
  imgtest::TempDir dir;
  const std::string path = dir.Path("settings.jpg");
  Bytes frame = imgtest::GradientFrame(w, h);
  switch (c.route) {
    case Route::SaveImageFile:
      SaveImageFile(frame.data(), kImageFileJpeg, w, h, path.c_str());
      break;
    case Route::SaveJpegImage:
      ASSERT_EQ(1, SaveJpegImage(path.c_str(), frame.data(), w, h));
      break;
    case Route::SaveJpegImageByCopy:
      ASSERT_EQ(1, SaveJpegImageByCopy(path.c_str(), frame.data(), w, h));
      break;
    case Route::WriteColour:
    case Route::WriteGray:
      ASSERT_EQ(1, WriteJpegFile(path.c_str(), frame.data(), w, h, c.route == Route::WriteColour, c.quality));
      break;
  }
  const bool colour = c.route != Route::WriteGray;
  const JpegMarkers m = imgtest::ParseJpegMarkers(imgtest::ReadFile(path));
  ASSERT_TRUE(m.ok) << m.fault;

  // JFIF 1.01 right after SOI: no pixel size, square pixels, no thumbnail.
  ASSERT_GE(m.segments.size(), 2u);
  EXPECT_EQ(0xE0, m.segments[1].marker) << "APP0 must follow SOI";
  const Bytes jfif = {'J', 'F', 'I', 'F', 0, 1, 1, 0, 0, 1, 0, 1, 0, 0};
  EXPECT_EQ(jfif, m.segments[1].body);

  // A baseline frame only: 8-bit samples, the picture's size, JFIF's component ids.
  for (uint8_t sof : {0xC1, 0xC2, 0xC3, 0xC5, 0xC6, 0xC7, 0xC9, 0xCA, 0xCB, 0xCD, 0xCE, 0xCF}) {
    EXPECT_TRUE(m.All(sof).empty()) << "frame marker 0x" << std::hex << int(sof);
  }
  const auto frames = m.All(0xC0);
  ASSERT_EQ(1u, frames.size());
  const Bytes& sof0 = frames[0]->body;
  ASSERT_EQ(colour ? 15u : 9u, sof0.size());
  EXPECT_EQ(8, sof0[0]);
  EXPECT_EQ(unsigned(h), Be16(sof0, 1));
  EXPECT_EQ(unsigned(w), Be16(sof0, 3));
  const Bytes components = colour ? Bytes{1, 0x22, 0, 2, 0x11, 1, 3, 0x11, 1} : Bytes{1, 0x11, 0};
  EXPECT_EQ(components, Bytes(sof0.begin() + 6, sof0.end())) << "id, sampling, table of each component";

  // Quantisation tables: 8-bit, the standard's scaled for the quality, stored in zigzag order.
  std::map<int, std::vector<unsigned>> tables;
  for (const JpegSegment* dqt : m.All(0xDB)) {
    size_t at = 0;
    while (at < dqt->body.size()) {
      const int precision = dqt->body[at] >> 4, id = dqt->body[at] & 15;
      EXPECT_EQ(0, precision) << "table " << id << " is not 8-bit";
      ASSERT_LE(at + 1 + 64 * (precision + 1), dqt->body.size());
      EXPECT_EQ(0u, tables.count(id)) << "table " << id << " twice";
      std::vector<unsigned>& table = tables[id];
      table.assign(64, 0);
      const std::vector<int> zigzag = ZigzagOrder();
      for (int i = 0; i < 64; ++i) {
        table[zigzag[i]] = precision ? Be16(dqt->body, at + 1 + 2 * i) : dqt->body[at + 1 + i];
      }
      at += 1 + 64 * (precision + 1);
    }
  }
  ASSERT_EQ(colour ? 2u : 1u, tables.size());
  EXPECT_EQ(ScaledTable(kLuminance, c.quality), tables[0]) << "luminance at quality " << c.quality;
  if (colour) {
    EXPECT_EQ(ScaledTable(kChrominance, c.quality), tables[1]) << "chrominance at quality " << c.quality;
  }

  // The standard Huffman tables (no optimised coding), one scan, no restart markers.
  std::map<int, std::vector<int>> huffman;
  for (const JpegSegment* dht : m.All(0xC4)) {
    size_t at = 0;
    while (at + 17 <= dht->body.size()) {
      std::vector<int> counts(dht->body.begin() + at + 1, dht->body.begin() + at + 17);
      int values = 0;
      for (int n : counts) values += n;
      huffman[dht->body[at]] = counts;
      at += 17 + values;
    }
    EXPECT_EQ(dht->body.size(), at) << "a DHT segment doesn't end after its tables";
  }
  for (const auto& [table, counts] : kHuffmanCounts) {
    if (!colour && (table & 15) != 0) continue;
    EXPECT_EQ(counts, huffman[table]) << "Huffman table 0x" << std::hex << table;
  }
  EXPECT_EQ(colour ? 4u : 2u, huffman.size());
  EXPECT_TRUE(m.All(0xDD).empty()) << "restart interval";
  const auto scans = m.All(0xDA);
  ASSERT_EQ(1u, scans.size());
  const Bytes scan = colour ? Bytes{3, 1, 0x00, 2, 0x11, 3, 0x11, 0, 63, 0} : Bytes{1, 1, 0x00, 0, 63, 0};
  EXPECT_EQ(scan, scans[0]->body) << "components with their tables, then the whole spectrum at once";
}

INSTANTIATE_TEST_SUITE_P(Routes, JpegFileSettings,
                         ::testing::Values(SettingsCase{"ImageSaveType1", Route::SaveImageFile, 75},
                                           SettingsCase{"SaveJpegImage", Route::SaveJpegImage, 75},
                                           SettingsCase{"SaveJpegImageByCopy", Route::SaveJpegImageByCopy, 75},
                                           SettingsCase{"Quality5ClampedTo255", Route::WriteColour, 5},
                                           SettingsCase{"Quality25", Route::WriteColour, 25},
                                           SettingsCase{"Quality50TablesAsGiven", Route::WriteColour, 50},
                                           SettingsCase{"Quality100AllOnes", Route::WriteColour, 100},
                                           SettingsCase{"Gray75", Route::WriteGray, 75}),
                         [](const ::testing::TestParamInfo<SettingsCase>& info) {
                           return std::string(info.param.name);
                         });

}  // namespace
