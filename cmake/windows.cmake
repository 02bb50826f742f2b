# What the Windows builds add to the project: the oldest Windows each target
# supports, and where the shipped tarvik.exe comes from.

# ---- the oldest Windows -------------------------------------------------------
# The 32-bit exe runs on Windows XP SP3 and later, the 64-bit one on Windows 7
# and later. The headers then declare nothing newer, so a direct call of a
# newer function fails to compile; such functions are looked up at run time.
# tests/e2e/test_binary.py checks the result in the import table.
if(CMAKE_SIZEOF_VOID_P EQUAL 4)
  set(TARVIK_ARCH i686)
  set(TARVIK_WINDOWS_DEFINES _WIN32_WINNT=0x0501 WINVER=0x0501 NTDDI_VERSION=0x05010300)
  # The full e2e suite runs on the 64-bit build. This one gets what only the
  # 32-bit build can break: the exes' checks, one pass through the program's
  # life, the start-up and a second instance, a tray menu choice, the Options
  # dialog and its settings, the drive list over ASPI, tarvikctl.exe, and the
  # installer with its upgrade. The same set where 32-bit code is emulated.
  set(TARVIK_E2E_TESTS test_binary.py test_smoke.py test_tarvikctl_exe.py
      test_startup.py::test_first_instance_log_lines test_startup.py::test_second_instance_forwards
      test_menus.py::test_speed_chosen_in_the_left_menu_is_sent_and_stored
      test_options.py::test_ok_changes_start_entry_and_settings_cancel_changes_nothing
      test_sim.py::test_instance_builds_drive_list_at_start
      test_install.py::test_silent_install_puts_files_shortcut_entries_and_starts_from_the_shortcut
      test_install.py::test_upgrade_closes_the_running_old_version_and_starts_the_new_one)
  # Bounds for 32-bit code under qemu-user, several times slower than native
  # (the test programs keep the native bound where it runs natively).
  set(TARVIK_WINE_TIMEOUT 3000)
else()
  set(TARVIK_ARCH x86_64)
  set(TARVIK_WINDOWS_DEFINES _WIN32_WINNT=0x0601 WINVER=0x0601 NTDDI_VERSION=0x06010000)
  set(TARVIK_E2E_TESTS "")
  set(TARVIK_WINE_TIMEOUT 600)
endif()

# ---- tarvik.exe from a build of its own -----------------------------------------
# The tests need the -posix compilers (GoogleTest uses std::mutex), but their
# thread runtime would put functions newer than Windows XP into the import
# table and 25 KB of code into a program that never starts a thread. One
# CMake build folder has one compiler, so tarvik.exe is built in a folder of
# its own, program/, configured with the win32-thread compilers and
# TARVIK_PROGRAM_ONLY=ON (the core and the exes, tarvikctl.exe beside
# tarvik.exe, nothing else), and copied into bin/. The target keeps the name
# tarvik, so the tests that read the exe still depend on it.
option(TARVIK_PROGRAM_ONLY "Build only the shipped exes, tarvik.exe and tarvikctl.exe" OFF)

# ---- small shipped exes ----------------------------------------------------------
# The shipped exes are optimised across files (link-time optimisation, which
# also folds identical functions). The program's layers neither throw nor
# catch and ask no type at run time, so they are compiled without exception
# tables and type information; tarvikctl's own code and the simulator keep
# both, since nlohmann-json reports errors by throwing. Neither exe starts a
# thread, so a function's static needs no lock at its first use (the lock
# would link the exception machinery back in). On 32-bit Windows the
# unwind tables (.eh_frame) serve only exceptions; on 64-bit Windows the
# system itself reads them (.pdata, .xdata), so they stay.
if(TARVIK_PROGRAM_ONLY)
  set(CMAKE_INTERPROCEDURAL_OPTIMIZATION ON)
  # GCC 12 for MinGW fails (an internal error) when it splits the program into
  # several partitions; one is quick enough at this size.
  add_link_options(-flto-partition=one)
  set(TARVIK_LAYER_FLAGS -fno-exceptions -fno-rtti -fno-threadsafe-statics)
  if(CMAKE_SIZEOF_VOID_P EQUAL 4)
    list(APPEND TARVIK_LAYER_FLAGS -fno-asynchronous-unwind-tables -fno-unwind-tables)
    # The stack aligned to the 4 bytes 32-bit Windows promises, not 16: no
    # padding in every frame. The code is x87 only (pentiumpro, no SSE), so
    # nothing needs more; a variable that did would still be realigned.
    add_compile_options(-mpreferred-stack-boundary=2)
    add_link_options(-mpreferred-stack-boundary=2)
  endif()
endif()

function(tarvik_program_from_own_build)
  include(ExternalProject)
  if(CMAKE_GENERATOR MATCHES "Makefiles")
    # $(MAKE) joins the outer make's job server, so -j2 stays -j2 overall.
    # The build system is brought up to date first: make reads the target
    # names from the Makefile before it would regenerate it.
    set(build $(MAKE) cmake_check_build_system COMMAND $(MAKE) tarvik tarvikctl)
  else()
    set(build ${CMAKE_COMMAND} --build <BINARY_DIR> --target tarvik tarvikctl)
  endif()
  ExternalProject_Add(tarvik
    SOURCE_DIR ${CMAKE_SOURCE_DIR}
    BINARY_DIR ${CMAKE_BINARY_DIR}/program
    CMAKE_ARGS
      -DCMAKE_TOOLCHAIN_FILE=${CMAKE_SOURCE_DIR}/cmake/mingw-w64.cmake
      -DTARVIK_MINGW_ARCH=${TARVIK_MINGW_ARCH}
      -DTARVIK_MINGW_THREADS=win32
      -DTARVIK_PROGRAM_ONLY=ON
      -DCMAKE_BUILD_TYPE=${CMAKE_BUILD_TYPE}
    BUILD_COMMAND ${build}
    INSTALL_COMMAND ${CMAKE_COMMAND} -E copy_if_different
      <BINARY_DIR>/bin/tarvik.exe <BINARY_DIR>/bin/tarvikctl.exe ${CMAKE_BINARY_DIR}/bin/
    # The inner make decides what is out of date.
    BUILD_ALWAYS ON
    USES_TERMINAL_BUILD OFF)
endfunction()
