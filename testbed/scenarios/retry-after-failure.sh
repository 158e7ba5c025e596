# A start that fails after the daemon's launch (the daemon refuses a setting it does not know),
# then at once the client's retry, twenty times with both cores kept busy: every retry is told
# "tunnel started" only when the tunnel it started is up, stays up and carries traffic, and no
# new daemon finds the last one's interface still there. Figures: the retries that came up and
# stayed up, those told "started" while down, those that failed.
# fault: retry right after a failed start, machine loaded
tb_network_up
tb_start_helper
before=$(tb_services_summary)
# A split tunnel without DNS: few tool calls, so twenty rounds fit the scenario's time under load.
config=$TB/split.conf
refused=$TB/refused.conf
tb_client_config allowed=10.77.0.0/24 dns= >"$config"
tb_client_config allowed=10.77.0.0/24 dns= extra="Jc = 4" >"$refused"
rounds=20

tb_step "two spinning shells, ended by pid at the end"
spinners=()
for _ in 1 2; do
  (while :; do :; done) &
  spinners+=("$!")
done

tb_step "$rounds rounds: a start the daemon refuses, at once a retry that must come up"
up=0
lied=0
failed=0
for ((round = 1; round <= rounds; round++)); do
  status=0
  tb_ctl start "$refused" >"$TB/ctl.out" 2>"$TB/ctl.err" || status=$?
  if [ "$status" -ne 1 ] || [[ $(<"$TB/ctl.err") != *"UAPI отклонил конфиг"* ]]; then
    tb_note "round $round: the refused start said: $(<"$TB/ctl.out") $(<"$TB/ctl.err")"
  fi
  status=0
  tb_ctl start "$config" >"$TB/ctl.out" 2>"$TB/ctl.err" || status=$?
  if [ "$status" -ne 0 ]; then
    failed=$((failed + 1))
    tb_note "round $round: the retry failed: $(<"$TB/ctl.err")"
  else
    # A retry that configured the dying daemon is down within a moment, with its interface.
    sleep 0.5
    active=$(tb_status_field active)
    if [ "$active" = true ] && ! tb_no_utun &&
      ping -c 2 -i 0.2 -W 2 "$TB_SERVER_TUNNEL_ADDRESS" >/dev/null; then
      up=$((up + 1))
    else
      lied=$((lied + 1))
      tb_note "round $round: told \"tunnel started\", then down (status active: $active)"
    fi
  fi
  tb_ctl stop >/dev/null || tb_note "round $round: the stop failed"
done
kill "${spinners[@]}"
wait "${spinners[@]}" 2>/dev/null || true

busy=$(grep -c "resource busy" "$TB_DAEMON_LOG" 2>/dev/null || true)
tb_figure "retries up and staying up (of $rounds)" "$up"
tb_figure "retries told started while down" "$lied"
tb_figure "retries failed" "$failed"
tb_figure "daemons that found the interface busy" "${busy:-0}"
tb_expect_eq "$up" "$rounds" "retries up and staying up"
tb_expect_eq "${busy:-0}" 0 "daemons that found the interface busy"

tb_step "after the last stop: everything as before"
tb_expect_torn_down "$before"
