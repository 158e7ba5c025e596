# A daemon that answers the configuration with an endless stream: the helper reads at most 1 MiB,
# fails the start with a short error, and its memory stays small.
# fault: daemon floods its UAPI answer
tb_network_up
tb_use_daemon fake
tb_start_helper FAKE_AWG_FLOOD=1 FAKE_AWG_IFACE=utun
before=$(tb_services_summary)
# The helper's peak resident size in KiB.
helper_peak() { sed -n 's/^VmHWM:[[:space:]]*\([0-9]*\) kB$/\1/p' "/proc/$TB_HELPER_PID/status"; }
tb_figure "helper peak RSS before (KiB)" "$(helper_peak)"

tb_step "start against a flooding daemon"
started=$EPOCHREALTIME
tb_start_fails "$TB_CLIENT_CONFIG" "UAPI отклонил конфиг: flood="
tb_figure "start failed after (s)" "$(tb_seconds_since "$started")"
error=$(<"$TB/ctl.err")
quote=${error#*UAPI отклонил конфиг: }
tb_expect_eq "$(printf '%s' "$quote" | wc -c)" 256 "bytes of the answer quoted"
tb_figure "error bytes" "$(wc -c <"$TB/ctl.err")"
peak=$(helper_peak)
tb_figure "helper peak RSS (KiB)" "$peak"
((peak < 32 * 1024)) || tb_fail "the helper's peak RSS is $peak KiB, over 32 MiB"
tb_checked

tb_step "the daemon is terminated and nothing stays changed"
tb_wait_for 5 grep -q "amneziawg-go завершился" "$TB_HELPER_LOG" || tb_fail "the daemon was not terminated"
tb_expect_eq "$(pgrep -x amneziawg-go || true)" "" "daemon processes"
tb_expect_eq "$(tb_services_summary)" "$before" "network services"
tb_expect_lacks "$(ip -4 route show)" "$TB_SERVER_ADDRESS via" "host route"
tb_expect_eq "$(tb_status_field active)" false "status"
