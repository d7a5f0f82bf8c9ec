# Fails unless the library's dynamic symbol table defines exactly the two
# calls of a reader library and the simulated reader's mark.
execute_process(COMMAND ${NM} -D --defined-only ${LIBRARY}
                OUTPUT_VARIABLE out RESULT_VARIABLE rc)
if(NOT rc EQUAL 0)
  message(FATAL_ERROR "nm failed on ${LIBRARY}")
endif()
string(REGEX MATCHALL "[^\n]+" lines "${out}")
set(names)
foreach(line IN LISTS lines)
  string(REGEX REPLACE "^.* " "" name "${line}")
  list(APPEND names ${name})
endforeach()
list(SORT names)
if(NOT names STREQUAL "tqr_data_transceive_ex;tqr_device_find;tqr_simulated_reader")
  message(FATAL_ERROR "${LIBRARY} exports: ${names}")
endif()
