# A daemon that accepts the UAPI connection and never answers: start fails with the UAPI error
# once the exchange times out, and nothing is left behind.
# fault: daemon never answers UAPI
tb_network_up
tb_use_daemon fake
tb_start_helper FAKE_AWG_NEVER_ANSWER=1 FAKE_AWG_IFACE=utun
before=$(tb_services_summary)

tb_step "start against a silent daemon (takes the 5-second UAPI time-out)"
tb_start_fails "$TB_CLIENT_CONFIG" "UAPI отклонил конфиг: "

tb_step "the daemon is terminated and nothing stays changed"
tb_wait_for 5 grep -q "amneziawg-go завершился" "$TB_HELPER_LOG" || tb_fail "the daemon was not terminated"
tb_expect_eq "$(pgrep -x amneziawg-go || true)" "" "daemon processes"
tb_expect_eq "$(tb_services_summary)" "$before" "network services"
tb_expect_lacks "$(ip -4 route show)" "$TB_SERVER_ADDRESS via" "host route"
tb_expect_eq "$(tb_status_field active)" false "status"
tb_figure "daemons left" "$(pgrep -xc amneziawg-go || true)"
