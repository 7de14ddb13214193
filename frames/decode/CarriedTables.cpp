#include "CarriedTables.h"

#include <csetjmp>
#include <cstring>

namespace qv {
namespace mjpg {

namespace {

struct SetupErrorManager {
  jpeg_error_mgr pub;
  jmp_buf recovery;
};

void SetupErrorExit(j_common_ptr cinfo) { std::longjmp(reinterpret_cast<SetupErrorManager*>(cinfo->err)->recovery, 1); }

void SilentOutput(j_common_ptr) {}

bool AllZero(const UINT16* values, size_t count) {
  for (size_t i = 0; i < count; ++i) {
    if (values[i] != 0) return false;
  }
  return true;
}

bool HasCodes(const JHUFF_TBL* table) {
  for (int length = 1; length <= 16; ++length) {
    if (table->bits[length] != 0) return true;
  }
  return false;
}

// A Huffman slot the scan names: slots 0 and 1 always hold a defined or standard table
// (libjpeg fills empty ones with the standard tables); slots 2 and 3 must have codes.
bool HuffmanSlotDefined(JHUFF_TBL* const* slots, int slot) {
  if (slot < 0 || slot >= NUM_HUFF_TBLS) return false;
  if (slot < 2) return true;
  return slots[slot] != nullptr && HasCodes(slots[slot]);
}

}  // namespace

bool LoadStandardHuffmanTables(StandardHuffmanTables* tables) {
  jpeg_compress_struct cinfo;
  SetupErrorManager jerr;
  cinfo.err = jpeg_std_error(&jerr.pub);
  jerr.pub.error_exit = SetupErrorExit;
  jerr.pub.output_message = SilentOutput;
  if (setjmp(jerr.recovery)) {
    jpeg_destroy_compress(&cinfo);
    return false;
  }
  jpeg_create_compress(&cinfo);
  cinfo.in_color_space = JCS_RGB;
  cinfo.input_components = 3;
  jpeg_set_defaults(&cinfo);  // installs the standard Huffman tables in slots 0 and 1
  for (int slot = 0; slot < 2; ++slot) {
    tables->dc[slot] = *cinfo.dc_huff_tbl_ptrs[slot];
    tables->ac[slot] = *cinfo.ac_huff_tbl_ptrs[slot];
  }
  jpeg_destroy_compress(&cinfo);
  return true;
}

void ForgetEarlierTables(j_decompress_ptr cinfo, const StandardHuffmanTables& standard) {
  // The tables live in libjpeg's permanent pool and can't be freed one by one; setting
  // a slot to null would leak a new table per frame. Their contents are reset instead.
  for (int slot = 0; slot < NUM_QUANT_TBLS; ++slot) {
    JQUANT_TBL* table = cinfo->quant_tbl_ptrs[slot];
    if (table != nullptr) std::memset(table->quantval, 0, sizeof table->quantval);
  }
  for (int slot = 0; slot < NUM_HUFF_TBLS; ++slot) {
    JHUFF_TBL* tables[2] = {cinfo->dc_huff_tbl_ptrs[slot], cinfo->ac_huff_tbl_ptrs[slot]};
    for (int kind = 0; kind < 2; ++kind) {
      JHUFF_TBL* table = tables[kind];
      if (table == nullptr) continue;
      if (slot < 2) {
        *table = kind == 0 ? standard.dc[slot] : standard.ac[slot];
      } else {
        std::memset(table->bits, 0, sizeof table->bits);
        std::memset(table->huffval, 0, sizeof table->huffval);
      }
    }
  }
}

bool UsesOnlyItsOwnTables(j_decompress_ptr cinfo) {
  for (int ci = 0; ci < cinfo->num_components; ++ci) {
    const int slot = cinfo->comp_info[ci].quant_tbl_no;
    if (slot < 0 || slot >= NUM_QUANT_TBLS) return false;
    const JQUANT_TBL* table = cinfo->quant_tbl_ptrs[slot];
    if (table == nullptr || AllZero(table->quantval, DCTSIZE2)) return false;
  }
  for (int ci = 0; ci < cinfo->comps_in_scan; ++ci) {
    const jpeg_component_info* component = cinfo->cur_comp_info[ci];
    if (!HuffmanSlotDefined(cinfo->dc_huff_tbl_ptrs, component->dc_tbl_no) ||
        !HuffmanSlotDefined(cinfo->ac_huff_tbl_ptrs, component->ac_tbl_no)) {
      return false;
    }
  }
  return true;
}

}  // namespace mjpg
}  // namespace qv
