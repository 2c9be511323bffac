#!/usr/bin/env bash
# Draws the charts README.md shows: bash docs/charts.sh [PROGRAM [FOLDER]], with
# the program the README's run command builds and this folder by default.
set -euo pipefail
program=${1:-build/program/app/mech-heat}
folder=${2:-$(dirname "${BASH_SOURCE[0]}")}
"$program" --runs 200000 --seed 42 --turns 12 --heatsinks 12 --svg "$folder/batch.svg" >/dev/null
"$program" --runs 100000 --seed 42 --heatsinks 8..40/2 --heatsink-type single,double \
  --max-overheat 20% --svg "$folder/sweep.svg" >/dev/null
