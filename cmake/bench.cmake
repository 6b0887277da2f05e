# Benchmarks (see bench/README.md): the channel driver, the bare reference programs that
# the host is measured against, and the base64 decoding benchmark. Except bare_once, they
# are not part of the default build; bench/run.sh builds the ones it runs. Each lands in
# <build>/bench/.

function(tessiva_bench name)
  add_executable(${name} EXCLUDE_FROM_ALL ${ARGN})
  # Built as they always were, whatever the preset's build type.
  target_compile_options(${name} PRIVATE -O2 -Wall -Wextra -Werror)
  set_target_properties(${name} PROPERTIES RUNTIME_OUTPUT_DIRECTORY ${CMAKE_BINARY_DIR}/bench)
endfunction()

# The start-up reference, bare_once, is a C program: natively it links the C library
# only, under Windows kernel32 and the C runtime, statically. It is the floor a host's
# start-up is measured against, and the tests compare the libraries a "hello" makes the
# host load with the ones it loads, so it is part of every build.
# The other references are linked the way the host is, so that a ratio compares the
# host's own work and not how the two were linked.
tessiva_bench(bare_once ${CMAKE_SOURCE_DIR}/bench/bare_once.c)
set_target_properties(bare_once PROPERTIES EXCLUDE_FROM_ALL FALSE)
foreach(name bare_reader bare_saver)
  tessiva_bench(${name} ${CMAKE_SOURCE_DIR}/bench/${name}.cpp)
endforeach()
foreach(name bare_once bare_reader bare_saver)
  if(WIN32)
    # Static, GUI subsystem, wide entry point.
    target_link_options(${name} PRIVATE -static -mwindows -municode)
  endif()
  # Natively dynamic, like the host (which loads the desktop libraries on first use).
endforeach()

if(NOT WIN32)
  # The driver is linked statically: a program it starts inherits its peak memory in the
  # kernel's accounting, so it is kept small (see channel_bench.cpp).
  tessiva_bench(channel_bench ${CMAKE_SOURCE_DIR}/bench/channel_bench.cpp)
  target_link_options(channel_bench PRIVATE -static)

  find_package(benchmark QUIET)
  if(benchmark_FOUND)
    tessiva_bench(bench_base64 ${CMAKE_SOURCE_DIR}/bench/bench_base64.cpp)
    target_link_libraries(bench_base64 PRIVATE tessiva_codec benchmark::benchmark)
  endif()
endif()
