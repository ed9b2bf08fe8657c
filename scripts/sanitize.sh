#!/usr/bin/env bash
# Builds the project with ThreadSanitizer (build-tsan) and AddressSanitizer +
# UndefinedBehaviorSanitizer (build-asan) and runs the component tests and
# the engine's stage thread test under each. Extra arguments go to every test
# program (e.g. --gtest_filter=...).
set -euo pipefail
cd "$(dirname "$0")/.."

# ThreadSanitizer needs the classic address-space layout on kernels with
# high mmap randomisation; setarch -R gives it where available.
norandom=()
if command -v setarch >/dev/null && setarch "$(uname -m)" -R true 2>/dev/null; then
  norandom=(setarch "$(uname -m)" -R)
fi

status=0
for kind in thread address; do
  if [[ $kind == thread ]]; then dir=build-tsan; else dir=build-asan; fi
  echo "== $kind sanitizer ($dir)"
  cmake -S . -B "$dir" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DFENNICK_SANITIZE=$kind >/dev/null
  cmake --build "$dir" --target $(cd tests && ls component_*_test.cpp | sed 's/\.cpp$//' | tr '\n' ' ') \
    stage_threads_test >/dev/null
  for test in "$dir"/bin/component_*_test "$dir"/bin/stage_threads_test; do
    echo "-- $(basename "$test")"
    if [[ $kind == thread ]]; then
      env TSAN_OPTIONS="halt_on_error=1 second_deadlock_stack=1 suppressions=$PWD/scripts/tsan.supp ${TSAN_OPTIONS:-}" \
        "${norandom[@]}" "$test" --gtest_brief=1 "$@" || status=1
    else
      # LeakSanitizer's own tracer now and then crashes at exit on a stale
      # dynamic-TLS record of the codec libraries' dependencies ("Tracer
      # caught signal 11" ... "LeakSanitizer has encountered a fatal error"),
      # after every test passed and before any leak was looked for. That is
      # the sanitizer failing, not a finding: such a run is repeated, up to
      # twice. Any report of a fault fails as always.
      for attempt in 1 2 3; do
        log=$(mktemp)
        set +e
        env ASAN_OPTIONS="detect_leaks=1 ${ASAN_OPTIONS:-}" UBSAN_OPTIONS="print_stacktrace=1 halt_on_error=1" \
          "$test" --gtest_brief=1 "$@" 2>&1 | tee "$log"
        result=${PIPESTATUS[0]}
        set -e
        if ((result != 0)) && ((attempt < 3)) && grep -q "LeakSanitizer has encountered a fatal error" "$log" &&
          ! grep -q "ERROR: \(Address\|Leak\|UndefinedBehavior\)Sanitizer\|runtime error:\|FAILED" "$log"; then
          rm -f "$log"
          echo "(the leak checker itself failed at exit; running $(basename "$test") again)"
          continue
        fi
        rm -f "$log"
        ((result == 0)) || status=1
        break
      done
    fi
  done
done
exit $status
