# Cross build of the macOS helper on Linux with Zig's clang, which ships the Darwin libc,
# libc++, objc and dispatch headers and libSystem link stubs. The rest of the SDK (Foundation,
# Security, CoreFoundation, os/log) comes from toolchain/darwin/sdk-stand-in.
#
#   -DZORVIK_ZIG=<zig>  -DZORVIK_DARWIN_ARCH=arm64|x86_64  -DZORVIK_DARWIN_PREFIX=<dir>
#
# ZORVIK_DARWIN_PREFIX plays the package manager's prefix of a Mac (nlohmann-json's config).
set(CMAKE_SYSTEM_NAME Darwin)
set(CMAKE_SYSTEM_VERSION 21.0)
list(APPEND CMAKE_TRY_COMPILE_PLATFORM_VARIABLES ZORVIK_ZIG ZORVIK_DARWIN_ARCH ZORVIK_DARWIN_PREFIX)

if(ZORVIK_DARWIN_ARCH STREQUAL "arm64")
  set(zorvik_zig_arch aarch64)
elseif(ZORVIK_DARWIN_ARCH STREQUAL "x86_64")
  set(zorvik_zig_arch x86_64)
else()
  message(FATAL_ERROR "ZORVIK_DARWIN_ARCH must be arm64 or x86_64, not '${ZORVIK_DARWIN_ARCH}'")
endif()
if(NOT EXISTS "${ZORVIK_ZIG}")
  message(FATAL_ERROR "ZORVIK_ZIG '${ZORVIK_ZIG}' not found; scripts/install-zig fetches it")
endif()
set(CMAKE_SYSTEM_PROCESSOR ${ZORVIK_DARWIN_ARCH})

# Zig wants the full version in the target: "macos.12" is refused.
set(zorvik_target -target ${zorvik_zig_arch}-macos.12.0)
set(CMAKE_C_COMPILER ${ZORVIK_ZIG} cc ${zorvik_target})
set(CMAKE_CXX_COMPILER ${ZORVIK_ZIG} c++ ${zorvik_target})
set(CMAKE_OBJCXX_COMPILER ${ZORVIK_ZIG} c++ ${zorvik_target})

# Debian's LLVM tools understand Mach-O archives and binaries; the host's GNU ar does not.
file(GLOB zorvik_llvm_bins /usr/lib/llvm-*/bin)
find_program(CMAKE_AR NAMES llvm-ar HINTS ${zorvik_llvm_bins} REQUIRED)
find_program(CMAKE_RANLIB NAMES llvm-ranlib HINTS ${zorvik_llvm_bins} REQUIRED)
find_program(CMAKE_INSTALL_NAME_TOOL NAMES llvm-install-name-tool HINTS ${zorvik_llvm_bins}
             REQUIRED)

# Nothing of the Linux host may leak in: packages, headers and libraries only from the prefix.
set(CMAKE_FIND_ROOT_PATH ${ZORVIK_DARWIN_PREFIX})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)

# The SDK's missing frameworks: headers from the stand-in, link stubs beside them.
set(zorvik_stand_in ${CMAKE_CURRENT_LIST_DIR}/../sdk-stand-in)
# CMake names the language with -x objective-c++; Zig's driver then warns that its own
# -ObjC++ went unused, which -Werror would turn into a failure of every file.
set(CMAKE_OBJCXX_FLAGS_INIT "-isystem ${zorvik_stand_in} -Wno-unused-command-line-argument")
set(CMAKE_EXE_LINKER_FLAGS_INIT "-F${zorvik_stand_in}/Frameworks -L${zorvik_stand_in}/lib")
