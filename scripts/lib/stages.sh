# The check stages that scripts/test and scripts/reliability-report share. Each stage writes its
# figures into the reliability/ folder of its own build directory, so that the report is always
# rebuilt from what a run measured. Sourced; expects $root and $jobs.

# The tests that run threads: queue, log writers, daemon watcher, tunnel operations, listener
# and dispatch.
tsan_filter='SerialQueue*:LogLineTest*:DaemonProcess*:TunnelStart*:TunnelTest*:*StartFailure*'
tsan_filter+=':HelperDelegate*:SharedService*:*SocketListener*:ListenerWithService*'
tsan_filter+=':UAPITransact*:ZorvikctlAgainstHelper*:KeyMaterial*'

# Builds one directory and runs its whole CTest suite.
suite() {
  local dir=$1
  shift
  echo "== $dir: configure and build"
  cmake -S "$root" -B "$root/$dir" "$@" >/dev/null
  cmake --build "$root/$dir" -j "$jobs"
  echo "== $dir: test"
  ctest --test-dir "$root/$dir" --output-on-failure -j "$jobs"
}

# The threaded tests under ThreadSanitizer; figures in build-tsan/reliability/tsan.json.
tsan_stage() {
  local build=$root/build-tsan
  local figures=$build/reliability
  echo "== build-tsan: configure and build"
  cmake -S "$root" -B "$build" -DZORVIK_TSAN=ON >/dev/null
  cmake --build "$build" -j "$jobs" --target zorvik_tests
  echo "== build-tsan: threaded tests"
  mkdir -p "$figures"
  rm -f "$figures/tsan-tests.json"
  local status=0 started=$SECONDS
  TSAN_OPTIONS=halt_on_error=1:second_deadlock_stack=1 \
    "$build/zorvik_tests" --gtest_filter="$tsan_filter" --gtest_brief=1 \
    --gtest_output="json:$figures/tsan-tests.json" >"$build/tests.log" 2>&1 || status=$?
  local races
  races=$(grep -c '^WARNING: ThreadSanitizer' "$build/tests.log" || true)
  # A race halts the run before GoogleTest writes its report; then only the log counts.
  jq -n --argjson status "$status" --argjson races "$races" \
    --argjson seconds $((SECONDS - started)) --slurpfile report <(cat "$figures/tsan-tests.json" 2>/dev/null) '
    ($report[0] // {}) as $r
    | {section: "tsan", tests: ($r.tests // null), failures: ($r.failures // null),
       races: $races, seconds: $seconds,
       result: (if $status == 0 then "clean" elif $races > 0 then "race found"
                else "failed (exit \($status))" end)}' >"$figures/tsan.json"
  if [ "$status" -ne 0 ]; then
    tail -n 80 "$build/tests.log"
    echo "ThreadSanitizer stage failed; whole log in build-tsan/tests.log" >&2
    return 1
  fi
  echo "threaded tests clean under ThreadSanitizer ($(jq -r .tests "$figures/tsan.json") tests)"
}

# Every fuzz target for ZORVIK_FUZZ_SECONDS (60) each; figures in build-fuzz/reliability/fuzz/.
fuzz_stage() {
  local target
  for target in $("$root/scripts/fuzz" --list); do
    "$root/scripts/fuzz" "$target" "${ZORVIK_FUZZ_SECONDS:-60}"
  done
}
