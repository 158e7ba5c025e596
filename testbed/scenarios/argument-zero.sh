# The helper started with a relative argument zero from a directory that holds a planted
# amneziawg-go: the daemon it runs is the one beside its own executable, never the planted one.
# fault: relative argument zero, planted daemon
tb_network_up

tb_step "a planted amneziawg-go in the working directory"
planted=/tmp/planted
mkdir -p "$planted"
printf '#!/bin/sh\ntouch %s/ran\nexit 1\n' "$planted" >"$planted/amneziawg-go"
chmod 0755 "$planted/amneziawg-go"

tb_step "zorvik-helper started from there as \"zorvik-helper\""
(cd "$planted" && exec env -i PATH=/usr/sbin:/usr/bin:/sbin:/bin \
  bash -c 'exec -a zorvik-helper "$0"' "$TB_HELPERS/zorvik-helper" </dev/null >>"$TB/helper.out" 2>&1) &
TB_HELPER_PID=$!
tb_wait_for 5 test -S "$TB_HELPER_SOCKET" || tb_fail "the helper opened no socket: $(tail -n 5 "$TB/helper.out")"
tb_expect_eq "$(tr '\0' ' ' <"/proc/$TB_HELPER_PID/cmdline")" "zorvik-helper " "argument zero"

tb_step "zorvikctl start and stop"
tb_expect_eq "$(tb_ctl start "$TB_CLIENT_CONFIG")" "tunnel started" "zorvikctl start"
tb_expect_contains "$(tb_helper_log)" "запускаю $TB_HELPERS/amneziawg-go" "daemon path"
tb_expect_eq "$(tb_ctl stop)" "tunnel stopped" "zorvikctl stop"
[ ! -e "$planted/ran" ] || tb_fail "the planted amneziawg-go was run"
