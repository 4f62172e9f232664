# SPDX-License-Identifier: MIT
# Cross build for aarch64-linux-gnu boards with Debian's g++-aarch64-linux-gnu.
set(SUPCTL_TRIPLE aarch64-linux-gnu)
set(SUPCTL_PROCESSOR aarch64)
set(SUPCTL_QEMU qemu-aarch64)
include(${CMAKE_CURRENT_LIST_DIR}/debian-cross.cmake)
