#!/bin/bash
# Runs one scenario on the simulated Mac, as the first process of its PID namespace: when this
# script ends, everything started inside ends with it.
#   boot.sh SCENARIO [ARG...]
set -eEuo pipefail
. /run/testbed/lib/sandbox.sh

if [ $# -lt 1 ] || [ ! -f "/run/testbed/scenarios/$1.sh" ]; then
  echo "testbed: unknown scenario '${1:-}'; scenarios: $(cd /run/testbed/scenarios && ls | sed "s/\.sh$//" | tr "\n" " ")" >&2
  exit 2
fi
TB_SCENARIO=$1
shift
trap 'tb_on_error "${BASH_SOURCE[0]##*/}:$LINENO" "$BASH_COMMAND"' ERR
trap tb_finish EXIT
# A signal ends the run as failed: without these the exit trap would report the status of
# whichever command ran last, and a scenario cut short could print PASS.
trap 'exit 130' INT
trap 'exit 143' TERM
trap 'exit 129' HUP
tb_begin
. "/run/testbed/scenarios/$TB_SCENARIO.sh" "$@"
