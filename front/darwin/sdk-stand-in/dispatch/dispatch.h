// Stand-in for <dispatch/dispatch.h>: the main loop.
#pragma once

#if defined(__cplusplus)
extern "C" {
#endif

__attribute__((__noreturn__)) __attribute__((__nothrow__)) void dispatch_main(void);

#if defined(__cplusplus)
}
#endif
