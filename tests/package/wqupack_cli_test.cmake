# The wqupack command line: commands, output lines and exit codes.
# Expects WQUPACK (the program), EMULATOR (empty, or what runs it), WORK_DIR and FIXTURES.
cmake_minimum_required(VERSION 3.16)

file(REMOVE_RECURSE "${WORK_DIR}")
file(MAKE_DIRECTORY "${WORK_DIR}")
set(failures 0)

# run(EXPECTED_EXIT args...): runs the tool; leaves its output in OUT and ERR (CR LF made LF).
function(run expected)
  execute_process(COMMAND ${EMULATOR} "${WQUPACK}" ${ARGN}
                  RESULT_VARIABLE rc OUTPUT_VARIABLE out ERROR_VARIABLE err)
  string(REPLACE "\r" "" out "${out}")
  string(REPLACE "\r" "" err "${err}")
  set(OUT "${out}" PARENT_SCOPE)
  set(ERR "${err}" PARENT_SCOPE)
  if(NOT "${rc}" STREQUAL "${expected}")
    message(SEND_ERROR "wqupack ${ARGN}: exit ${rc}, expected ${expected}\nstdout: ${out}\nstderr: ${err}")
  endif()
endfunction()

function(expect_equal what actual expected)
  if(NOT "${actual}" STREQUAL "${expected}")
    message(SEND_ERROR "${what}:\n--- got\n${actual}\n--- expected\n${expected}")
  endif()
endfunction()

function(expect_match what text regex)
  if(NOT "${text}" MATCHES "${regex}")
    message(SEND_ERROR "${what}: no match for '${regex}' in:\n${text}")
  endif()
endfunction()

# A usage error is one line on stderr and nothing on stdout.
function(expect_usage_error what)
  expect_equal("${what}: stdout" "${OUT}" "")
  expect_match("${what}: stderr" "${ERR}" "^wqupack: [^\n]+\n$")
endfunction()

run(0 --help)
expect_match("--help" "${OUT}" "usage: wqupack create OUT --part NAME:TYPE:VERSION")
run(0 read --help)
expect_match("read --help" "${OUT}" "usage: wqupack")

run(2)
expect_usage_error("no command")
run(2 pack x)
expect_usage_error("unknown command")
run(2 read)
expect_usage_error("read without a file")
run(2 read a b)
expect_usage_error("read with two files")
run(2 create "${WORK_DIR}/none.wqu")
expect_usage_error("create without --part")
run(2 create "${WORK_DIR}/bad.wqu" --part "a:wqd:12G")
expect_usage_error("create with a bad version")
run(2 create "${WORK_DIR}/bad.wqu" --part "a:wqd")
expect_usage_error("create with two fields")
run(2 create "${WORK_DIR}/bad.wqu" --part)
expect_usage_error("create with --part last")
run(2 create "${WORK_DIR}/bad.wqu" --part "a:wqd:1" --unpacked-size ten)
expect_usage_error("create with a bad size")
run(2 create "${WORK_DIR}/bad.wqu" --part "a:wqd:1" --colour)
expect_usage_error("create with an unknown option")
if(EXISTS "${WORK_DIR}/bad.wqu")
  message(SEND_ERROR "a refused create wrote its output")
endif()

run(2 create "${WORK_DIR}/no-such-folder/out.wqu" --part "a:wqd:1")
expect_match("create into a missing folder" "${ERR}" "no-such-folder/out.wqu")

set(good "${WORK_DIR}/good.wqu")
run(0 create "${good}" --part "wqd-2024:wqd:0701E2" --part "setup:x:setup:392")
run(0 read "${good}")
expect_equal("read of a good package" "${OUT}" [[status 0x00000000
wqd version=0x000701E2 name="wqd-2024"
setup version=0x00000392 name="setup:x"
]])

run(0 list "${good}")
expect_match("list" "${OUT}" "magic +\"ZUKsetupFPkgFile\"")
expect_match("list" "${OUT}" "PART length [0-9]+ at 0\n  NAME length 8 at 8 \"wqd-2024\"\n  TYPE length 3 at 24 \"wqd\"\n  VERS length 4 at 35 0x000701E2\n")

# The unpacked size may not hold the payload: the reader fails, and read says so with exit 1.
set(small "${WORK_DIR}/small.wqu")
run(0 create "${small}" --part "wqd-2024:wqd:1" --unpacked-size 0x10)
run(1 read "${small}")
expect_equal("read of a package that does not fit its unpacked size" "${OUT}" [[status 0x20000011
wqd version=0xFFFFFFFF name=""
setup version=0xFFFFFFFF name=""
]])
run(1 list "${small}")
expect_match("list of a package that does not decode" "${OUT}" "unpacked +16\n.*does not decode")

# A file that cannot be opened reads like any other failure.
run(1 read "${WORK_DIR}/missing.wqu")
expect_equal("read of a missing file" "${OUT}" [[status 0x20000011
wqd version=0xFFFFFFFF name=""
setup version=0xFFFFFFFF name=""
]])
run(1 list "${WORK_DIR}/missing.wqu")
expect_match("list of a missing file" "${ERR}" "missing.wqu")

run(0 read "${FIXTURES}/name-escapes.wqu")
expect_equal("read escapes names" "${OUT}" [[status 0x00000000
wqd version=0x00ABCDEF name="q\x22b\x5Cs\x01\xE9~ end"
setup version=0x00000390 name="setup-2"
]])

# The edges of the printable range: 0x1F and 0x7F are escaped, 0x20 and 0x7E are not.
string(ASCII 31 unitSeparator)
string(ASCII 127 delete)
set(edges "${WORK_DIR}/edges.wqu")
run(0 create "${edges}" --part "a${unitSeparator} ~${delete}b:wqd:1")
run(0 read "${edges}")
expect_equal("read escapes the edges of the printable range" "${OUT}" [[status 0x00000000
wqd version=0x00000001 name="a\x1F ~\x7Fb"
setup version=0xFFFFFFFF name=""
]])
