# How the Linux programs and the Qt module are compiled and linked, in every build (the presets, a
# packager's plain build and the package): hardened as Debian's dpkg-buildflags asks with
# hardening=+all, and linked so that starting a program costs the loader next to nothing.

# Stack protector, stack-clash protection and control-flow protection (CET), and the fortified
# C library functions, which need the optimiser: a Debug build (the sanitizers') goes without them,
# as glibc warns about _FORTIFY_SOURCE without -O. The compiler's own default is replaced, not
# stacked on.
add_compile_options(-fstack-protector-strong -fstack-clash-protection
  "$<$<CONFIG:Release,RelWithDebInfo,MinSizeRel>:-U_FORTIFY_SOURCE;-D_FORTIFY_SOURCE=2>")
# Relocations read-only and every symbol bound at start (immediate binding): nothing the loader
# resolves later can be redirected. A library named on the link line but not used is not loaded.
add_link_options(-Wl,-z,relro -Wl,-z,now -Wl,--as-needed)
# The loader reads a program's whole table of relocations at every start: packed, the 800 of a
# program's own data (its tables of virtual functions, mostly) take 160 bytes instead of 19 KB,
# some 290 cache lines fewer to fetch from memory (callgrind). C libraries from 2.36 read them;
# a linker that cannot pack them leaves them as they are.
include(CheckLinkerFlag)
check_linker_flag(CXX "-Wl,-z,pack-relative-relocs" KARTIVA_LINKER_PACKS_RELOCATIONS)
if(KARTIVA_LINKER_PACKS_RELOCATIONS)
  add_link_options(-Wl,-z,pack-relative-relocs)
endif()
# Compiled for size: a silent run executes most of its code once, so what it costs is the pages
# of code the kernel maps in and the cache lines the processor fetches, not the instructions
# saved by inlining and unrolling (a silent Tresolo took 30-40 us less CPU time than at -O2, and
# more at -O3). The copies and comparisons of file contents run in the kernel and the C library.
# A build asked for without optimisation (-O0, as DEB_BUILD_OPTIONS=noopt gives) stays so.
if(NOT "${CMAKE_CXX_FLAGS} ${CMAKE_C_FLAGS}" MATCHES "-O0")
  add_compile_options("$<$<CONFIG:Release,RelWithDebInfo>:-Os>")
endif()
# Every function and every datum in a section of its own, and the link keeps only those that are
# reached: a program carries a third less code and relocated data, and its start touches (and
# faults in) fewer pages.
add_compile_options(-ffunction-sections -fdata-sections)
add_link_options(-Wl,--gc-sections)
if(CMAKE_SYSTEM_PROCESSOR MATCHES "x86_64|AMD64|i.86")
  add_compile_options(-fcf-protection)
  # Every object of ours and of the static C++ runtime carries the marks of indirect-branch
  # tracking and the shadow stack, but Debian 12's C library start files (Scrt1.o, crti.o, crtn.o)
  # do not, which would take the marks off the whole program: the link sets them. The C library
  # turns the protection on only where every library loaded carries the marks.
  add_link_options(-Wl,-z,ibt -Wl,-z,shstk)
endif()
# No symbol leaves a program or the module unless it is marked to: the loader has nothing of ours
# to look up or to export.
set(CMAKE_CXX_VISIBILITY_PRESET hidden)
set(CMAKE_VISIBILITY_INLINES_HIDDEN ON)

# The shipped programs carry the C++ runtime in them: the loader binds only the C library's and
# SQLite's symbols, not the thousands of libstdc++, which made up most of a silent run. The Qt
# module keeps the shared libstdc++ that Qt itself needs; nothing but plain data and virtual calls
# crosses between the two, and both allocate from the one C library. The sanitizers' builds, which
# bring their own shared runtimes, keep the shared one.
function(kartiva_linux_program target)
  if(NOT CMAKE_CXX_FLAGS MATCHES "sanitize")
    target_link_options(${target} PRIVATE -static-libstdc++ -static-libgcc)
  endif()
endfunction()
