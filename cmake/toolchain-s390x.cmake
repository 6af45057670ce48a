# Cross build for s390x, a big-endian CPU, with Debian's g++-s390x-linux-gnu; tests
# run under qemu-user. It proves that nothing depends on the host's byte order.
set(CMAKE_SYSTEM_PROCESSOR s390x)
include(${CMAKE_CURRENT_LIST_DIR}/debian-cross.cmake)
