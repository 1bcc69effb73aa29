#!/bin/sh
# Mark with Mouse in the running program, driven from outside inside a
# headless run (tools/run.sh --drive) on the scan opened at start-up: marks
# placed by clicks on the drawn scan are counted at once in the window's
# "Points and lines" field, and its Undo takes the last one back. Needs WINE,
# RUN (the run folder) from tools/run.sh.
set -u
cd "$RUN" || exit 1
status=0
CENTER=40009 MARK_WITH_MOUSE=40368 COUNT=1515 UNDO=4

probe() { "$WINE" probe/tolvaran_run_probe.exe "$@" | tr -d '\r'; }
fail() {
    echo "mark with mouse run: $*"
    status=1
}
# The field's text (the item command prints its enabled state first).
count() { probe item "$COUNT" "$COUNT" | sed -n 2p; }
# A posted click is handled after the probe's own messages: the field is
# given a few seconds to show it.
expect_count() {
    for _ in 1 2 3 4 5 6 7 8 9 10; do
        got=$(count)
        [ "$got" = "$1" ] && break
        sleep 0.5
    done
    echo "after $2: \"$got\""
    [ "$got" = "$1" ] || fail "the count reads \"$got\" after $2, expected $1"
}

probe command "$CENTER" || fail "Center did not answer"
probe command "$MARK_WITH_MOUSE" || fail "Mark with Mouse did not answer"
probe dialog "$COUNT" 30 >/dev/null || fail "no Mark with Mouse window"
expect_count 0 "switching it on"
# Two marks on the scan round the view's middle, where Center put it.
set -- $(probe viewrect)
x=$(($3 / 2)) y=$(($4 / 2))
probe view-click "$x" "$y" || fail "the view took no click"
expect_count 1 "the first mark"
probe view-click "$((x + 8))" "$((y + 8))" || fail "the view took no click"
expect_count 2 "the second mark"
probe click "$COUNT" "$UNDO" || fail "no Undo button"
expect_count 1 "Undo"
probe command "$MARK_WITH_MOUSE" || fail "Mark with Mouse did not answer"
probe closed "$COUNT" 10 || fail "the window stays after the mode is left"
exit $status
