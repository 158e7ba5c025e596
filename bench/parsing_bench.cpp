// The text paths of a start and a status: the configuration parse with its UAPI set request,
// the daemon's transfer totals, and the DNS and network-service texts.
#include <benchmark/benchmark.h>

#include <string>

#include "config/tunnel_config.h"
#include "config/uapi_client.h"
#include "config/uapi_request.h"
#include "netsys/dns.h"

namespace zorvik {
namespace {

constexpr const char* kConfig =
    "[Interface]\n"
    "PrivateKey = AAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAA=\n"
    "Address = 10.8.0.2/32, fd00::2/128\n"
    "DNS = 1.1.1.1, 8.8.8.8\n"
    "MTU = 1380\n"
    "Jc = 4\nJmin = 40\nJmax = 70\nS1 = 0\nS2 = 0\nH1 = 1\nH2 = 2\nH3 = 3\nH4 = 4\n"
    "\n"
    "[Peer]\n"
    "PublicKey = 9v0xZ75OEYel6DM+KUGWlSj3GV2BMIiY1+XwOnawd0s=\n"
    "PresharedKey = AAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAA=\n"
    "Endpoint = vpn.example.org:51820\n"
    "AllowedIPs = 0.0.0.0/0, ::/0\n"
    "PersistentKeepalive = 25\n";

void BM_ParseConfigAndSetRequest(benchmark::State& state) {
  for (auto _ : state) {
    const TunnelConfig config = parseTunnelConfig(kConfig);
    std::string request = makeUAPISetRequest(config.interface, config.peer, "203.0.113.5:51820");
    benchmark::DoNotOptimize(request);
  }
}
BENCHMARK(BM_ParseConfigAndSetRequest);

// A get answer of one peer, as the daemon writes it.
std::string getAnswer() {
  return "private_key=" + std::string(64, 'a') +
         "\nlisten_port=51820\nfwmark=0\npublic_key=" + std::string(64, 'b') +
         "\npreshared_key=" + std::string(64, '0') +
         "\nprotocol_version=1\nendpoint=203.0.113.5:51820\nlast_handshake_time_sec=1765280000\n"
         "last_handshake_time_nsec=123456789\ntx_bytes=123456789\nrx_bytes=987654321\n"
         "persistent_keepalive_interval=25\nallowed_ip=0.0.0.0/0\nerrno=0\n\n";
}

void BM_ParseTransferTotals(benchmark::State& state) {
  const std::string answer = getAnswer();
  for (auto _ : state) benchmark::DoNotOptimize(parseTransferTotals(answer));
  state.SetBytesProcessed(state.iterations() * static_cast<std::int64_t>(answer.size()));
}
BENCHMARK(BM_ParseTransferTotals);

void BM_ParseDNSServers(benchmark::State& state) {
  for (auto _ : state)
    benchmark::DoNotOptimize(parseDNSServers("1.1.1.1, 8.8.8.8, 2606:4700::1111"));
}
BENCHMARK(BM_ParseDNSServers);

// A "-listallnetworkservices" listing of state.range(0) services, every fourth one disabled.
void BM_ParseNetworkServices(benchmark::State& state) {
  std::string listing = "An asterisk (*) denotes that a network service is disabled.\n";
  for (int i = 0; i < state.range(0); ++i)
    listing +=
        (i % 4 == 3 ? "*" : "") + std::string("USB 10/100/1000 LAN ") + std::to_string(i) + "\n";
  for (auto _ : state) benchmark::DoNotOptimize(parseNetworkServices(listing));
}
BENCHMARK(BM_ParseNetworkServices)->Arg(4)->Arg(16);

void BM_DNSBackupValue(benchmark::State& state) {
  for (auto _ : state) {
    benchmark::DoNotOptimize(dnsBackupValue("192.0.2.53\n198.51.100.53\n"));
    benchmark::DoNotOptimize(dnsBackupValue("There aren't any DNS Servers set on Wi-Fi.\n"));
  }
}
BENCHMARK(BM_DNSBackupValue);

}  // namespace
}  // namespace zorvik

BENCHMARK_MAIN();
