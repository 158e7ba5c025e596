# A tunnel held up until the run is interrupted; the leftover check stops it from outside.
# With a --keep DIR, "namespaces" and then "ready" appear there once everything is running.
tb_network_up
tb_start_helper
tb_expect_eq "$(tb_ctl start "$TB_CLIENT_CONFIG")" "tunnel started" "zorvikctl start"
tb_ping_server 1
if [ -d "$TB/keep" ]; then
  cp "$TB/namespaces" "$TB/keep/"
  : >"$TB/keep/ready"
fi
tb_step "tunnel up; holding until interrupted"
sleep 120
tb_fail "nobody interrupted the run within 120 s"
