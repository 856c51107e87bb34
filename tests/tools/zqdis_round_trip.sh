#!/bin/sh
# The randomized round trip through zqdis: generated programs of every bundled chip, plain
# and banked, assembled, read back (as .OBJ and as Intel HEX), assembled again and compared
# word for word, for SECONDS (default 180) from SEED (default: a new one, printed; the same
# seed replays the same programs). BUILD is a configured build tree (default build).
# Ends with "N passed, M failed" and status 1 when any failed.
set -eu
build=${1:-build}
seconds=${2:-180}
cmake --build "$build" --target zqdis_round_trip -j "${JOBS:-2}" >/dev/null
exec "$build/tests/zqdis_round_trip" "$seconds" ${3:+"$3"}
