# cmake -DOUT=file -DIN="a;b" -P text_for_windows.cmake: the files of IN, one
# after the other with an empty line between, with CR LF line ends, so that
# every Windows editor shows their lines.
set(text "")
foreach(file IN LISTS IN)
  file(READ ${file} part)
  if(NOT text STREQUAL "")
    string(APPEND text "\n")
  endif()
  string(APPEND text "${part}")
endforeach()
string(REPLACE "\r\n" "\n" text "${text}")
string(REPLACE "\n" "\r\n" text "${text}")
file(WRITE ${OUT} "${text}")
