#include "Bas_YkMain11.h"
#include "FrmRfid_Dll1.h"
#include "FrmTest1.h"

int main(int argc, char** argv) {
  FrmRfid_Dll1::SetTestWindowFactory([](QWidget* parent) { return new FrmTest1(parent); });
  return Main(argc, argv);
}
