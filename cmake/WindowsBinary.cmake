# Flags for every Windows binary: small, self-contained, importing only system DLLs.
add_compile_options(
  -Os -ffunction-sections -fdata-sections -fno-ident
  -fno-asynchronous-unwind-tables -fno-unwind-tables
  -Wall -Wextra
  "$<$<COMPILE_LANGUAGE:CXX>:-fno-exceptions;-fno-rtti;-fno-threadsafe-statics>")
add_link_options(
  -s -static -static-libgcc -static-libstdc++
  -Wl,--gc-sections -Wl,--dynamicbase -Wl,--nxcompat)
if(CMAKE_SYSTEM_PROCESSOR STREQUAL "x86_64")
  add_link_options(-Wl,--high-entropy-va)
endif()
