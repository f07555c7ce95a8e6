# The signing key and the signing of programs.
#
# Included by the top CMakeLists.txt, this file settles which DSA key pair the build uses and turns
# its public half into the built-in key of the verifier:
#   WQDUPDATE_SIGNING_KEY (CMake variable, else environment variable): the maker's private key, as
#     a path to a PKCS#8 file (DER or PEM) or as the PEM text itself. It never enters the sources.
#   Without it, a development key pair is generated once into ${WQD_KEY_DIR} (shared by the host
#     and the win32 tree, so both build the same key in) and a warning says so.
# It sets, for the whole project:
#   WQD_SIGNING_PRIVATE_KEY  the private key file that signs programs
#   WQD_SIGNING_PUBLIC_KEY   its public half, X.509 SubjectPublicKeyInfo in DER
#   WQD_BUILTIN_KEY_SOURCE   the generated C++ source that defines DsaPublicKey
# and provides wqd_sign_program(target): a POST_BUILD step that appends a binary trailer to the
# target's file with the host zuksign and checks it with "zuksign verify --mode 2"; when either
# fails, the file is removed (so the next build links it again) and the build fails.
#
# Run as a script (cmake -DWQD_SIGN_FILE=... -P Signing.cmake) it is that POST_BUILD step.

if(CMAKE_SCRIPT_MODE_FILE AND DEFINED WQD_SIGN_FILE)
  if(NOT EXISTS "${WQD_SIGN_ZUKSIGN}")
    file(REMOVE "${WQD_SIGN_FILE}")
    message(FATAL_ERROR "Cannot sign ${WQD_SIGN_FILE}: ${WQD_SIGN_ZUKSIGN} does not exist (the "
                        "host tree builds it: scripts/build host); the file was removed")
  endif()
  execute_process(COMMAND "${WQD_SIGN_ZUKSIGN}" sign --key "${WQD_SIGN_KEY}" --kind binary
                          "${WQD_SIGN_FILE}"
                  RESULT_VARIABLE status)
  if(status EQUAL 0)
    execute_process(COMMAND "${WQD_SIGN_ZUKSIGN}" verify --mode 2
                            --public-key "${WQD_SIGN_PUBLIC_KEY}" "${WQD_SIGN_FILE}"
                    RESULT_VARIABLE status)
  endif()
  if(NOT status EQUAL 0)
    file(REMOVE "${WQD_SIGN_FILE}")
    message(FATAL_ERROR "Signing ${WQD_SIGN_FILE} failed (zuksign: ${status}); the file was removed")
  endif()
  return()
endif()

find_program(WQD_OPENSSL_PROGRAM openssl)
if(NOT WQD_OPENSSL_PROGRAM)
  message(FATAL_ERROR "openssl is needed to prepare the signing key: run scripts/bootstrap")
endif()

set(_wqd_signing_dir "${CMAKE_BINARY_DIR}/signing")
file(MAKE_DIRECTORY "${_wqd_signing_dir}")

# --- The private key -------------------------------------------------------------------------
set(_wqd_given_key "${WQDUPDATE_SIGNING_KEY}")
if(NOT _wqd_given_key AND DEFINED ENV{WQDUPDATE_SIGNING_KEY})
  set(_wqd_given_key "$ENV{WQDUPDATE_SIGNING_KEY}")
endif()

if(_wqd_given_key)
  if(_wqd_given_key MATCHES "^-----BEGIN ")
    # PEM text (a CI secret, say): kept in the build tree only, readable by the owner alone.
    set(WQD_SIGNING_PRIVATE_KEY "${_wqd_signing_dir}/signing-key.pem")
    file(WRITE "${_wqd_signing_dir}/signing-key.pem.new" "${_wqd_given_key}\n")
    file(CHMOD "${_wqd_signing_dir}/signing-key.pem.new" PERMISSIONS OWNER_READ OWNER_WRITE)
    file(RENAME "${_wqd_signing_dir}/signing-key.pem.new" "${WQD_SIGNING_PRIVATE_KEY}")
  else()
    get_filename_component(WQD_SIGNING_PRIVATE_KEY "${_wqd_given_key}" ABSOLUTE)
    if(NOT EXISTS "${WQD_SIGNING_PRIVATE_KEY}")
      message(FATAL_ERROR "WQDUPDATE_SIGNING_KEY names ${WQD_SIGNING_PRIVATE_KEY}, which does not exist")
    endif()
  endif()
else()
  set(WQD_SIGNING_PRIVATE_KEY "${WQD_KEY_DIR}/dev-signing-key.der")
  file(MAKE_DIRECTORY "${WQD_KEY_DIR}")
  # Both trees may be configured at once; only one of them makes the key.
  file(LOCK "${WQD_KEY_DIR}/.lock" GUARD FILE TIMEOUT 300 RESULT_VARIABLE _wqd_lock)
  if(NOT _wqd_lock EQUAL 0)
    message(FATAL_ERROR "Cannot lock ${WQD_KEY_DIR}/.lock: ${_wqd_lock}")
  endif()
  if(NOT EXISTS "${WQD_SIGNING_PRIVATE_KEY}")
    set(_wqd_params "${WQD_KEY_DIR}/dev-params.pem")
    set(_wqd_new "${WQD_KEY_DIR}/dev-signing-key.der.new")
    execute_process(
      COMMAND "${WQD_OPENSSL_PROGRAM}" genpkey -genparam -algorithm DSA
              -pkeyopt dsa_paramgen_bits:1024 -pkeyopt dsa_paramgen_q_bits:160 -out "${_wqd_params}"
      RESULT_VARIABLE _wqd_status OUTPUT_QUIET ERROR_VARIABLE _wqd_error)
    if(_wqd_status EQUAL 0)
      # genpkey writes DER in the traditional layout; pkcs8 makes it PKCS#8.
      execute_process(
        COMMAND "${WQD_OPENSSL_PROGRAM}" genpkey -paramfile "${_wqd_params}"
        COMMAND "${WQD_OPENSSL_PROGRAM}" pkcs8 -topk8 -nocrypt -outform DER -out "${_wqd_new}"
        RESULT_VARIABLE _wqd_status OUTPUT_QUIET ERROR_VARIABLE _wqd_error)
    endif()
    file(REMOVE "${_wqd_params}")
    if(NOT _wqd_status EQUAL 0 OR NOT EXISTS "${_wqd_new}")
      file(REMOVE "${_wqd_new}")
      message(FATAL_ERROR "Generating the development signing key failed: ${_wqd_error}")
    endif()
    file(CHMOD "${_wqd_new}" PERMISSIONS OWNER_READ OWNER_WRITE)
    file(RENAME "${_wqd_new}" "${WQD_SIGNING_PRIVATE_KEY}")
  endif()
  file(LOCK "${WQD_KEY_DIR}/.lock" RELEASE)
  message(WARNING "WQDUPDATE_SIGNING_KEY is not set: programs are signed with the development key "
                  "${WQD_SIGNING_PRIVATE_KEY}, and only files signed with it verify. Set "
                  "WQDUPDATE_SIGNING_KEY to the maker's PKCS#8 key for a release build.")
endif()
set_property(DIRECTORY "${CMAKE_SOURCE_DIR}" APPEND PROPERTY CMAKE_CONFIGURE_DEPENDS
             "${WQD_SIGNING_PRIVATE_KEY}")

# --- The public half ---------------------------------------------------------------------------
set(WQD_SIGNING_PUBLIC_KEY "${_wqd_signing_dir}/public-key.der")
# An empty pass phrase: an encrypted key fails here instead of waiting for one on the terminal.
execute_process(
  COMMAND "${WQD_OPENSSL_PROGRAM}" pkey -in "${WQD_SIGNING_PRIVATE_KEY}" -passin pass:
          -pubout -outform DER -out "${WQD_SIGNING_PUBLIC_KEY}"
  RESULT_VARIABLE _wqd_status OUTPUT_QUIET ERROR_VARIABLE _wqd_error)
if(NOT _wqd_status EQUAL 0)
  message(FATAL_ERROR "Cannot read the signing key ${WQD_SIGNING_PRIVATE_KEY} (an unencrypted "
                      "PKCS#8 DSA key is needed): ${_wqd_error}")
endif()

# Reads the DER item at byte offset pos of the hexadecimal text hex and sets <out>_TAG,
# <out>_START (first content byte), <out>_LENGTH and <out>_END (first byte after it).
function(_wqd_der_item hex pos out)
  string(LENGTH "${hex}" chars)
  math(EXPR total "${chars} / 2")
  math(EXPR need "${pos} + 2")
  if(need GREATER total)
    message(FATAL_ERROR "The public signing key is not valid DER (item at ${pos})")
  endif()
  math(EXPR at "${pos} * 2")
  string(SUBSTRING "${hex}" ${at} 2 tag)
  math(EXPR at "${at} + 2")
  string(SUBSTRING "${hex}" ${at} 2 first)
  math(EXPR length "0x${first}")
  math(EXPR start "${pos} + 2")
  if(length GREATER 127)
    math(EXPR count "${length} - 128")
    if(count LESS 1 OR count GREATER 3)
      message(FATAL_ERROR "The public signing key is not valid DER (length at ${pos})")
    endif()
    math(EXPR need "${start} + ${count}")
    if(need GREATER total)
      message(FATAL_ERROR "The public signing key is not valid DER (length at ${pos})")
    endif()
    math(EXPR at "${start} * 2")
    math(EXPR chars "${count} * 2")
    string(SUBSTRING "${hex}" ${at} ${chars} digits)
    math(EXPR length "0x${digits}")
    math(EXPR start "${start} + ${count}")
  endif()
  math(EXPR end "${start} + ${length}")
  if(end GREATER total)
    message(FATAL_ERROR "The public signing key is not valid DER (item at ${pos} runs past the end)")
  endif()
  string(TOLOWER "${tag}" tag)
  set(${out}_TAG ${tag} PARENT_SCOPE)
  set(${out}_START ${start} PARENT_SCOPE)
  set(${out}_LENGTH ${length} PARENT_SCOPE)
  set(${out}_END ${end} PARENT_SCOPE)
endfunction()

# Sets <out> to the INTEGER item <item> of hex as a C initialiser list of exactly width bytes
# (unsigned, left-padded); bits, when not 0, is the exact bit length the value must have.
function(_wqd_der_integer hex item width bits out)
  if(NOT ${item}_TAG STREQUAL "02")
    message(FATAL_ERROR "The public signing key is not a DSA key (INTEGER expected)")
  endif()
  math(EXPR at "${${item}_START} * 2")
  math(EXPR chars "${${item}_LENGTH} * 2")
  string(SUBSTRING "${hex}" ${at} ${chars} value)
  string(REGEX REPLACE "^(00)+" "" value "${value}")
  string(LENGTH "${value}" chars)
  math(EXPR bytes "${chars} / 2")
  if(bytes GREATER width)
    message(FATAL_ERROR "The signing key is not DSA with a 1024-bit p and a 160-bit q")
  endif()
  if(bits)
    math(EXPR expected "${bits} / 8")
    string(SUBSTRING "${value}" 0 1 top)
    if(NOT bytes EQUAL expected OR NOT top MATCHES "[89a-fA-F]")
      message(FATAL_ERROR "The signing key is not DSA with a 1024-bit p and a 160-bit q")
    endif()
  endif()
  math(EXPR pad "${width} - ${bytes}")
  string(REPEAT "00" ${pad} zeros)
  set(value "${zeros}${value}")
  set(list "")
  math(EXPR last "${width} - 1")
  foreach(i RANGE 0 ${last})
    math(EXPR at "${i} * 2")
    string(SUBSTRING "${value}" ${at} 2 byte)
    math(EXPR column "${i} % 12")
    if(i EQUAL 0)
    elseif(column EQUAL 0)
      string(APPEND list ",\n     ")
    else()
      string(APPEND list ", ")
    endif()
    string(APPEND list "0x${byte}")
  endforeach()
  set(${out} "${list}" PARENT_SCOPE)
endfunction()

file(READ "${WQD_SIGNING_PUBLIC_KEY}" _wqd_hex HEX)
_wqd_der_item("${_wqd_hex}" 0 spki)
_wqd_der_item("${_wqd_hex}" ${spki_START} algorithm)
_wqd_der_item("${_wqd_hex}" ${algorithm_START} oid)
math(EXPR _wqd_at "${oid_START} * 2")
math(EXPR _wqd_chars "${oid_LENGTH} * 2")
string(SUBSTRING "${_wqd_hex}" ${_wqd_at} ${_wqd_chars} _wqd_oid)
# 1.2.840.10040.4.1, id-dsa.
if(NOT spki_TAG STREQUAL "30" OR NOT algorithm_TAG STREQUAL "30" OR NOT oid_TAG STREQUAL "06"
   OR NOT _wqd_oid STREQUAL "2a8648ce380401")
  message(FATAL_ERROR "The signing key ${WQD_SIGNING_PRIVATE_KEY} is not a DSA key")
endif()
_wqd_der_item("${_wqd_hex}" ${oid_END} parameters)
_wqd_der_item("${_wqd_hex}" ${parameters_START} p)
_wqd_der_item("${_wqd_hex}" ${p_END} q)
_wqd_der_item("${_wqd_hex}" ${q_END} g)
_wqd_der_item("${_wqd_hex}" ${algorithm_END} publicBits)
if(NOT publicBits_TAG STREQUAL "03")
  message(FATAL_ERROR "The signing key ${WQD_SIGNING_PRIVATE_KEY} is not a DSA key")
endif()
math(EXPR _wqd_at "${publicBits_START} + 1")  # past the count of unused bits
_wqd_der_item("${_wqd_hex}" ${_wqd_at} y)
_wqd_der_integer("${_wqd_hex}" p 128 1024 _wqd_p)
_wqd_der_integer("${_wqd_hex}" q 20 160 _wqd_q)
_wqd_der_integer("${_wqd_hex}" g 128 0 _wqd_g)
_wqd_der_integer("${_wqd_hex}" y 128 0 _wqd_y)

set(WQD_BUILTIN_KEY_SOURCE "${CMAKE_BINARY_DIR}/generated/signature/dsa_public_key.cpp")
get_filename_component(_wqd_key_name "${WQD_SIGNING_PRIVATE_KEY}" NAME)
file(WRITE "${_wqd_signing_dir}/dsa_public_key.cpp.new"
"// Generated by the build from the public half of the signing key ${_wqd_key_name}.
// Do not edit: a new key pair gives a new file.
#include \"signature/dsa_verify.h\"

const DsaKey DsaPublicKey = {
    // p
    {${_wqd_p}},
    // q
    {${_wqd_q}},
    // g
    {${_wqd_g}},
    // y
    {${_wqd_y}},
};
")
# Copied only when it changed, so that a new configure run does not rebuild the verifier.
configure_file("${_wqd_signing_dir}/dsa_public_key.cpp.new" "${WQD_BUILTIN_KEY_SOURCE}" COPYONLY)

# wqd_sign_program(target): sign the target's file after every link (see the top of this file).
function(wqd_sign_program target)
  if(CMAKE_CROSSCOMPILING)
    # The host tree is always built first; its zuksign signs the Windows programs.
    set(zuksign "${WQD_HOST_BIN_DIR}/zuksign")
  else()
    set(zuksign "$<TARGET_FILE:zuksign>")
    add_dependencies(${target} zuksign)
  endif()
  add_custom_command(TARGET ${target} POST_BUILD
    COMMAND ${CMAKE_COMMAND} -DWQD_SIGN_ZUKSIGN=${zuksign}
            -DWQD_SIGN_KEY=${WQD_SIGNING_PRIVATE_KEY} -DWQD_SIGN_PUBLIC_KEY=${WQD_SIGNING_PUBLIC_KEY}
            -DWQD_SIGN_FILE=$<TARGET_FILE:${target}> -P ${CMAKE_SOURCE_DIR}/cmake/Signing.cmake
    COMMENT "Signing ${target}"
    VERBATIM)
endfunction()
