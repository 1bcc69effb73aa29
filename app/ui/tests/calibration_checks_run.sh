#!/bin/sh
# The alignment check and the calibration correction window on the scanner
# simulator, driven from outside as the user drives them, inside a headless
# run (tools/run.sh --drive). The scenario's waits hold the simulated clock
# while the user opens a window or reads a result, so that every press falls
# where the user expects it.
#
#   calibration_checks_run.sh alignment        factor near 0; both refusals
#   calibration_checks_run.sh alignment-drift  the second channel 4 counts off: a larger factor
#   calibration_checks_run.sh correction       two channels: computed, stored, a better scan after
#   calibration_checks_run.sh correction-one   one channel: through the confirmation
#
# Pictures of every window and box go into the run folder ($RUN), each
# checked by its pixels. Needs WINE, RUN (the run folder) from tools/run.sh.
set -u
KIND=$1
cd "$RUN" || exit 1
status=0
IDOK=1 IDYES=6 IDNO=7
SAVE_QUESTION=1280 ALIGNMENT_TEXT=1581 BOX_TEXT=65535
CORRECTION_STATUS=1610 COMPUTE=3 CONFIRM_OLD=1582 CONFIRM_NEW=1583 CONFIRM_APPLY=3

probe() { "$WINE" probe/tolvaran_run_probe.exe "$@" | tr -d '\r'; }
fail() {
    echo "calibration run: $*"
    status=1
}

# The picture of the open window holding the control, cut from the screen;
# a picture of fewer than 8 colours is blank.
shot() {
    rect=$(probe dialog "$1" 60 | sed -n 's/^rect //p')
    if [ -z "$rect" ]; then
        fail "no window with control $1 for $2"
        return 1
    fi
    # shellcheck disable=SC2086
    set -- "$2" $rect
    import -window root -crop "$4x$5+$2+$3" +repage "$RUN/$1.png"
    colours=$(identify -format '%k' "$RUN/$1.png" 2>/dev/null || echo 0)
    echo "picture $1.png: $colours colours"
    [ "$colours" -ge 8 ] || fail "$1.png is blank"
}

# Pixels of the sweep indicators' "done" green in a picture.
done_pixels() {
    convert "$RUN/$1.png" -fill black +opaque 'rgb(0,176,0)' -fill white -opaque 'rgb(0,176,0)' \
        -format '%[fx:round(mean*w*h)]' info:
}

# The program's saved settings record (Save Settings, then the registry's
# copy of it; the view's own record changes as the scan comes in).
settings() {
    probe command 40021 || fail "Save Settings did not answer"
    "$WINE" reg export 'HKCU\Software\Tolvaran\General' "$1.reg" /y >/dev/null 2>&1 || fail "no settings to export"
}

# A value of the exported settings, as the registry text holds it.
setting() { iconv -f UTF-16 -t UTF-8 "$1.reg" | tr -d '\r' | grep "^\"$2\"="; }

same_settings() {
    settings "$2"
    cmp -s "$1.reg" "$2.reg" || fail "the settings after $3 differ from before"
}

# The first number with two decimals in the text: the alignment factor.
factor_of() { echo "$1" | grep -o '[0-9][0-9]*\.[0-9][0-9]' | head -n 1; }

# One pass of the alignment check over the scenario's press; prints the factor.
alignment_pass() {
    settings before-check
    probe post-command 40082
    shot "$ALIGNMENT_TEXT" alignment_check_352
    # While the check runs: range clip 50000, angle clip 60, resolutions 0 and 100.
    settings during-check
    setting during-check RangeClip | grep -q '=dword:47435000$' || fail "the range clip is not lifted"
    setting during-check AngleClip | grep -q '=dword:42700000$' || fail "the angle clip is not 60"
    setting during-check RawResolutionClip | grep -q '=hex:00,00,00,00,00,00,c8,42$' ||
        fail "the resolutions are not 0 and 100"
    probe sim-go check || fail "the simulator did not go on"
    probe sim-reached scanned 90 || fail "the press did not end"
    probe click "$ALIGNMENT_TEXT" "$IDOK"
    shot "$BOX_TEXT" "alignment_check_result_$KIND"
    text=$(probe answer "$IDNO" 30 AlignmentCheckResult) || fail "the result box is not the one result box"
    echo "alignment result: $text"
    probe closed "$ALIGNMENT_TEXT" 30 || fail "the check did not end"
    same_settings before-check after-check "the alignment check"
    factor=$(factor_of "$text")
    [ -n "$factor" ] || fail "no factor in the result"
    echo "alignment factor: $factor"
}

# With the receiver as reference, both checks refuse with their one box and
# change neither the settings nor the calibration file.
refusals() {
    probe command 40098 || fail "Receiver is Reference did not answer"
    settings before-refusals
    sum=$(md5sum Simulated.cfg)
    for command in 40082:alignment_check 40100:calibration_correction; do
        probe post-command "${command%%:*}"
        shot "$BOX_TEXT" "${command#*:}_refused"
        text=$(probe answer "$IDOK" 30 StandardDialogSelectRef) || fail "${command#*:} not refused with its one box"
        echo "refusal: $text"
        # The menu item to choose, as the menu shows it.
        echo "$text" | grep -q '"Transmitter is Reference"' || fail "the refusal does not name the menu item"
        probe closed "$BOX_TEXT" 5 || fail "another box followed the refusal"
    done
    probe closed "$CORRECTION_STATUS" 1 || fail "the correction window opened"
    same_settings before-refusals after-refusals "the refusals"
    [ "$(md5sum Simulated.cfg)" = "$sum" ] || fail "a refusal changed the calibration file"
    probe command 40097 || fail "Transmitter is Reference did not answer"
}

# The run's listener has read every capture: the RMS distance of each
# capture's points from the scene, in order.
capture_distances() {
    for _ in $(seq 1 120); do
        grep -q 'listener: \(every check held\|not as expected\)' listener.log 2>/dev/null && break
        sleep 1
    done
    tr -d '\r' <listener.log | sed -n 's/^listener: RMS distance of each capture.*(mm)://p'
}

correction() {
    channels=$1 expected=$2
    probe sim-reached correction 90 || fail "the first scan did not end"
    probe post-command 40100
    shot "$SAVE_QUESTION" calibration_correction_save_prompt
    probe click "$SAVE_QUESTION" "$IDNO"
    shot "$CORRECTION_STATUS" calibration_correction_346_open
    [ "$(done_pixels calibration_correction_346_open)" -eq 0 ] || fail "sweeps shown done before any"
    probe item "$CORRECTION_STATUS" "$COMPUTE" | grep -q '^enabled 0' || fail "Compute enabled before eight sweeps"
    probe sim-go correction || fail "the simulator did not go on"
    probe sim-reached computed 120 || fail "the eight presses did not end"
    shot "$CORRECTION_STATUS" calibration_correction_346
    green=$(done_pixels calibration_correction_346)
    echo "sweep indicators: $green done pixels"
    # Eight indicators of 12 x 12 done pixels each.
    [ "$green" -ge $((8 * 100)) ] && [ "$green" -le $((8 * 144)) ] || fail "not eight sweeps shown done"
    probe item "$CORRECTION_STATUS" "$COMPUTE" | grep -q '^enabled 1' || fail "Compute not enabled at eight sweeps"
    sum=$(md5sum Simulated.cfg)
    probe click "$CORRECTION_STATUS" "$COMPUTE"
    if [ "$channels" = 2 ]; then
        shot "$BOX_TEXT" calibration_correction_result
        text=$(probe answer "$IDOK" 120 CalCheckCalFileUpdatedStatusMsg) || fail "not the one box of a stored correction"
        echo "correction result: $text"
    else
        shot "$CONFIRM_NEW" calibration_correction_354
        echo "confirmation: old RMS $(probe item "$CONFIRM_OLD" "$CONFIRM_OLD" | tail -n 1)," \
            "new RMS $(probe item "$CONFIRM_OLD" "$CONFIRM_NEW" | tail -n 1)"
        probe item "$CONFIRM_OLD" "$CONFIRM_APPLY" | grep -q '^enabled 1' || fail "the confirmation cannot be applied"
        probe click "$CONFIRM_OLD" "$CONFIRM_APPLY"
    fi
    probe closed "$CORRECTION_STATUS" 60 || fail "the correction window stayed open"
    [ "$(md5sum Simulated.cfg)" != "$sum" ] || fail "the calibration file was not rewritten"
    tweaks=$(probe lut-tweak Simulated.cfg)
    echo "$tweaks"
    echo "$tweaks" | grep -q "^newest: $expected old rms" || fail "the newest tweak is not \"$expected\""
    probe sim-go computed || fail "the simulator did not go on"
    distances=$(capture_distances)
    echo "RMS distance of each capture from the scene: $distances"
    # shellcheck disable=SC2086
    set -- $distances
    [ $# -eq 10 ] || fail "expected ten captures"
    eval "after=\${$#}"
    awk -v before="$1" -v after="$after" 'BEGIN { exit !(after < before / 3) }' ||
        fail "the scan after the correction lies no closer to the scene ($after mm) than before ($1 mm)"
}

case "$KIND" in
    alignment)
        alignment_pass
        awk -v f="$factor" 'BEGIN { exit !(f < 1) }' || fail "the factor without drift is not near 0"
        refusals
        ;;
    alignment-drift)
        alignment_pass
        awk -v f="$factor" 'BEGIN { exit !(f > 5) }' || fail "the factor with the drift is not larger"
        ;;
    correction) correction 2 "line 0.75 -1.25 count -3 4" ;;
    correction-one) correction 1 "line 0.75 0 count -3 0" ;;
    *) fail "unknown run $KIND" ;;
esac
exit $status
