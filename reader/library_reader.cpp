#include "library_reader.h"

namespace rfid {

LibraryReader::LibraryReader(std::string libraryName) : name_(std::move(libraryName)) {}
LibraryReader::~LibraryReader() = default;

const LibraryReader::Table& LibraryReader::Bind() {
  if (library_) return table_;
  auto library = DynamicLibrary::Open(name_);
  Table table;
  table.device_find = reinterpret_cast<tqr_device_find_fn>(library->Symbol("tqr_device_find"));
  table.data_transceive_ex =
      reinterpret_cast<tqr_data_transceive_ex_fn>(library->Symbol("tqr_data_transceive_ex"));
  simulated_ = library->Has(TQR_SIMULATED_MARK);
  table_ = table;
  library_ = std::move(library);
  return table_;
}

std::int16_t LibraryReader::DeviceFind() { return Bind().device_find(); }

std::int16_t LibraryReader::DataTransceiveEx(const char* send, char* receive) {
  return Bind().data_transceive_ex(send, receive);
}

}  // namespace rfid
