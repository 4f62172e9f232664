# SPDX-License-Identifier: MIT
# Shared part of the cross builds with Debian's cross compilers. The
# including toolchain file sets SUPCTL_TRIPLE, SUPCTL_PROCESSOR and
# SUPCTL_QEMU (the qemu-user program for the target).
set(CMAKE_SYSTEM_NAME Linux)
set(CMAKE_SYSTEM_PROCESSOR ${SUPCTL_PROCESSOR})

set(CMAKE_C_COMPILER ${SUPCTL_TRIPLE}-gcc)
set(CMAKE_CXX_COMPILER ${SUPCTL_TRIPLE}-g++)

set(CMAKE_FIND_ROOT_PATH /usr/${SUPCTL_TRIPLE})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)

# pkg-config must not offer the build machine's libraries: it looks in the
# target's folder, unless the caller names its own (an empty one hides
# every .pc file).
if(NOT DEFINED ENV{PKG_CONFIG_LIBDIR})
  set(ENV{PKG_CONFIG_LIBDIR} /usr/lib/${SUPCTL_TRIPLE}/pkgconfig)
endif()

# Tests of the target's binaries run under user-mode emulation.
find_program(SUPCTL_QEMU_PROGRAM ${SUPCTL_QEMU})
if(SUPCTL_QEMU_PROGRAM)
  set(CMAKE_CROSSCOMPILING_EMULATOR ${SUPCTL_QEMU_PROGRAM} -L /usr/${SUPCTL_TRIPLE})
endif()
