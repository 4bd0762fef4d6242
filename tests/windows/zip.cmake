# Makes the zip for Windows users as `cpack` does and checks what it holds:
# exactly Fendrix/fendrix.exe and the empty data folder Fendrix/Shared/Sistemi/.
#   cmake -DBUILD=build-windows -DCARTELLA=dir -P zip.cmake
file(REMOVE_RECURSE "${CARTELLA}")
execute_process(COMMAND ${CMAKE_CPACK_COMMAND} -G ZIP -B "${CARTELLA}" WORKING_DIRECTORY "${BUILD}"
                RESULT_VARIABLE esito OUTPUT_QUIET)
if(NOT esito EQUAL 0 OR NOT EXISTS "${CARTELLA}/Fendrix.zip")
  message(FATAL_ERROR "cpack did not make Fendrix.zip (${esito})")
endif()
file(MAKE_DIRECTORY "${CARTELLA}/estratto")
execute_process(COMMAND ${CMAKE_COMMAND} -E tar xf "${CARTELLA}/Fendrix.zip" WORKING_DIRECTORY "${CARTELLA}/estratto"
                RESULT_VARIABLE esito)
file(GLOB_RECURSE voci LIST_DIRECTORIES true RELATIVE "${CARTELLA}/estratto" "${CARTELLA}/estratto/*")
list(SORT voci)
set(attese Fendrix Fendrix/Shared Fendrix/Shared/Sistemi Fendrix/fendrix.exe)
if(NOT esito EQUAL 0 OR NOT voci STREQUAL attese)
  message(FATAL_ERROR "Fendrix.zip holds \"${voci}\", not \"${attese}\"")
endif()
file(SIZE "${CARTELLA}/estratto/Fendrix/fendrix.exe" dimensione)
file(SIZE "${BUILD}/fendrix.exe" originale)
if(NOT dimensione EQUAL originale)
  message(FATAL_ERROR "the zip's fendrix.exe is not the one built")
endif()
