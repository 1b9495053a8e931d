#!/usr/bin/env bash
# Runs the classic squid-axon membrane in Membrix and in the NEURON simulator
# in turn and prints the ratio of their run times and the differences of their
# first ten spike times (bench/compare_neuron.py says how).
#
#   bench/compare_neuron.sh [--baseline-cli OTHER] [--repeats N] [--dt MS] [--t-end-ms MS] [--refine]
#
# Builds build/membrix-cli in Release first, as ./run.sh does. NEURON comes
# from Debian's python3-neuron, installed with apt-get only when it is missing.
set -euo pipefail
cd "$(dirname "${BASH_SOURCE[0]}")/.."
source scripts/deps.sh

membrix_build_cli_for_comparison

# Debian's python, which sees Debian's NEURON whatever python comes first on PATH.
exec /usr/bin/python3 bench/compare_neuron.py --cli build/membrix-cli "$@"
