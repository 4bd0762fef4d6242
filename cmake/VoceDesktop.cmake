# The desktop entry of an installed Fendrix, written by the Desktop Entry
# rules. Values of type string (Path, Icon) take the general escapes:
# "\\" for a backslash, "\n" for a newline, "\t" for a tab, "\r" for a
# carriage return. Exec quotes the program's path, puts a backslash before
# '"', '`', '$' and '\' inside the quotes, doubles '%' (which would start a
# field code), and then takes the general escapes like any string: a
# backslash in a folder's name ends up as four.
#
# Included by the install script, which runs with CMake's oldest policies:
# the functions keep this version's rules for escapes and quoted arguments.
cmake_policy(PUSH)
cmake_policy(VERSION 3.25)

# fendrix_escapi_generali(USCITA VALORE): VALORE with the general escapes.
function(fendrix_escapi_generali uscita valore)
  string(REPLACE "\\" "\\\\" valore "${valore}")
  string(REPLACE "\n" "\\n" valore "${valore}")
  string(REPLACE "\t" "\\t" valore "${valore}")
  string(REPLACE "\r" "\\r" valore "${valore}")
  set(${uscita} "${valore}" PARENT_SCOPE)
endfunction()

# fendrix_exec(USCITA ERRORE PROGRAMMA): the value of Exec that starts
# PROGRAMMA, or, in ERRORE, why no entry can start it. An executable's path
# may not hold '=', and a newline would end the command.
function(fendrix_exec uscita errore programma)
  set(${errore} "" PARENT_SCOPE)
  if(programma MATCHES "=")
    set(${errore} "the program's path holds '=', which a desktop entry's Exec cannot carry" PARENT_SCOPE)
    return()
  endif()
  if(programma MATCHES "\n")
    set(${errore} "the program's path holds a newline, which a desktop entry's Exec cannot carry" PARENT_SCOPE)
    return()
  endif()
  set(valore "${programma}")
  string(REPLACE "\\" "\\\\" valore "${valore}")
  string(REPLACE "\"" "\\\"" valore "${valore}")
  string(REPLACE "`" "\\`" valore "${valore}")
  string(REPLACE "$" "\\$" valore "${valore}")
  string(REPLACE "%" "%%" valore "${valore}")
  fendrix_escapi_generali(valore "\"${valore}\"")
  set(${uscita} "${valore}" PARENT_SCOPE)
endfunction()

# fendrix_voce_desktop(USCITA ERRORE CARTELLA): the text of the entry for
# the program installed in CARTELLA (an absolute path), or, in ERRORE, why
# there can be none.
function(fendrix_voce_desktop uscita errore cartella)
  fendrix_exec(exec motivo "${cartella}/fendrix")
  set(${errore} "${motivo}" PARENT_SCOPE)
  if(motivo)
    return()
  endif()
  fendrix_escapi_generali(percorso "${cartella}")
  fendrix_escapi_generali(icona "${cartella}/fendrix.svg")
  set(${uscita} "[Desktop Entry]
Type=Application
Name=Fendrix
Comment=Elimina le righe o combinazioni ripetute in un file di testo
Exec=${exec}
Path=${percorso}
Icon=${icona}
Terminal=false
Categories=Utility;TextTools;
" PARENT_SCOPE)
endfunction()

# fendrix_controlla_prefisso(PREFISSO): stops the install, before anything
# is copied, when no desktop entry can start the program there.
function(fendrix_controlla_prefisso prefisso)
  file(REAL_PATH "${prefisso}" cartella)
  fendrix_voce_desktop(testo errore "${cartella}")
  if(errore)
    message(FATAL_ERROR "Cannot install Fendrix in \"${cartella}\": ${errore}. Choose another --prefix.")
  endif()
endfunction()

# fendrix_scrivi_voce_desktop(DESTINAZIONE PREFISSO): writes fendrix.desktop
# into DESTINAZIONE (the prefix, below DESTDIR if set), naming the program
# in PREFISSO with its symbolic links resolved.
function(fendrix_scrivi_voce_desktop destinazione prefisso)
  file(REAL_PATH "${prefisso}" cartella)
  fendrix_voce_desktop(testo errore "${cartella}")
  if(errore)
    message(FATAL_ERROR "Cannot install Fendrix in \"${cartella}\": ${errore}. Choose another --prefix.")
  endif()
  file(WRITE "${destinazione}/fendrix.desktop" "${testo}")
  file(CHMOD "${destinazione}/fendrix.desktop" PERMISSIONS OWNER_READ OWNER_WRITE OWNER_EXECUTE
       GROUP_READ GROUP_EXECUTE WORLD_READ WORLD_EXECUTE)
  message(STATUS "Desktop entry: ${destinazione}/fendrix.desktop")
endfunction()

cmake_policy(POP)
