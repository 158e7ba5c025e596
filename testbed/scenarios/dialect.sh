# The daemon's current dialect, against the fake daemon, which judges a set request as the
# daemon does: Jmin above Jmax is refused before anything runs; a configuration with every
# obfuscation setting starts with each one sent in its fixed order, and status and stop answer.
# fault: Jmin above Jmax in the configuration
tb_network_up
tb_use_daemon fake
tb_start_helper FAKE_AWG_IFACE=utun FAKE_AWG_RECORD="$TB/uapi-requests" FAKE_AWG_RX_BYTES=4242
before=$(tb_services_summary)

tb_step "Jmin above Jmax: refused at once, nothing run"
tb_client_config extra=$'Jc = 4\nJmin = 70\nJmax = 40' >"$TB/jmin.conf"
tb_journal_reset
tb_start_fails "$TB/jmin.conf" "Jmin больше Jmax"
tb_expect_eq "$(tb_journal)" "" "tool journal"
tb_expect_eq "$(tb_helper_log)" "" "helper log (no daemon was started)"
tb_expect_eq "$(pgrep -x amneziawg-go || true)" "" "daemon processes"
[ ! -e "$TB/uapi-requests" ] || tb_fail "a UAPI request was sent"
tb_expect_eq "$(tb_services_summary)" "$before" "network services"

tb_step "every setting of the dialect, written in no particular order"
header_key=$(wg genkey)
settings='DisableCookies = true
i3 = <r 8>
RekeyTimeout = 5-10
S4 = 16
H3 = 300-399
RandomTrailers = false
I1 = <b 0xc700000001><r 16><t>
JMAX = 70
S3 = 32
MaxHandshakeAttempts = 20-40
H1 = 100-199
I5 = <t>
KeepaliveTimeout = 10
S2 = 0
Jc = 4
H4 = 400-499
RejectAfterTime = 180
I2 = <rc 4>
ContentPaddingAddition = 0-16
Jmin = 40
I4 = <c>
S1 = 15
H2 = 200-299
RekeyAfterTime = 120
HeaderProtectionKey = '$header_key
tb_client_config extra="$settings" | sed 's/^PersistentKeepalive = 25$/PersistentKeepalive = 20-30/' \
  >"$TB/dialect.conf"
grep -qx "PersistentKeepalive = 20-30" "$TB/dialect.conf" || tb_fail "no keepalive range in the configuration"
tb_expect_eq "$(tb_ctl start "$TB/dialect.conf")" "tunnel started" "zorvikctl start"

tb_step "the daemon got each setting in its fixed order, after the private key"
hex() { base64 -d <<<"$1" | od -An -v -tx1 | tr -d ' \n'; }
printf '%s\n' set=1 "private_key=$(hex "$TB_CLIENT_PRIVATE")" jc=4 jmin=40 jmax=70 s1=15 s2=0 \
  s3=32 s4=16 h1=100-199 h2=200-299 h3=300-399 h4=400-499 "i1=<b 0xc700000001><r 16><t>" \
  "i2=<rc 4>" "i3=<r 8>" "i4=<c>" "i5=<t>" "header_protection_key=$(hex "$header_key")" \
  content_padding_addition=0-16 rekey_after_time=120 rekey_timeout=5-10 reject_after_time=180 \
  keepalive_timeout=10 max_handshake_attempts=20-40 random_trailers=false disable_cookies=true \
  replace_peers=true "public_key=$(hex "$TB_SERVER_PUBLIC")" \
  "endpoint=$TB_SERVER_ADDRESS:$TB_SERVER_PORT" persistent_keepalive_interval=20-30 \
  replace_allowed_ips=true allowed_ip=0.0.0.0/0 "" >"$TB/expected-request"
{
  printf 'request %s\n' "$(wc -c <"$TB/expected-request")"
  cat "$TB/expected-request"
  printf '\n'
} >"$TB/expected-record"
cmp -s "$TB/uapi-requests" "$TB/expected-record" ||
  tb_expect_eq "$(<"$TB/uapi-requests")" "$(<"$TB/expected-record")" "the recorded set request"
tb_checked

tb_step "status and stop"
tb_expect_eq "$(tb_status_field active)" true "status"
tb_expect_eq "$(tb_status_field rx)" 4242 "received bytes (the daemon's peer)"
tb_expect_eq "$(tb_ctl stop)" "tunnel stopped" "zorvikctl stop"
tb_wait_for 5 grep -q "amneziawg-go завершился" "$TB_HELPER_LOG" || tb_fail "the daemon was not terminated"
tb_expect_eq "$(pgrep -x amneziawg-go || true)" "" "daemon processes"
tb_expect_eq "$(tb_services_summary)" "$before" "network services"
tb_expect_lacks "$(ip -4 route show)" "$TB_SERVER_ADDRESS via" "host route"
tb_expect_eq "$(tb_status_field active)" false "status after stop"
