# zlib, Crypto++ and GoogleTest as imported targets, the same names in both trees:
#   wqd::zlib, wqd::cryptopp, wqd::gtest (with main), and on the host wqd::benchmark.

if(WIN32)
  find_library(WQD_ZLIB_LIBRARY NAMES libz.a z REQUIRED)
  find_path(WQD_ZLIB_INCLUDE zlib.h REQUIRED)
  add_library(wqd::zlib STATIC IMPORTED)
  set_target_properties(wqd::zlib PROPERTIES IMPORTED_LOCATION ${WQD_ZLIB_LIBRARY}
                                             INTERFACE_INCLUDE_DIRECTORIES ${WQD_ZLIB_INCLUDE})

  # Built from Debian's libcrypto++ source package by scripts/bootstrap-cryptopp-i686, in two
  # archives: the chosen units as they come, and the updater's lean variant, whose integer,
  # cryptlib, filters and misc units lack the stream, ASN.1, prime-generation, queue and
  # wide-string functions that would pull over a megabyte into it. An executable links the lean one
  # when its target property WQD_CRYPTOPP_LEAN is true (the generator expression is evaluated
  # for the program being linked, however deep in its libraries wqd::cryptopp sits).
  set(WQD_CRYPTOPP_I686 "${CMAKE_SOURCE_DIR}/build/deps/cryptopp-i686" CACHE PATH "")
  if(NOT EXISTS ${WQD_CRYPTOPP_I686}/lib/libcryptopp.a OR
     NOT EXISTS ${WQD_CRYPTOPP_I686}/lib/libcryptopp-lean.a)
    message(FATAL_ERROR "Crypto++ for i686 is missing: run scripts/bootstrap first")
  endif()
  add_library(wqd::cryptopp_full STATIC IMPORTED)
  set_target_properties(wqd::cryptopp_full PROPERTIES
    IMPORTED_LOCATION ${WQD_CRYPTOPP_I686}/lib/libcryptopp.a)
  add_library(wqd::cryptopp_lean STATIC IMPORTED)
  set_target_properties(wqd::cryptopp_lean PROPERTIES
    IMPORTED_LOCATION ${WQD_CRYPTOPP_I686}/lib/libcryptopp-lean.a)
  add_library(wqd::cryptopp INTERFACE IMPORTED)
  set_target_properties(wqd::cryptopp PROPERTIES
    INTERFACE_INCLUDE_DIRECTORIES ${WQD_CRYPTOPP_I686}/include
    INTERFACE_COMPILE_DEFINITIONS CRYPTOPP_DISABLE_ASM
    INTERFACE_LINK_LIBRARIES
      "$<IF:$<BOOL:$<TARGET_PROPERTY:WQD_CRYPTOPP_LEAN>>,wqd::cryptopp_lean,wqd::cryptopp_full>;advapi32;bcrypt")
  set(WQD_CRYPTOPP_TEST_VECTORS ${WQD_CRYPTOPP_I686}/TestVectors CACHE PATH "")

  if(WQD_TESTS)
    # GoogleTest from the sources that Debian's googletest package ships.
    set(gtest_disable_pthreads ON CACHE BOOL "" FORCE)
    set(INSTALL_GTEST OFF CACHE BOOL "" FORCE)
    set(BUILD_GMOCK ON CACHE BOOL "" FORCE)
    add_subdirectory(/usr/src/googletest ${CMAKE_BINARY_DIR}/googletest EXCLUDE_FROM_ALL)
    # The win32-thread MinGW has no std::mutex, which GoogleTest's Notification needs.
    target_compile_definitions(gtest PUBLIC GTEST_HAS_NOTIFICATION_=1)
    target_compile_options(gtest PUBLIC -include ${CMAKE_SOURCE_DIR}/cmake/gtest-mingw-notification.h)
    add_library(wqd::gtest INTERFACE IMPORTED)
    set_target_properties(wqd::gtest PROPERTIES INTERFACE_LINK_LIBRARIES "gtest;gtest_main;gmock")
  endif()
else()
  find_package(ZLIB REQUIRED)
  add_library(wqd::zlib INTERFACE IMPORTED)
  set_target_properties(wqd::zlib PROPERTIES INTERFACE_LINK_LIBRARIES ZLIB::ZLIB)

  find_path(WQD_CRYPTOPP_INCLUDE cryptopp/integer.h REQUIRED)
  find_library(WQD_CRYPTOPP_LIBRARY NAMES crypto++ cryptopp REQUIRED)
  add_library(wqd::cryptopp UNKNOWN IMPORTED)
  set_target_properties(wqd::cryptopp PROPERTIES IMPORTED_LOCATION ${WQD_CRYPTOPP_LIBRARY}
                                                 INTERFACE_INCLUDE_DIRECTORIES ${WQD_CRYPTOPP_INCLUDE})
  # Crypto++'s own test vectors, from the source package the bootstrap already fetched.
  set(WQD_CRYPTOPP_TEST_VECTORS "${CMAKE_SOURCE_DIR}/build/deps/cryptopp-i686/TestVectors" CACHE PATH "")

  if(WQD_TESTS)
    find_package(GTest REQUIRED)
    add_library(wqd::gtest INTERFACE IMPORTED)
    set_target_properties(wqd::gtest PROPERTIES INTERFACE_LINK_LIBRARIES "GTest::gtest;GTest::gtest_main;GTest::gmock")
    include(GoogleTest)
  endif()
  if(WQD_BENCH)
    find_package(benchmark REQUIRED)
    add_library(wqd::benchmark INTERFACE IMPORTED)
    set_target_properties(wqd::benchmark PROPERTIES INTERFACE_LINK_LIBRARIES benchmark::benchmark)
  endif()
endif()
