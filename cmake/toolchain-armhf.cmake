# Cross build for 32-bit ARM (armhf) on a Debian host with the multiarch :armhf libraries;
# the tests run through qemu-user. Used by scripts/test-armhf.sh.
set(CMAKE_SYSTEM_NAME Linux)
set(CMAKE_SYSTEM_PROCESSOR arm)
set(CMAKE_C_COMPILER arm-linux-gnueabihf-gcc)
set(CMAKE_CXX_COMPILER arm-linux-gnueabihf-g++)
set(CMAKE_LIBRARY_ARCHITECTURE arm-linux-gnueabihf)
set(CMAKE_FIND_ROOT_PATH /usr/arm-linux-gnueabihf /)
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)

# No -L: the binaries' own interpreter (/lib/ld-linux-armhf.so.3 from libc6:armhf) must load
# them. The cross toolchain's C library under /usr/arm-linux-gnueabihf is a different build, and
# mixing it with the multiarch libraries makes every pthread_create crash.
set(CMAKE_CROSSCOMPILING_EMULATOR /usr/bin/qemu-arm)

# 32-bit glibc's readdir fails with EOVERFLOW on 64-bit directory offsets (ext4 under
# qemu-user), so port discovery would find nothing. time_t stays 32 bits, as on the devices.
set(CMAKE_C_FLAGS_INIT "-D_FILE_OFFSET_BITS=64")
set(CMAKE_CXX_FLAGS_INIT "-D_FILE_OFFSET_BITS=64")

# pkg-config must see only the armhf .pc files (a host library would be found and fail to link;
# optional ones such as gammu then simply stay off).
set(ENV{PKG_CONFIG_LIBDIR} "/usr/lib/arm-linux-gnueabihf/pkgconfig:/usr/share/pkgconfig")
set(ENV{PKG_CONFIG_PATH} "")
