# Only the zorvikctl beside the helper is served: the same program run from another place, or
# from a copy that others may write, is refused before anything is read, and the refusal logged.
tb_start_helper

tb_step "the zorvikctl beside the helper is served"
tb_expect_eq "$(tb_ctl version)" 1 "version from the installed zorvikctl"

tb_step "a copy elsewhere is refused"
install -m 0755 "$TB_HELPERS/zorvikctl" /tmp/zorvikctl
status=0
/tmp/zorvikctl version >/dev/null 2>"$TB/ctl.err" || status=$?
tb_expect_eq "$status" 2 "exit status of the copy (stderr: $(<"$TB/ctl.err"))"
tb_expect_contains "$(<"$TB/ctl.err")" "closed the connection" "the copy's error"

tb_step "the installed one, once writable by others, is refused too"
# More than a second after the first refusal: within one, the helper would count this one
# rather than log it in full (refusal-flood).
sleep 1.1
chmod 0757 "$TB_HELPERS/zorvikctl"
status=0
tb_ctl version >/dev/null 2>"$TB/ctl.err" || status=$?
tb_expect_eq "$status" 2 "exit status of a world-writable zorvikctl"
chmod 0755 "$TB_HELPERS/zorvikctl"
tb_expect_eq "$(tb_ctl version)" 1 "version once the mode is back"

tb_expect_eq "$(<"$TB/helper.out")" "daemon info: zorvik-helper запускается
daemon info: XPC-соединение закрыто
daemon error: клиент не прошёл проверку подписи: -67050
daemon error: отклонено недоверенное подключение
daemon error: клиент не прошёл проверку подписи: -67050
daemon error: отклонено недоверенное подключение
daemon info: XPC-соединение закрыто" "the helper's system log"
