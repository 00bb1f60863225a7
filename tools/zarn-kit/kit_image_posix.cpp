// libjpeg decodes the whole image, not only its header: a file cut short or
// corrupted after a valid header would fail in the installer too.
#include <csetjmp>
#include <cstdio>
#include <vector>

#include <jpeglib.h>

#include "kit_image.h"
#include "platform/text.h"

namespace kit {

namespace {

struct ErrorExit {
  jpeg_error_mgr mgr;
  std::jmp_buf jump;
};

void OnError(j_common_ptr info) { std::longjmp(reinterpret_cast<ErrorExit*>(info->err)->jump, 1); }
void Silent(j_common_ptr) {}

// Kept apart from anything with a destructor: longjmp skips them.
bool Decode(std::FILE* f, ImageSize* size) {
  jpeg_decompress_struct info;
  ErrorExit error;
  info.err = jpeg_std_error(&error.mgr);
  error.mgr.error_exit = OnError;
  error.mgr.output_message = Silent;
  JSAMPLE* row = nullptr;
  if (setjmp(error.jump)) {
    jpeg_destroy_decompress(&info);
    delete[] row;
    return false;
  }
  jpeg_create_decompress(&info);
  jpeg_stdio_src(&info, f);
  jpeg_read_header(&info, TRUE);
  jpeg_start_decompress(&info);
  row = new JSAMPLE[static_cast<size_t>(info.output_width) * info.output_components];
  while (info.output_scanline < info.output_height) jpeg_read_scanlines(&info, &row, 1);
  // A truncated file is padded by libjpeg with a warning; the picture is then wrong.
  const bool whole = error.mgr.num_warnings == 0;
  jpeg_finish_decompress(&info);
  size->width = static_cast<int>(info.output_width);
  size->height = static_cast<int>(info.output_height);
  jpeg_destroy_decompress(&info);
  delete[] row;
  return whole;
}

}  // namespace

ImageRead ReadImageSize(const std::u16string& path, ImageSize* size) {
  std::FILE* f = std::fopen(platform::WideToUtf8(path).c_str(), "rb");
  if (!f) return ImageRead::kMissing;
  const bool ok = Decode(f, size);
  std::fclose(f);
  return ok ? ImageRead::kDecoded : ImageRead::kUndecodable;
}

}  // namespace kit
