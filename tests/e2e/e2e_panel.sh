#!/usr/bin/env bash
# The control panel as a user meets it: started in a folder of scans with a
# remembered page, it shows its fixed strip with the right title, lists the
# pages in reading order, shows the remembered name, and writes the name back
# when the window manager closes it.

source "$(dirname "$0")/lib.sh"
e2e_init "$@"

e2e_start_x
e2e_add_pages 1.jpg 2.jpg 10.jpg page.JPG
printf '2.jpg\r\n' >"$E2E_APP_DIR/current.txt"
e2e_start_program

# --- what X sees ---
title=$(xdotool getwindowname "$panel")
e2e_check_match "title names the host, the program and the screen width" \
    '^[A-Za-z0-9.-]+ \(Zorvane\) size= 1024$' "$title"

e2e_check_eq "client area place and size" "496,29 439x48" "$(xs_geometry "$panel")"

hints=$(xprop -id "$panel" WM_NORMAL_HINTS)
min=$(sed -n 's/.*minimum size: \([0-9]* by [0-9]*\).*/\1/p' <<<"$hints")
max=$(sed -n 's/.*maximum size: \([0-9]* by [0-9]*\).*/\1/p' <<<"$hints")
e2e_check_eq "not resizable: minimum and maximum size are the client area" "439 by 48, 439 by 48" "$min, $max"
actions=$(xprop -id "$panel" _NET_WM_ALLOWED_ACTIONS)
e2e_check_match "window manager lets the panel be closed" '_NET_WM_ACTION_CLOSE' "$actions"
e2e_check_eq "window manager offers neither resize nor maximise" "" \
    "$(grep -oE '_NET_WM_ACTION_(RESIZE|MAXIMIZE_[A-Z]+)' <<<"$actions" | paste -sd' ')"

shot=$(e2e_screenshot panel 470x90+480+0)
e2e_log "panel screenshot: $shot"
full=$(e2e_screenshot screen)
# The background picture shows through where no control covers it: the
# separator column between the left field and the slider.
e2e_check_eq "panel picture drawn at the client area" "9A8920" "$(e2e_pixel_hex "$full" $((496 + 247)) $((29 + 40)))"

# --- what a screen reader sees ---
tree=$(e2e_atspi --wait-for 'page.JPG') || {
    echo "$tree"
    e2e_abort "the page list could not be read through the accessibility bus"
}
printf '%s\n' "$tree" >"$E2E_OUT/${E2E_NAME}_accessible.txt"
items=$(awk -F' \\| ' '$1 ~ /^ *list item$/ { print $2 }' <<<"$tree" | paste -sd' ')
e2e_check_eq "pages listed in reading order" "1.jpg 2.jpg 10.jpg page.JPG" "$items"
texts=$(awk -F' \\| ' '$1 ~ /^ *(text|entry)$/ && $4 ~ /editable/ { print $3 }' <<<"$tree")
e2e_check_eq "name box shows the remembered page without its line end" "2.jpg" "$texts"
selected=$(awk -F' \\| ' '$1 ~ /^ *list item$/ && $4 ~ /(^|,)selected(,|$)/ { print $2 }' <<<"$tree")
e2e_check_eq "no page selected at start-up" "" "$selected"

# --- closing as the window manager does ---
e2e_stop_program
e2e_check_file_bytes "current.txt holds the page name and CR LF" "$E2E_APP_DIR/current.txt" '2.jpg\r\n'

e2e_finish
