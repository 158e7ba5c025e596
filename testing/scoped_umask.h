#pragma once

#include <sys/stat.h>

namespace zorvik::test_support {

/// Sets the umask for one scope and puts the old one back.
class ScopedUmask {
 public:
  explicit ScopedUmask(mode_t mask) : old_(::umask(mask)) {}
  ~ScopedUmask() { ::umask(old_); }
  ScopedUmask(const ScopedUmask&) = delete;
  ScopedUmask& operator=(const ScopedUmask&) = delete;

 private:
  mode_t old_;
};

}  // namespace zorvik::test_support
