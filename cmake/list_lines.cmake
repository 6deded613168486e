# The lines of a list file that say something: blank lines and comments
# ("#" first) left out. Shared by the generators that read services.list and
# exports.list.
function(q7_list_lines file out)
  file(STRINGS "${file}" lines)
  list(FILTER lines EXCLUDE REGEX "^[ \t]*(#|$)")
  set(${out} "${lines}" PARENT_SCOPE)
endfunction()
