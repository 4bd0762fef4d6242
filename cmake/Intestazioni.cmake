# fendrix_intestazioni(TARGET HEADER...): gives TARGET and the targets that
# link it the listed headers of the current folder, and no other header of
# src/, under the names they are included by ("sistema/Percorsi.h"). Each
# library gets a folder of its own in the build tree holding a link to each
# of its public headers at that name; the library's other headers are
# included from its own folder by their bare names. A library that includes
# a header of a library it does not link (the core including a host or a Qt
# header) fails to build.
function(fendrix_intestazioni bersaglio)
  file(RELATIVE_PATH cartella "${PROJECT_SOURCE_DIR}/src" "${CMAKE_CURRENT_SOURCE_DIR}")
  set(radice "${CMAKE_BINARY_DIR}/intestazioni/${bersaglio}")
  file(REMOVE_RECURSE "${radice}")
  file(MAKE_DIRECTORY "${radice}/${cartella}")
  foreach(intestazione IN LISTS ARGN)
    get_filename_component(sotto "${radice}/${cartella}/${intestazione}" DIRECTORY)
    file(MAKE_DIRECTORY "${sotto}")
    file(CREATE_LINK "${CMAKE_CURRENT_SOURCE_DIR}/${intestazione}"
         "${radice}/${cartella}/${intestazione}" SYMBOLIC)
  endforeach()
  target_include_directories(${bersaglio} PUBLIC "${radice}")
endfunction()
