# Cross build for 64-bit ARM with Debian's g++-aarch64-linux-gnu; tests run under
# qemu-user, which executes the AES instructions and reports them in HWCAP_AES, so
# both the AES back end and the portable one run there.
set(CMAKE_SYSTEM_PROCESSOR aarch64)
include(${CMAKE_CURRENT_LIST_DIR}/debian-cross.cmake)
