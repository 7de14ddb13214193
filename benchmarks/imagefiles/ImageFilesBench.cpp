// Each save path of a 1920x1080 frame against the bare library work for the same
// output, medians of interleaved runs, ratios from this one run.
//   imagefiles_bench [folder] [runs]
//
// A path that replaces a file leaves its pages to be written back, and that work
// lands on whatever runs next (after a 6 MB BMP a JPEG encode took about 10% longer).
// So each run's file is flushed to disk, untimed, before the next path starts, and
// the order changes every round. Besides the wall time, the thread's CPU time is
// measured: on cores shared with other work it is the steadier of the two.
#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <ctime>
#include <filesystem>
#include <functional>
#include <random>
#include <string>
#include <vector>

#include <jpeglib.h>
#include <tiffio.h>

#include "ImageSave.h"
#include "JpegWriter.h"
#include "TiffWriter.h"

namespace {

constexpr int kWidth = 1920, kHeight = 1080;

struct Entry {
  const char* name;
  const std::string* output;  // the file the path writes
  std::function<void()> run;
  std::vector<double> ms;
  std::vector<double> cpuMs;
};

double ThreadCpuMs() {
  timespec t{};
  clock_gettime(CLOCK_THREAD_CPUTIME_ID, &t);
  return t.tv_sec * 1e3 + t.tv_nsec / 1e6;
}

// Waits until the file's data has reached the disk.
void Settle(const std::string& path) {
  int fd = ::open(path.c_str(), O_RDONLY);
  if (fd < 0) return;
  ::fdatasync(fd);
  ::close(fd);
}

double Median(std::vector<double> v) {
  std::sort(v.begin(), v.end());
  return v[v.size() / 2];
}

// libjpeg-turbo alone: top-down RGB rows at quality 75 into a stdio file.
void BareJpeg(const std::string& path, const std::vector<unsigned char>& rgb) {
  jpeg_compress_struct cinfo;
  jpeg_error_mgr jerr;
  cinfo.err = jpeg_std_error(&jerr);
  jpeg_create_compress(&cinfo);
  FILE* out = std::fopen(path.c_str(), "wb");
  jpeg_stdio_dest(&cinfo, out);
  cinfo.image_width = kWidth;
  cinfo.image_height = kHeight;
  cinfo.input_components = 3;
  cinfo.in_color_space = JCS_RGB;
  jpeg_set_defaults(&cinfo);
  jpeg_set_quality(&cinfo, 75, TRUE);
  jpeg_start_compress(&cinfo, TRUE);
  while (cinfo.next_scanline < cinfo.image_height) {
    JSAMPROW row = const_cast<JSAMPROW>(rgb.data() + size_t{cinfo.next_scanline} * kWidth * 3);
    jpeg_write_scanlines(&cinfo, &row, 1);
  }
  jpeg_finish_compress(&cinfo);
  std::fclose(out);
  jpeg_destroy_compress(&cinfo);
}

// libtiff alone: the same fields and strip size, rows already top-down RGB.
void BareTiff(const std::string& path, const std::vector<unsigned char>& rgb) {
  std::remove(path.c_str());
  TIFF* tif = TIFFOpen(path.c_str(), "w");
  TIFFSetField(tif, TIFFTAG_IMAGEWIDTH, kWidth);
  TIFFSetField(tif, TIFFTAG_IMAGELENGTH, kHeight);
  TIFFSetField(tif, TIFFTAG_ORIENTATION, ORIENTATION_TOPLEFT);
  TIFFSetField(tif, TIFFTAG_SAMPLESPERPIXEL, 3);
  TIFFSetField(tif, TIFFTAG_BITSPERSAMPLE, 8);
  TIFFSetField(tif, TIFFTAG_FILLORDER, FILLORDER_MSB2LSB);
  TIFFSetField(tif, TIFFTAG_PLANARCONFIG, PLANARCONFIG_CONTIG);
  TIFFSetField(tif, TIFFTAG_PHOTOMETRIC, PHOTOMETRIC_RGB);
  TIFFSetField(tif, TIFFTAG_SAMPLEFORMAT, SAMPLEFORMAT_INT);
  TIFFSetField(tif, TIFFTAG_COMPRESSION, COMPRESSION_NONE);
  TIFFSetField(tif, TIFFTAG_ROWSPERSTRIP, TIFFDefaultStripSize(tif, 0xFFFFFFFFu));
  std::vector<unsigned char> row(kWidth * 3);
  for (uint32_t i = 0; i < kHeight; ++i) {
    std::memcpy(row.data(), rgb.data() + size_t{i} * kWidth * 3, row.size());  // the library may alter it
    TIFFWriteScanline(tif, row.data(), i, 0);
  }
  TIFFClose(tif);
}

void OneWrite(const std::string& path, const std::vector<unsigned char>& bytes) {
  int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
  if (fd < 0) return;
  ssize_t n = ::write(fd, bytes.data(), bytes.size());
  (void)n;
  ::close(fd);
}

}  // namespace

int main(int argc, char** argv) {
  std::string dir = argc > 1 ? argv[1] : std::filesystem::temp_directory_path().string();
  int runs = argc > 2 ? std::max(3, std::atoi(argv[2])) : 15;
  auto at = [&](const char* name) { return (std::filesystem::path(dir) / name).string(); };

  // A camera-like picture: smooth with some noise, bottom-up blue-green-red.
  std::vector<unsigned char> frame(size_t{kWidth} * kHeight * 3);
  uint32_t state = 12345;
  for (int y = 0; y < kHeight; ++y) {
    for (int x = 0; x < kWidth; ++x) {
      state = state * 1664525u + 1013904223u;
      unsigned char* px = &frame[(size_t{static_cast<size_t>(y)} * kWidth + x) * 3];
      px[0] = static_cast<unsigned char>(x / 8 + (state >> 29));
      px[1] = static_cast<unsigned char>(y / 5 + (state >> 28));
      px[2] = static_cast<unsigned char>((x + y) / 12 + (state >> 30));
    }
  }
  std::vector<unsigned char> rgb(frame.size());  // what the libraries are given bare: top-down RGB
  for (int y = 0; y < kHeight; ++y) {
    const unsigned char* in = &frame[size_t(kHeight - 1 - y) * kWidth * 3];
    unsigned char* out = &rgb[size_t(y) * kWidth * 3];
    for (int x = 0; x < kWidth * 3; x += 3) {
      out[x] = in[x + 2];
      out[x + 1] = in[x + 1];
      out[x + 2] = in[x];
    }
  }
  std::vector<unsigned char> bmpFile;
  {
    std::string p = at("qv_bench_probe.bmp");
    SaveBmpImage(p.c_str(), frame.data(), kWidth, kHeight);
    FILE* f = std::fopen(p.c_str(), "rb");
    bmpFile.resize(54 + frame.size());
    size_t got = std::fread(bmpFile.data(), 1, bmpFile.size(), f);
    bmpFile.resize(got);
    std::fclose(f);
    std::remove(p.c_str());
  }

  const std::string jpg = at("qv_bench.jpg"), tif = at("qv_bench.tif"), bmp = at("qv_bench.bmp");
  std::vector<Entry> entries = {
      {"JPEG save (SaveJpegImage)", &jpg, [&] { SaveJpegImage(jpg.c_str(), frame.data(), kWidth, kHeight); }, {}, {}},
      {"JPEG copy+flip+swap route",
       &jpg,
       [&] { SaveJpegImageByCopy(jpg.c_str(), frame.data(), kWidth, kHeight); },
       {},
       {}},
      {"JPEG bare libjpeg-turbo q75", &jpg, [&] { BareJpeg(jpg, rgb); }, {}, {}},
      {"TIFF save, new file (SaveTiffImage)",
       &tif,
       [&] {
         std::remove(tif.c_str());
         SaveTiffImage(tif.c_str(), frame.data(), kWidth, kHeight);
       },
       {},
       {}},
      {"TIFF general writer, new file",
       &tif,
       [&] {
         std::remove(tif.c_str());
         WriteTiffFile(tif.c_str(), kWidth, kHeight, kTiffRgb, 24, kTiffUncompressed, kWordsAsGiven, 0, nullptr, 0,
                       frame.data());
       },
       {},
       {}},
      {"TIFF bare libtiff rows", &tif, [&] { BareTiff(tif, rgb); }, {}, {}},
      {"BMP save (SaveBmpImage)", &bmp, [&] { SaveBmpImage(bmp.c_str(), frame.data(), kWidth, kHeight); }, {}, {}},
      {"BMP one write() of its bytes", &bmp, [&] { OneWrite(bmp, bmpFile); }, {}, {}},
  };

  for (Entry& e : entries) {  // warm the page cache and the allocator
    e.run();
    Settle(*e.output);
  }
  std::vector<size_t> order(entries.size());
  for (size_t k = 0; k < order.size(); ++k) order[k] = k;
  std::mt19937 shuffle(2024);  // the same orders in every run of the benchmark
  for (int r = 0; r < runs; ++r) {
    std::shuffle(order.begin(), order.end(), shuffle);
    for (size_t k : order) {
      Entry& e = entries[k];
      const double cpuStart = ThreadCpuMs();
      auto start = std::chrono::steady_clock::now();
      e.run();
      e.ms.push_back(std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start).count());
      e.cpuMs.push_back(ThreadCpuMs() - cpuStart);
      Settle(*e.output);  // its writeback done before the next path starts
    }
  }
  for (const std::string& p : {jpg, tif, bmp}) std::remove(p.c_str());

  std::printf(
      "1920x1080 RGB24 frame, median of %d interleaved runs in shuffled order, each file flushed untimed,\n"
      "files in %s\n",
      runs, dir.c_str());
  std::printf("%-38s %9s %9s\n", "path", "wall ms", "cpu ms");
  for (const Entry& e : entries) std::printf("%-38s %9.2f %9.2f\n", e.name, Median(e.ms), Median(e.cpuMs));
  auto ratio = [&](int a, int b) { return Median(entries[a].ms) / Median(entries[b].ms); };
  auto cpuRatio = [&](int a, int b) { return Median(entries[a].cpuMs) / Median(entries[b].cpuMs); };
  auto line = [&](const char* name, int a, int b, const char* target) {
    std::printf("%-30s %5.2fx  %5.2fx %s\n", name, ratio(a, b), cpuRatio(a, b), target);
  };
  std::printf("\nratios                          wall     cpu  (target)\n");
  line("JPEG save / bare encode", 0, 2, "(<= 1.10)");
  line("JPEG copy route / bare encode", 1, 2, "");
  line("TIFF save / bare write", 3, 5, "(<= 1.20)");
  line("TIFF general / bare write", 4, 5, "");
  line("BMP save / one write", 6, 7, "(<= 1.20)");
  return 0;
}
