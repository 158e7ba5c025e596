// Linux-only calls that must fail the macOS build of the core: proof that no Linux header
// leaks into it. Above each one, the error clang must give for the next line.
// clang-format off

#include <fcntl.h>
#include <sys/socket.h>
#include <unistd.h>

int linuxOnlyCalls(int listener) {
  // expected-error@+1 {{use of undeclared identifier 'SOCK_CLOEXEC'}}
  int fd = socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
  int ends[2];
  // expected-error@+1 {{use of undeclared identifier 'pipe2'}}
  pipe2(ends, O_CLOEXEC);
  // expected-error@+1 {{use of undeclared identifier 'accept4'}}
  fd = accept4(listener, nullptr, nullptr, 0);
  // expected-error@+1 {{use of undeclared identifier 'SO_PEERCRED'}}
  return getsockopt(fd, SOL_SOCKET, SO_PEERCRED, nullptr, nullptr);
}
