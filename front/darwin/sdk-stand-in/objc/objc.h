// Stand-in for <objc/objc.h>: BOOL, YES, NO, nil. id, Class and SEL are built into clang.
#pragma once

#include <stdbool.h>

#if defined(__arm64__) || defined(__aarch64__)
#define OBJC_BOOL_IS_BOOL 1
typedef bool BOOL;
#else
#define OBJC_BOOL_IS_BOOL 0
typedef signed char BOOL;
#endif

#define YES __objc_yes
#define NO __objc_no

#ifndef nil
#if __has_feature(cxx_nullptr)
#define nil nullptr
#else
#define nil ((void*)0)
#endif
#endif

#define OBJC_ROOT_CLASS __attribute__((objc_root_class))
