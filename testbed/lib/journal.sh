# The call journal of the simulated macOS tools: one JSON array per call, the tool's path first,
# then every argument exactly as received, appended as one line to /run/testbed/journal.
# Calls the testbed makes itself to look at the state set TESTBED_NO_JOURNAL=1.
# A scenario makes one call fail by writing its exact record to /run/testbed/fail-once: the call
# is journaled, then exits 1 without acting, and the plan is used up. A record written to
# /run/testbed/hang-once makes that call hang instead: it never acts and never exits, and a child
# it started holds its standard output; /run/testbed/hung gets both pids.

TESTBED_JOURNAL=/run/testbed/journal
# Each journaled call also appends "tool<TAB>began<TAB>ended<TAB>record" to the timing file when it
# exits, in wall-clock seconds from this file's first look at the clock (scripts/bench reads it).
TESTBED_TIMING=/run/testbed/timing
TESTBED_CALL_BEGAN=$EPOCHREALTIME
TESTBED_FAIL_ONCE=/run/testbed/fail-once
TESTBED_HANG_ONCE=/run/testbed/hang-once

# Sets REPLY to $1 as a JSON string literal.
json_string() {
  local s=$1 out= c i
  s=${s//\\/\\\\}
  s=${s//\"/\\\"}
  s=${s//$'\n'/\\n}
  s=${s//$'\r'/\\r}
  s=${s//$'\t'/\\t}
  if [[ $s == *[$'\001'-$'\037']* ]]; then
    for ((i = 0; i < ${#s}; i++)); do
      c=${s:i:1}
      [[ $c == [$'\001'-$'\037'] ]] && printf -v c '\\u%04x' "'$c"
      out+=$c
    done
    s=$out
  fi
  REPLY="\"$s\""
}

# journal_call PATH ARG...: appends one record.
journal_call() {
  [ -n "${TESTBED_NO_JOURNAL:-}" ] && return 0
  local line= sep= arg
  for arg in "$@"; do
    json_string "$arg"
    line+=$sep$REPLY
    sep=,
  done
  # One write per record, so concurrent callers never interleave inside a line.
  printf '[%s]\n' "$line" >>"$TESTBED_JOURNAL"
  TESTBED_CALL_RECORD="[$line]"
  trap 'printf "tool\t%s\t%s\t%s\n" "$TESTBED_CALL_BEGAN" "$EPOCHREALTIME" "$TESTBED_CALL_RECORD" >>"$TESTBED_TIMING"' EXIT
  if [ -f "$TESTBED_FAIL_ONCE" ] && [ "[$line]" = "$(<"$TESTBED_FAIL_ONCE")" ]; then
    rm -f "$TESTBED_FAIL_ONCE"
    echo "$1: planned failure" >&2
    exit 1
  fi
  if [ -f "$TESTBED_HANG_ONCE" ] && [ "[$line]" = "$(<"$TESTBED_HANG_ONCE")" ]; then
    rm -f "$TESTBED_HANG_ONCE"
    sleep infinity &
    printf '%s %s\n' "$$" "$!" >/run/testbed/hung
    while :; do wait; sleep 1; done
  fi
}
