# User nobody runs a copy of zorvikctl that the helper does not admit, with a library that makes
# 2,000 connections one after another. Each is refused, but the system log gets at most one
# refusal a second in full and then one record with the count of the rest: every refusal is
# accounted for, in a bounded number of records.
# fault: a flood of refused connections
tb_start_helper
install -m 0755 "$TB_HELPERS/zorvikctl" /tmp/zorvikctl
records_before=$(wc -l <"$TB/helper.out")

tb_step "2,000 refused connections"
began=$EPOCHREALTIME
tb_abuse "$TB_NOBODY" /tmp/zorvikctl "connect 2000" >"$TB/connect.out"
seconds=$(tb_seconds_since "$began")
tb_figure "2,000 refused connections took (s)" "$seconds"
tb_expect_eq "$(<"$TB/connect.out")" "closed 2000" "connections the helper closed"

tb_step "every refusal is counted; the records are few"
# Refusals logged in full, plus the counts of those that were not.
accounted() {
  sed -n "$((records_before + 1)),\$p" "$TB/helper.out" | awk '
    /отклонено недоверенное подключение$/ { n++ }
    /ещё отклонено недоверенных подключений: / { n += $NF }
    END { print n + 0 }'
}
all_accounted() { [ "$(accounted)" -ge 2000 ]; }
tb_wait_for 5 all_accounted || true
records=$(($(wc -l <"$TB/helper.out") - records_before))
tb_figure "system log records for 2,000 refusals" "$records"
tb_expect_eq "$(accounted)" 2000 "refusals accounted for in the log"
bound=$(awk -v s="$seconds" 'BEGIN { printf "%d", 3 * (s + 2) }')
tb_expect_eq "$((records <= bound))" 1 "records ($records) at most 3 a second ($bound)"
tb_expect_eq "$(sed -n "$((records_before + 1)),$((records_before + 2))p" "$TB/helper.out")" \
  "daemon error: клиент не прошёл проверку подписи: -67050
daemon error: отклонено недоверенное подключение" "the first refusal's records"
tb_expect_eq "$(tb_ctl version)" 1 "root's version afterwards"
