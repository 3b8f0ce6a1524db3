#include "Formatter.h"

#include "Text.h"

namespace qv::engine {
namespace {

std::u16string FieldText(const char16_t* field, bool& terminated) {
  for (int i = 0; i < kBlockTextChars; ++i) {
    if (field[i] == 0) return std::u16string(field, size_t(i));
  }
  terminated = false;
  return {};
}

bool Named(const std::u16string& name, const char* ascii) {
  return SamePath(name, Ascii(ascii));
}

}  // namespace

FormatRequest ReadFormatParams(const TFormatParams& params) {
  FormatRequest request;
  request.drive = params.Drive;
  request.fileSystem = FieldText(params.FileSystem, request.fieldsTerminated);
  request.label = FieldText(params.VolumeLabel, request.fieldsTerminated);
  request.clusterIndex = params.ClusterIndex;
  request.quick = params.QuickFormat != 0;
  request.compression = params.Compression != 0;
  return request;
}

FormatEnd FormatDrive(Volume& volume, const FormatRequest& request, Reporter& reporter) {
  if (!request.fieldsTerminated) {
    reporter.Failure(u"The format settings are not valid; the drive was not formatted");
    return FormatEnd::Failed;
  }
  bool fat = Named(request.fileSystem, "FAT");
  bool fat32 = Named(request.fileSystem, "FAT32");
  if (SystemFormatAvailable()) {
    volume.Close();
    return SystemFormat(request, reporter);
  }
  if (fat || fat32) return FormatFat(volume, request, fat32, reporter);
  if (request.fileSystem.empty()) {
    reporter.Failure(u"No file system was chosen; the drive was not formatted");
    return FormatEnd::Failed;
  }
  reporter.Failure(request.fileSystem + u" formatting is not available on this system; the drive was not formatted");
  return FormatEnd::Failed;
}

}  // namespace qv::engine
