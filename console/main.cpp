#include "Bas_YkMain11.h"

int main(int argc, char** argv) { return Main(argc, argv); }
