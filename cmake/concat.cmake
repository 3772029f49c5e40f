# Joins the engine definition texts into one text, in name order, for the compile mode.
file(WRITE ${OUT} "")
string(REPLACE "|" ";" files "${IN}")
list(SORT files)
foreach(f IN LISTS files)
  file(READ ${f} text)
  file(APPEND ${OUT} "${text}\n")
endforeach()
