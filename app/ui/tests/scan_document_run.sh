#!/bin/sh
# A scan's history through the running program on the scanner simulator,
# driven from outside inside a headless run (tools/run.sh --drive) with the
# scenario tests/data/scan_document.scenario: a manual correction goes into
# the loaded calibration file, the live scan saved after it carries its
# creator, its edit entries and that correction, and the scan after New
# gets a viewpoint of its own. Needs WINE, RUN (the run folder) from
# tools/run.sh.
set -u
cd "$RUN" || exit 1
status=0
IDOK=1 MANUAL_TWEAK=40166 NEW=40052 TOP_LINE=1312

probe() { "$WINE" probe/tolvaran_run_probe.exe "$@" | tr -d '\r'; }
fail() {
    echo "scan document run: $*"
    status=1
}
# Texts are printed with printf: echo would take a path's backslashes for escapes.
field() { printf '%s\n' "$1" | sed -n "s/^$2: //p"; }
has() { printf '%s\n' "$1" | grep -q "$2"; }

# Manual Tweak with the scanner on: the calibration in use takes the record.
probe sim-reached tweak 90 || fail "the simulator did not reach the correction"
probe post-command "$MANUAL_TWEAK"
probe dialog "$TOP_LINE" 30 >/dev/null || fail "no Manual Tweak window"
probe click "$TOP_LINE" "$IDOK"
probe answer "$IDOK" 30 || fail "Manual Tweak did not end with its one box"
newest=$(probe lut-tweak Simulated.cfg | sed -n 's/^newest: .*date "\(.*\)"$/\1/p')
[ -n "$newest" ] || fail "the calibration file holds no new record"
echo "calibration's newest correction: $newest"

# The first scan, saved: its creator, its save entry and the correction.
# Under Wine on a display without a window manager the program's thread is
# held for about a second after a window closes (the X driver waits for a
# manager to take the window away): a press that started then would find the
# program behind the stream and lose fields to the full ring. The press waits
# until the program answers a message again.
probe repaint 0 || fail "the program does not answer"
probe sim-go tweak
probe sim-reached first 90 || fail "the first press did not end"
probe save-as first.tvn 60 || fail "the first scan was not saved"
first=$(probe scan-file first.tvn)
printf '%s\n' "$first"
[ "$(field "$first" creator)" = "New Scan by Tolvaran 4.0.7" ] || fail "the live scan has no creator entry"
has "$first" '^edit: Saved file as .*\\first\.tvn$' || fail "the live scan has no save entry"
has "$first" "^correction: 0 $newest\$" || fail "the scan lacks the calibration's newest correction"
[ "$(field "$first" profiles)" -gt 0 ] 2>/dev/null || fail "the first scan has no profiles"

# New, and the second scan from the side: a creator of its own and the
# automatic viewpoint set again.
probe command "$NEW" || fail "New did not answer"
probe sim-go first
probe sim-reached second 90 || fail "the second press did not end"
probe save-as second.tvn 60 || fail "the second scan was not saved"
second=$(probe scan-file second.tvn)
printf '%s\n' "$second"
[ "$(field "$second" creator)" = "New Scan by Tolvaran 4.0.7" ] || fail "the scan after New has no creator entry"
[ "$(printf '%s\n' "$second" | grep -c '^edit: ')" -eq 1 ] || fail "the scan after New carries the first scan's history"
[ "$(field "$first" view)" != "$(field "$second" view)" ] || fail "the scan after New kept the first scan's viewpoint"
probe sim-go second
exit $status
