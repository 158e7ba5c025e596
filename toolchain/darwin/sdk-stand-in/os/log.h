// Stand-in for <os/log.h>: log objects and the info and error macros. As in the SDK, the
// format must be a string literal and the compiler checks the arguments against it.
#pragma once

#include <os/object.h>
#include <stdbool.h>
#include <stdint.h>

#if defined(__cplusplus)
extern "C" {
#endif

#pragma clang assume_nonnull begin

OS_OBJECT_DECL(os_log);

typedef enum : uint8_t {
  OS_LOG_TYPE_DEFAULT = 0x00,
  OS_LOG_TYPE_INFO = 0x01,
  OS_LOG_TYPE_DEBUG = 0x02,
  OS_LOG_TYPE_ERROR = 0x10,
  OS_LOG_TYPE_FAULT = 0x11,
} os_log_type_t;

OS_OBJECT_RETURNS_RETAINED os_log_t os_log_create(const char* subsystem, const char* category);
bool os_log_type_enabled(os_log_t oslog, os_log_type_t type);

// What the macros expand to; not called directly.
extern void* __dso_handle;
void _os_log_impl(void* dso, os_log_t log, os_log_type_t type, const char* format, uint8_t* buf,
                  uint32_t size);

#pragma clang assume_nonnull end

#if defined(__cplusplus)
}
#endif

#define os_log_with_type(log, type, format, ...)                                          \
  __extension__({                                                                         \
    os_log_t _os_log_tmp = (log);                                                         \
    os_log_type_t _os_log_type_tmp = (type);                                              \
    if (os_log_type_enabled(_os_log_tmp, _os_log_type_tmp)) {                             \
      uint8_t _os_log_buf[__builtin_os_log_format_buffer_size(format, ##__VA_ARGS__)];    \
      _os_log_impl(&__dso_handle, _os_log_tmp, _os_log_type_tmp, format,                  \
                   (uint8_t*)__builtin_os_log_format(_os_log_buf, format, ##__VA_ARGS__), \
                   (uint32_t)sizeof(_os_log_buf));                                        \
    }                                                                                     \
  })

#define os_log_info(log, format, ...) os_log_with_type(log, OS_LOG_TYPE_INFO, format, ##__VA_ARGS__)
#define os_log_error(log, format, ...) \
  os_log_with_type(log, OS_LOG_TYPE_ERROR, format, ##__VA_ARGS__)
