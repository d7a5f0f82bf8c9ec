// The reader as a bound reader library: loaded by name on first use, both
// entry points bound together, the binding kept for the rest of the run.
#pragma once

#include <memory>
#include <string>

#include "dynamic_library.h"
#include "exchange.h"
#include "tqr_api.h"

namespace rfid {

class LibraryReader final : public Reader {
 public:
  explicit LibraryReader(std::string libraryName);
  ~LibraryReader() override;

  // Both throw ReaderLibraryError when the library or an entry point cannot
  // be bound; a later call tries again.
  std::int16_t DeviceFind() override;
  std::int16_t DataTransceiveEx(const char* send, char* receive) override;

  const std::string& LibraryName() const { return name_; }
  bool Bound() const { return library_ != nullptr; }
  std::string LibraryPath() const override { return library_ ? library_->Path() : std::string(); }
  bool Simulated() const override { return simulated_; }

 private:
  struct Table {
    tqr_device_find_fn device_find = nullptr;
    tqr_data_transceive_ex_fn data_transceive_ex = nullptr;
  };
  const Table& Bind();

  std::string name_;
  std::unique_ptr<DynamicLibrary> library_;
  Table table_;
  bool simulated_ = false;
};

}  // namespace rfid
