#pragma once
// The fake tunnel daemon's device: what a UAPI set request leaves behind, judged
// line by line as the daemon judges it, and the get answer that echoes it.

#include <array>
#include <cstdint>
#include <map>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace zorvik::test_support {

/// A header value: one number ("N") or a range ("LO-HI").
struct HeaderRange {
  std::uint32_t low = 0;
  std::uint32_t high = 0;
};

class FakeUAPIDevice {
 public:
  /// The UAPI answers to a set request.
  static constexpr int kApplied = 0;
  static constexpr int kInvalid = -22;
  static constexpr int kProtocol = -71;

  /// Applies the lines of a set request (those after "set=1", up to the empty line) in
  /// order and gives the errno to answer. A failing line stops the set; the lines
  /// before it stay applied.
  int set(std::string_view lines);

  /// The body of the get answer: the device's settings, then one block per peer with
  /// `rx` and `tx` as its counters and, when given, `handshakeSec` as its last handshake. Without
  /// the closing "errno=0" line.
  std::string get(std::string_view rx, std::string_view tx,
                  const std::optional<std::string>& handshakeSec = std::nullopt) const;

 private:
  struct Peer {
    std::string publicKey;
    std::string presharedKey;
    std::string endpoint;
    std::string keepalive;
    std::vector<std::string> allowedIPs;
  };

  bool setDevice(std::string_view key, std::string_view value);
  bool setPeer(std::string_view key, std::string_view value);
  bool setHeader(std::size_t index, std::string_view value);

  std::string privateKey_;
  std::string listenPort_ = "51820";
  /// The daemon's other device settings by UAPI name, as it echoes them.
  std::map<std::string, std::string, std::less<>> settings_;
  std::array<HeaderRange, 4> headers_{{{1, 1}, {2, 2}, {3, 3}, {4, 4}}};
  std::vector<Peer> peers_;
  /// The peer that the lines since the last public_key configure.
  std::optional<std::size_t> current_;
};

}  // namespace zorvik::test_support
