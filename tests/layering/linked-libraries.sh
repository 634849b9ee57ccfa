#!/bin/bash
# linked-libraries.sh LIBRARY --with EXECUTABLE... --without EXECUTABLE...
# Fails unless every executable after --with needs the shared LIBRARY and
# none after --without does (their NEEDED entries, as the loader reads them).
set -u
library=$1
shift
want=
failed=0
for arg in "$@"; do
    case $arg in
        --with) want=yes; continue ;;
        --without) want=no; continue ;;
    esac
    if readelf -d "$arg" | grep -q "NEEDED.*\[$library"; then has=yes; else has=no; fi
    if [ "$has" != "$want" ]; then
        echo "FAIL: $(basename "$arg") $([ "$want" = yes ] && echo "does not need" || echo "needs") $library"
        failed=1
    else
        echo "ok: $(basename "$arg") $([ "$has" = yes ] && echo "needs" || echo "does not need") $library"
    fi
done
exit $failed
