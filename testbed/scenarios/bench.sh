# The end-to-end benchmark that scripts/bench runs and reads: it measures, it checks only that each
# step worked and that each figure is possible (no count or time below 0, no answer before its
# request). Raw figures go to the keep folder: bench-ops.tsv (each start, stop and wg-quick run:
# when sent and answered, the helper's CPU), bench-rtt.tsv (round trips on one connection),
# bench-figures.tsv (memory, idle wake-ups, one zorvikctl process per request) and the stand-ins'
# timing file. Not a CTest test.
#   bench [ROUNDS]
rounds=${1:-20}
[[ $rounds =~ ^[1-9][0-9]*$ ]] || tb_fail "bench: ROUNDS must be a positive number, got [$rounds]"
[ -d "$TB/keep" ] || tb_fail "bench: needs a keep folder (testbed/run --keep DIR bench)"
[ -x "$TB/bench-client" ] || tb_fail "bench: no zorvik_bench_client in this build"
out=$TB/keep

# "TID NS" for each live thread of the helper: its CPU time so far (from the scheduler, finer than
# utime and stime).
bench_thread_cpu() {
  local file tid run
  for file in /proc/"$TB_HELPER_PID"/task/*/schedstat; do
    tid=${file%/schedstat}
    tid=${tid##*/}
    read -r run _ 2>/dev/null <"$file" && echo "$tid $run"
  done
}
# bench_cpu_ns BEFORE AFTER: the CPU time between two bench_thread_cpu listings, thread by thread:
# a thread that began counts from 0; one that ended in between (the daemon's watcher at a stop)
# is left out, as the process-wide figures in /proc, which keep it, count only in 10 ms ticks.
bench_cpu_ns() {
  local -A before=()
  local tid run total=0
  while read -r tid run; do before[$tid]=$run; done <<<"$1"
  while read -r tid run; do
    [ -n "$tid" ] || continue
    ((run >= ${before[$tid]:-0})) || tb_fail "bench: thread $tid of the helper went from ${before[$tid]} to $run ns of CPU"
    total=$((total + run - ${before[$tid]:-0}))
  done <<<"$2"
  echo "$total"
}
# "TID COUNT" for each live thread of the helper: its context switches so far.
bench_thread_switches() {
  local file tid line count
  for file in /proc/"$TB_HELPER_PID"/task/*/status; do
    tid=${file%/status}
    tid=${tid##*/}
    count=0
    while read -r line; do
      [[ $line =~ ^(non)?voluntary_ctxt_switches:[[:space:]]*([0-9]+) ]] && count=$((count + BASH_REMATCH[2]))
    done 2>/dev/null <"$file" || continue
    echo "$tid $count"
  done
}
# bench_switches_in SECONDS: the helper's context switches in that time, counted per thread and
# sampled every 0.2 s from here (reading /proc wakes no thread of the helper), so a thread that
# ends meanwhile keeps what it did until its last sample and one that begins counts from 0.
bench_switches_in() {
  local -A first=() last=()
  local tid count total=0 end
  end=$((${EPOCHREALTIME/./} + $1 * 1000000))
  while read -r tid count; do first[$tid]=$count last[$tid]=$count; done < <(bench_thread_switches)
  while ((${EPOCHREALTIME/./} < end)); do
    sleep 0.2
    while read -r tid count; do
      [ -n "${first[$tid]+set}" ] || first[$tid]=0
      last[$tid]=$count
    done < <(bench_thread_switches)
  done
  for tid in "${!last[@]}"; do
    ((last[$tid] >= first[$tid])) ||
      tb_fail "bench: thread $tid of the helper went from ${first[$tid]} to ${last[$tid]} context switches"
    total=$((total + last[$tid] - first[$tid]))
  done
  echo "$total"
}
bench_peak_rss_kib() { awk '/^VmHWM:/ { print $2 }' /proc/"$TB_HELPER_PID"/status; }
# bench_figure NAME VALUE: every figure here is a count, a size or a time, never below 0.
bench_figure() {
  [[ $2 =~ ^[0-9]+(\.[0-9]+)?$ ]] || tb_fail "bench: figure $1 is [$2], not a number of at least 0"
  printf '%s\t%s\n' "$1" "$2" >>"$out/bench-figures.tsv"
}
bench_ordered() {
  awk -v a="$2" -v b="$3" 'BEGIN { exit !(a > 0 && b >= a) }' || tb_fail "bench: $1 answered at $3, sent at $2"
}
bench_ms() { awk -v a="$1" -v b="$2" 'BEGIN { printf "%.1f", (b - a) * 1000 }'; }

# bench_request KIND CASE ROUND ARG...: one timed request through the bench client.
bench_request() {
  local kind=$1 case=$2 round=$3 before after reply cpu
  shift 3
  before=$(bench_thread_cpu)
  reply=$(tb_ctl "$@") || tb_fail "bench: $kind ($case) failed: $reply"
  after=$(bench_thread_cpu)
  read -r _ sent answered ok <<<"$reply"
  [ "$ok" = 1 ] || tb_fail "bench: $kind ($case) answered not ok"
  bench_ordered "$kind ($case)" "$sent" "$answered"
  cpu=$(bench_cpu_ns "$before" "$after") || exit 1 # its check said why
  printf '%s\t%s\t%s\t%s\t%s\t%s\n' "$kind" "$case" "$round" "$sent" "$answered" "$cpu" \
    >>"$out/bench-ops.tsv"
  REPLY=$(bench_ms "$sent" "$answered")
}

# bench_wg_quick up|down ROUND: wg-quick on the same daemon, timed from here.
bench_wg_quick() {
  local sent answered
  sent=$EPOCHREALTIME
  WG_QUICK_USERSPACE_IMPLEMENTATION=wireguard-go wg-quick "$1" "$wgq_config" >>"$TB/wg-quick.log" 2>&1 ||
    tb_fail "bench: wg-quick $1 failed: $(tail -n 5 "$TB/wg-quick.log")"
  answered=$EPOCHREALTIME
  bench_ordered "wg-quick $1" "$sent" "$answered"
  printf '%s\t%s\t%s\t%s\t%s\t\n' "wg-quick-$1" same "$2" "$sent" "$answered" >>"$out/bench-ops.tsv"
  REPLY=$(bench_ms "$sent" "$answered")
}

bench_gone() { tb_no_utun && [ ! -e /var/run/wireguard/utun.sock ] && [ ! -e /var/run/amneziawg/utun.sock ]; }
# Waits until the previous tunnel and its daemon are gone, so the next step starts from rest.
bench_settle() {
  tb_wait_for 5 bench_gone || tb_fail "bench: the tunnel did not go away"
  sleep 0.1
}

# N enabled services with automatic IPv6 and no DNS servers of their own.
bench_services() {
  local i
  for ((i = 1; i <= $1; i++)); do printf '1\tEthernet %s\tAutomatic\t\n' "$i"; done >"$TB/services"
}

tb_step "network, server and helper"
tb_network_up
tb_start_helper
: >"$out/bench-ops.tsv"
: >"$out/bench-rtt.tsv"
: >"$out/bench-figures.tsv"
: >"$out/bench-probe.tsv"
# The same tunnel without DNS; with the "exclude private addresses" list; with 1000 /24s of
# 100.64.0.0/10. For wg-quick the helper's routes of 0.0.0.0/0 (written after the warm-up start),
# which leave out the server, so wg-quick needs no host route to it either.
sed '/^DNS = /d' "$TB_CLIENT_CONFIG" >"$TB/same.conf"
tb_client_config allowed="$(tb_exclude_private_ranges), ::/0" | sed '/^DNS = /d' >"$TB/ranges-30.conf"
ranges=
for ((i = 0; i < 1000; i++)); do ranges+="100.$((64 + i / 256)).$((i % 256)).0/24, "; done
tb_client_config allowed="${ranges%, }" | sed '/^DNS = /d' >"$TB/ranges-1000.conf"
mkdir -p "$TB/wg-quick"
wgq_config=$TB/wg-quick/utun.conf

tb_step "idle: peak RSS, then context switches in 10 s"
sleep 1
bench_figure "peak-rss-idle-kib" "$(bench_peak_rss_kib)"
switches=$(bench_switches_in 10) || exit 1
bench_figure "switches-idle-10s" "$switches"

tb_step "a stand-in's start-up and exit as a shell sees them, $rounds runs"
for ((i = 0; i < rounds; i++)); do
  sent=$EPOCHREALTIME
  /sbin/route -n get default >/dev/null
  printf 'probe\t%s\t%s\n' "$sent" "$EPOCHREALTIME" >>"$out/bench-probe.tsv"
done

tb_step "warm-up round with zorvikctl; one zorvikctl process per request, $rounds each"
calls=$(wc -l <"$TB/journal")
tb_expect_eq "$(tb_ctl start "$TB_CLIENT_CONFIG")" "tunnel started" "zorvikctl start"
routes=$(tail -n +$((calls + 1)) "$TB/journal" |
  sed -n 's|^\["/sbin/route","-q","-n","add","-inet","\([0-9./]*\)","-interface","utun"\]$|\1|p')
tb_expect_eq "$(wc -l <<<"$routes")" 32 "routes of 0.0.0.0/0 through utun"
(
  umask 077
  sed -e '/^DNS = /d' -e "s|^AllowedIPs = .*|AllowedIPs = $(echo $routes | sed 's/ /, /g')|" \
    "$TB_CLIENT_CONFIG" >"$wgq_config"
)
tb_ping_server 1
for ((i = 0; i < rounds; i++)); do
  for request in status version; do
    sent=$EPOCHREALTIME
    tb_ctl "$request" >/dev/null || tb_fail "bench: zorvikctl $request failed"
    bench_figure "zorvikctl-$request-ms" "$(bench_ms "$sent" "$EPOCHREALTIME")"
  done
done
tb_expect_eq "$(tb_ctl stop)" "tunnel stopped" "zorvikctl stop"
bench_settle

# From here the requests go through the bench client, on one connection each.
install -o root -g root -m 0755 "$TB_HELPERS/zorvikctl" "$TB/zorvikctl.real"
install -o root -g root -m 0755 "$TB/bench-client" "$TB_HELPERS/zorvikctl"
tb_ctl() { "$TB_HELPERS/zorvikctl" "$TB_HELPER_SOCKET" "$@"; }

tb_step "$rounds rounds: start/stop as configured (4 services, 3 enabled, DNS), the same steps as wg-quick (no services, no DNS), wg-quick up/down"
for ((round = 1; round <= rounds; round++)); do
  tb_services_default
  bench_request start default "$round" start "$TB_CLIENT_CONFIG"
  start_ms=$REPLY
  rtt=$(tb_ctl status 200) || tb_fail "bench: status round trips failed"
  printf '%s\t%s\n' "$round" "$rtt" >>"$out/bench-rtt.tsv"
  rtt=$(tb_ctl version 200) || tb_fail "bench: version round trips failed"
  printf '%s\t%s\n' "$round" "$rtt" >>"$out/bench-rtt.tsv"
  if [ "$round" = 1 ]; then
    switches=$(bench_switches_in 10) || exit 1
    bench_figure "switches-up-10s" "$switches"
    bench_figure "peak-rss-up-first-kib" "$(bench_peak_rss_kib)"
  fi
  bench_request stop default "$round" stop
  stop_ms=$REPLY
  bench_settle

  bench_services 0
  bench_request start same "$round" start "$TB/same.conf"
  same_start_ms=$REPLY
  bench_request stop same "$round" stop
  same_stop_ms=$REPLY
  bench_settle

  bench_wg_quick up "$round"
  up_ms=$REPLY
  bench_wg_quick down "$round"
  down_ms=$REPLY
  bench_settle
  tb_note "round $round/$rounds: start $start_ms ms, stop $stop_ms ms; same steps $same_start_ms/$same_stop_ms ms; wg-quick $up_ms/$down_ms ms"
done
bench_figure "peak-rss-up-kib" "$(bench_peak_rss_kib)"

# Interleaved, so a change in the machine's load falls on every count alike.
tb_step "$rounds rounds with 1, 4 and 16 enabled services"
for ((round = 1; round <= rounds; round++)); do
  summary=
  for services in 1 4 16; do
    bench_services "$services"
    bench_request start "services-$services" "$round" start "$TB_CLIENT_CONFIG"
    start_ms=$REPLY
    bench_request stop "services-$services" "$round" stop
    summary+="; $services: $start_ms/$REPLY ms"
    bench_settle
  done
  tb_note "round $round/$rounds: start/stop${summary#;}"
done

tb_step "$rounds rounds with 0.0.0.0/0, the 30 ranges that leave out private addresses (and ::/0), 1000 ranges"
for ((round = 1; round <= rounds; round++)); do
  summary=
  bench_services 0
  for ranges in full 30 1000; do
    config=$TB/ranges-$ranges.conf
    [ "$ranges" != full ] || config=$TB/same.conf
    bench_request start "ranges-$ranges" "$round" start "$config"
    start_ms=$REPLY
    bench_request stop "ranges-$ranges" "$round" stop
    summary+="; $ranges: $start_ms/$REPLY ms"
    bench_settle
  done
  tb_note "round $round/$rounds: start/stop${summary#;}"
done
bench_figure "peak-rss-end-kib" "$(bench_peak_rss_kib)"

install -o root -g root -m 0755 "$TB/zorvikctl.real" "$TB_HELPERS/zorvikctl"
cp "$TB/timing" "$out/timing"
tb_step "done"
