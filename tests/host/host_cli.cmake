# The stand-in host's command line as a person uses it, one case a run:
#   cmake -DHOST=program|arguments... -DCASE=name -DWORK=folder -DDATA=folder -P host_cli.cmake
# HOST is the launcher with the program that runs it, if any, separated by "|".
string(REPLACE "|" ";" host "${HOST}")
file(REMOVE_RECURSE ${WORK})
file(MAKE_DIRECTORY ${WORK})

# Runs the host; its exit status and output (both streams) land in rc and out.
function(run)
  cmake_parse_arguments(RUN "" "INPUT" "" ${ARGN})
  set(input_option)
  if(RUN_INPUT)
    set(input_option INPUT_FILE ${RUN_INPUT})
  endif()
  execute_process(COMMAND ${host} ${RUN_UNPARSED_ARGUMENTS} WORKING_DIRECTORY ${WORK}
                  ${input_option} RESULT_VARIABLE status OUTPUT_VARIABLE output ERROR_VARIABLE output
                  TIMEOUT 120)
  set(rc "${status}" PARENT_SCOPE)
  set(out "${output}" PARENT_SCOPE)
endfunction()

function(fail what)
  message(FATAL_ERROR "${CASE}: ${what}\n--- exit status ${rc}, output:\n${out}")
endfunction()

function(expect_status status)
  if(NOT rc STREQUAL "${status}")
    fail("the exit status is to be ${status}")
  endif()
endfunction()

function(expect_output pattern)
  string(FIND "${out}" "${pattern}" at)
  if(at EQUAL -1)
    message(FATAL_ERROR "${CASE}: the output lacks \"${pattern}\"\n--- exit status ${rc}, output:\n${out}")
  endif()
endfunction()

if(CASE STREQUAL "help")
  # Every step of the table with its arguments, and the options.
  run(--help)
  expect_status(0)
  foreach(line "key TABLE KEY [A2 A5 A7 A9 A10 A11]" "rates PLOT WATER ENERGY MEMBERSHIP"
               "plots FILE [skip-bad-lines]" "cursor ROW" "show ledger-of ROW" "--interactive"
               "expect mistakes")
    expect_output("${line}")
  endforeach()

elseif(CASE STREQUAL "mistakes")
  # A mistaken step is named by its line, the run goes on, and the exit status says so.
  file(WRITE ${WORK}/wrong.session "year 2011\n# a comment\nkye 35 2\nshow\nplots nosuch.csv\nshow plots\n")
  run(wrong.session --work run)
  expect_status(3)
  expect_output("work folder: ")
  expect_output("wrong.session line 3: unknown step \"kye\"")
  expect_output("wrong.session line 4: unknown step \"show\"")
  expect_output("wrong.session line 5: cannot read nosuch.csv")
  expect_output("> show plots")

elseif(CASE STREQUAL "diff")
  # A transcript that differs is shown as a unified diff, and the whole one is kept.
  file(WRITE ${WORK}/small.session "year 2011\nplots ${DATA}/plots.csv\n")
  file(WRITE ${WORK}/small.expected "> year 2011\n> plots ${DATA}/plots.csv\n  6 plots\n")
  run(small.session --expect small.expected --work run)
  expect_status(1)
  expect_output("@@ -1,3 +1,3 @@\n > year 2011\n > plots ${DATA}/plots.csv\n-  6 plots\n+  5 plots\n")
  file(READ ${WORK}/run/transcript.txt kept)
  if(NOT kept STREQUAL "> year 2011\n> plots ${DATA}/plots.csv\n  5 plots\n")
    fail("the whole transcript is kept in the work folder: ${kept}")
  endif()

elseif(CASE STREQUAL "interactive")
  # A person at the terminal (here a pipe) fills a form in field by field,
  # answers a dialog, and saves the steps as a script, which gives the same.
  file(WRITE ${WORK}/typed.txt
       "plots ${DATA}/plots.csv\nload\nstart\nactivate\nok\ncursor 1\nkey plots ctrl-b\n"
       "\n\n\n0.40\n\nok\nshow ledger-of 1\nsave year.session\nquit\n")
  run(--interactive --work run INPUT ${WORK}/typed.txt)
  expect_status(0)
  expect_output("torval> ")
  expect_output(" >  1     2 Jan Kowalski")
  expect_output("(4) Stawka opłaty działka: [0.38]: 0.40")
  expect_output("edit item 8 \"(4) Stawka opłaty działka:\" = 0.40")
  expect_output("amount 164.80\n     \"2011 Opłata - użytkowanie\" \"2011 opł. 412* 0.40=164.80\"")
  file(READ ${WORK}/year.session saved)
  string(FIND "${saved}" "answer ok\nactivate\ncursor 1\nedit 8 0.40\nanswer ok\nkey plots ctrl-b\n" at)
  if(at EQUAL -1)
    fail("the saved script holds the answers and edits before their step: ${saved}")
  endif()
  run(year.session --work again)
  expect_status(0)
  expect_output("amount 164.80\n     \"2011 Opłata - użytkowanie\" \"2011 opł. 412* 0.40=164.80\"")

elseif(CASE STREQUAL "streamed")
  # The transcript is written as it goes: while the host still runs (here
  # waiting for more input) everything so far is out, and a run that ends
  # abruptly (killed here) keeps it.
  file(WRITE ${WORK}/streamed.sh [[
mkfifo input
"$@" --interactive --work run <input >streamed.txt 2>&1 &
host=$!
exec 3>input
printf 'year 2011
plots %s/plots.csv
show plots
' "$DATA" >&3
for i in $(seq 1 300); do
  grep -q "column totals" streamed.txt && break
  sleep 0.1
done
kill -9 $host || exit 1
exec 3>&-
wait $host
exit 0
]])
  set(ENV{DATA} "${DATA}")
  execute_process(COMMAND sh streamed.sh ${host} WORKING_DIRECTORY ${WORK} RESULT_VARIABLE rc
                  OUTPUT_VARIABLE out ERROR_VARIABLE out TIMEOUT 120)
  expect_status(0)
  file(READ ${WORK}/streamed.txt out)
  expect_output("> plots ${DATA}/plots.csv\n  5 plots\n")
  expect_output(" >  0     1 Anna Nowak")

else()
  message(FATAL_ERROR "no case ${CASE}")
endif()
