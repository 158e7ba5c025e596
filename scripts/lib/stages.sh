# The check stages that scripts/test and scripts/reliability-report share. Each stage writes its
# figures into the reliability/ folder of its own build directory, so that the report is always
# rebuilt from what a run measured. Sourced; expects $root and $jobs.

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

# The tests CTest labels "threaded", under ThreadSanitizer; figures in build-tsan/reliability/tsan.json.
tsan_stage() {
  local build=$root/build-tsan
  local figures=$build/reliability
  echo "== build-tsan: configure and build"
  cmake -S "$root" -B "$build" -DZORVIK_TSAN=ON >/dev/null
  cmake --build "$build" -j "$jobs" --target zorvik_threaded_tests
  echo "== build-tsan: threaded tests"
  mkdir -p "$figures"
  rm -f "$figures"/tsan-report.*
  local status=0 started=$SECONDS
  TSAN_OPTIONS=halt_on_error=1:second_deadlock_stack=1:log_path=$figures/tsan-report \
    ctest --test-dir "$build" -L threaded -j "$jobs" --output-on-failure >"$build/tests.log" 2>&1 ||
    status=$?
  local races summary tests failures
  races=$(cat "$figures"/tsan-report.* 2>/dev/null | grep -c '^WARNING: ThreadSanitizer' || true)
  # "100% tests passed, 0 tests failed out of 97"
  summary=$(grep -E 'tests passed, [0-9]+ tests? failed out of [0-9]+' "$build/tests.log" | tail -n 1)
  tests=$(sed -nE 's/.* out of ([0-9]+).*/\1/p' <<<"$summary")
  failures=$(sed -nE 's/.*, ([0-9]+) tests? failed.*/\1/p' <<<"$summary")
  jq -n --argjson status "$status" --argjson races "$races" --argjson seconds $((SECONDS - started)) \
    --arg tests "$tests" --arg failures "$failures" '
    {section: "tsan", tests: ($tests | tonumber? // null), failures: ($failures | tonumber? // null),
     races: $races, seconds: $seconds,
     result: (if $status == 0 and $races == 0 then "clean" elif $races > 0 then "race found"
              else "failed (exit \($status))" end)}' >"$figures/tsan.json"
  if [ "$status" -ne 0 ] || [ "$races" -ne 0 ]; then
    tail -n 80 "$build/tests.log"
    cat "$figures"/tsan-report.* 2>/dev/null | head -n 80
    echo "ThreadSanitizer stage failed; whole log in build-tsan/tests.log" >&2
    return 1
  fi
  echo "threaded tests clean under ThreadSanitizer ($tests tests)"
}

# Every fuzz target for ZORVIK_FUZZ_SECONDS (60) each; figures in build-fuzz/reliability/fuzz/.
fuzz_stage() {
  local target
  for target in $("$root/scripts/fuzz" --list); do
    "$root/scripts/fuzz" "$target" "${ZORVIK_FUZZ_SECONDS:-60}"
  done
}
