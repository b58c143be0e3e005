// Runs a check as a user without root's right to read and write anywhere.
#pragma once

#ifndef _WIN32
#include <sys/wait.h>
#include <unistd.h>

#include <functional>

namespace kvn::test {

// Runs check as it is, or, under root, in a child process that has become
// "nobody". The result is check's, through the exit status (100 and 101 when
// the child could not become nobody or did not end normally).
inline int AsOrdinaryUser(const std::function<int()>& check) {
  if (::geteuid() != 0) return check();
  const pid_t child = ::fork();
  if (child == 0) {
    if (::setgid(65534) != 0 || ::setuid(65534) != 0) ::_exit(100);
    ::_exit(check());
  }
  int status = 0;
  if (child < 0 || ::waitpid(child, &status, 0) != child || !WIFEXITED(status)) return 101;
  return WEXITSTATUS(status);
}

}  // namespace kvn::test
#endif
