# A daemon that names its interface but never makes a UAPI socket (the fake daemon): after the
# 8-second wait the start fails, the log lists the run directory, and the daemon is terminated.
# fault: daemon never makes its socket
tb_network_up
tb_use_daemon fake
tb_start_helper FAKE_AWG_NO_SOCKET=1 FAKE_AWG_IFACE=utun
before=$(tb_services_summary)

tb_step "start with a daemon that makes no socket (takes the full 8-second wait)"
tb_start_fails "$TB_CLIENT_CONFIG" "нет UAPI-сокета"

tb_step "the daemon is terminated and nothing stays changed"
tb_wait_for 5 grep -q "amneziawg-go завершился" "$TB_HELPER_LOG" || tb_fail "the daemon's exit was not logged"
tb_expect_eq "$(tb_helper_log_messages)" "запускаю $TB_HELPERS/amneziawg-go
amneziawg-go pid=N
utun=utun; ищу UAPI-сокет в /var/run/amneziawg
сокета нет. содержимое /var/run/amneziawg: [zorvik.name]  amneziawg-go жив=true
amneziawg-go завершился: код=0 reason=1" "helper log"
tb_expect_eq "$(tb_services_summary)" "$before" "network services"
tb_expect_eq "$(tb_journal)" "[\"/sbin/route\",\"-n\",\"get\",\"default\"]
[\"/sbin/route\",\"-q\",\"-n\",\"delete\",\"-inet\",\"$TB_SERVER_ADDRESS/32\",\"$TB_SERVER_ADDRESS\"]" "tool journal"
tb_expect_eq "$(tb_status_field active)" false "status"
