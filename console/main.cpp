#include "Bas_YkMain11.h"
#include "FrmRfid_Dll1.h"
#include "FrmTest1.h"
#include "library_reader.h"

int main(int argc, char** argv) {
  rfid::RestrictLibrarySearch();
  // The console binds the reader library by the platform's ordinary search.
  static rfid::LibraryReader reader(rfid::LibraryFileName("tqr_32"));
  FrmRfid_Dll1::SetInstanceReader(&reader);
  FrmRfid_Dll1::SetTestWindowFactory([](QWidget* parent) { return new FrmTest1(parent); });
  return Main(argc, argv);
}
