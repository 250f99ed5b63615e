#!/bin/sh
# Extraction of a UDF volume against 7z x, in the same run: the extract
# benchmark on a UDF bridge of its tree.
#   bench/extract_udf_vs_7z.sh [BUILD_DIR] [SIZE_MB] [ROUNDS]
exec "$(dirname "$0")/extract_vs_7z.sh" "${1:-build}" "${2:-300}" "${3:-3}" udf
