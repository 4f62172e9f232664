# SPDX-License-Identifier: MIT
# Cross build for arm-linux-gnueabihf boards with Debian's g++-arm-linux-gnueabihf.
set(SUPCTL_TRIPLE arm-linux-gnueabihf)
set(SUPCTL_PROCESSOR arm)
set(SUPCTL_QEMU qemu-arm)
include(${CMAKE_CURRENT_LIST_DIR}/debian-cross.cmake)
