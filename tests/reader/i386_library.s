# A 32-bit x86 library with the two calls' names: the loader passes over it
# on a 64-bit system when it searches by name.
.globl tqr_device_find
.globl tqr_data_transceive_ex
tqr_device_find:
tqr_data_transceive_ex:
  ret
