#pragma once

#include <exception>
#include <string>

namespace zorvik {

/// A failure the helper detects itself: what() is `msg`, unchanged. Every layer
/// throws it; the service knows it as HelperService::Err.
class ServiceError : public std::exception {
 public:
  explicit ServiceError(std::string message) : msg(std::move(message)) {}
  const char* what() const noexcept override { return msg.c_str(); }
  std::string msg;
};

}  // namespace zorvik
