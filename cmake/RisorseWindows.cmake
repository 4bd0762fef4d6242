# Draws the Windows program's pictures from the project's artwork, at build
# time (nothing drawn is kept in the repository):
#   stella.ico    the star at every size Windows asks an icon for (16 to 256)
#   cartella.png  the picture button's folder, large, drawn down to size at run time
#   banner.png    the banner, large, likewise
# cmake -DRSVG=rsvg-convert -DICOTOOL=icotool -DARTE=assets -DUSCITA=dir -P RisorseWindows.cmake
foreach(v RSVG ICOTOOL ARTE USCITA)
  if(NOT DEFINED ${v})
    message(FATAL_ERROR "RisorseWindows.cmake: ${v} not set")
  endif()
endforeach()

function(disegna svg larghezza altezza png)
  execute_process(COMMAND "${RSVG}" -w ${larghezza} -h ${altezza} -o "${png}" "${ARTE}/${svg}"
                  RESULT_VARIABLE esito)
  if(NOT esito EQUAL 0)
    message(FATAL_ERROR "rsvg-convert could not draw ${svg} (${esito})")
  endif()
endfunction()

file(MAKE_DIRECTORY "${USCITA}/stella")
set(pezzi)
foreach(lato 16 20 24 32 40 48 64 96 128)
  disegna(stella.svg ${lato} ${lato} "${USCITA}/stella/${lato}.png")
  list(APPEND pezzi "${USCITA}/stella/${lato}.png")
endforeach()
# The largest size stays PNG inside the icon, as Windows expects it.
disegna(stella.svg 256 256 "${USCITA}/stella/256.png")
execute_process(COMMAND "${ICOTOOL}" -c -o "${USCITA}/stella.ico" ${pezzi} "--raw=${USCITA}/stella/256.png"
                RESULT_VARIABLE esito)
if(NOT esito EQUAL 0)
  message(FATAL_ERROR "icotool could not make stella.ico (${esito})")
endif()

disegna(cartella.svg 512 512 "${USCITA}/cartella.png")
disegna(banner.svg 1000 192 "${USCITA}/banner.png")
