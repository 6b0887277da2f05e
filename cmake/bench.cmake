# Benchmarks (see bench/README.md): the channel driver, the bare reference programs that
# the host is measured against, and the base64 decoding benchmark. They are not part of
# the default build; bench/run.sh builds the ones it runs. Each lands in <build>/bench/.

function(tessiva_bench name)
  add_executable(${name} EXCLUDE_FROM_ALL ${ARGN})
  # Built as they always were, whatever the preset's build type.
  target_compile_options(${name} PRIVATE -O2 -Wall -Wextra -Werror)
  set_target_properties(${name} PROPERTIES RUNTIME_OUTPUT_DIRECTORY ${CMAKE_BINARY_DIR}/bench)
endfunction()

# The references are linked the way the host is, so that a ratio compares the host's
# own work and not how the two were linked.
foreach(name bare_once bare_reader bare_saver)
  tessiva_bench(${name} ${CMAKE_SOURCE_DIR}/bench/${name}.cpp)
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
