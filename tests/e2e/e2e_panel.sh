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
e2e_check_match "title names the host, the program and the screen width" \
    '^[A-Za-z0-9.-]+ \(Zorvane\) size= 1024$' "$(xdotool getwindowname "$panel")"
e2e_check_eq "client area place and size" "496,29 439x48" "$(xs_geometry "$panel")"
e2e_check_match "not resizable: minimum and maximum size are the client area" \
    'minimum size: 439 by 48.*maximum size: 439 by 48' "$(xprop -id "$panel" WM_NORMAL_HINTS | tr '\n' ' ')"
actions=$(xprop -id "$panel" _NET_WM_ALLOWED_ACTIONS)
e2e_check_match "window manager lets the panel be closed" '_NET_WM_ACTION_CLOSE' "$actions"
e2e_check_eq "window manager offers neither resize nor maximise" "" \
    "$(grep -oE '_NET_WM_ACTION_(RESIZE|MAXIMIZE_[A-Z]+)' <<<"$actions" | paste -sd' ')"
e2e_screenshot panel 470x90+480+0 >/dev/null
# The background picture shows through where no control covers it: the
# separator column between the left field and the slider.
e2e_check_eq "panel picture drawn at the client area" "9A8920" \
    "$(e2e_pixel_hex "$(e2e_screenshot screen)" $((496 + 247)) $((29 + 40)))"

# --- what a screen reader sees ---
tree=$(e2e_atspi --wait-for 'page.JPG') || e2e_abort "the page list could not be read: $tree"
e2e_check_eq "pages listed in reading order" "1.jpg 2.jpg 10.jpg page.JPG" "$(e2e_list_items "$tree")"
e2e_check_eq "name box shows the remembered page without its line end, no page selected" "name=2.jpg" \
    "$(e2e_panel_state | grep -E '^(name|selected)=')"

e2e_stop_program
e2e_check_file_bytes "current.txt holds the page name and CR LF" "$E2E_APP_DIR/current.txt" '2.jpg\r\n'
e2e_finish
