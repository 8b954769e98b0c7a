#!/usr/bin/env bash
# Runs one Windows test executable under Wine and prints its output with Unix line ends.
set -uo pipefail
mkdir -p "${QM_ARTIFACTS:-/tmp}"
wine "$@" 2>&1 | tr -d '\r'
exit "${PIPESTATUS[0]}"
