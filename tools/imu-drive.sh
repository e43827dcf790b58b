# Driving the installer from outside, as a person would: clicks and keys with
# xdotool on a private Xvfb display, and what the windows show read with
# window-peek. Sourced by tools/demo and the end-to-end test.
#
# The programs run in Wine's virtual desktop, which draws the window frames
# and captions itself (there is no window manager), so Windows screen
# coordinates are X root coordinates and screenshots look as on Windows.
#
# Set before use: DRIVE_PEEK (path of window-peek.exe).

MAIN_TITLE='ARVELON - IMU Installer and maintenance utility'
BOX_TITLE='ARVELON IMU'
drive_xvfb_pid=""
drive_prefix=""  # the prefix this script made; only its wineserver is ended

# A display of our own: a person's display or another test's must not get
# the clicks. DRIVE_DISPLAYS="FIRST LAST" narrows the numbers tried.
drive_start_display() {
  local n
  for n in $(seq ${DRIVE_DISPLAYS:-201 260}); do [ -e "/tmp/.X11-unix/X$n" ] || [ -e "/tmp/.X$n-lock" ] || break; done
  setsid Xvfb ":$n" -screen 0 1280x1024x24 -nolisten tcp >/dev/null 2>&1 &
  drive_xvfb_pid=$!
  export DISPLAY=":$n"
  local _
  # Another script may have taken the same number a moment before.
  for _ in $(seq 50); do [ -e "/tmp/.X11-unix/X$n" ] && kill -0 "$drive_xvfb_pid" 2>/dev/null && return 0; sleep 0.1; done
  echo "Xvfb did not start on :$n"
  return 1
}

# A fresh prefix whose programs all open in one virtual desktop of 1280x1024.
# Wine's services are started away from our output pipes, which they would
# otherwise hold open.
drive_new_prefix() {
  export WINEPREFIX=$1 WINEDEBUG=-all
  drive_prefix=$1
  rm -rf "$WINEPREFIX"
  mkdir -p "$WINEPREFIX"
  setsid wineserver -p >/dev/null 2>&1
  wine wineboot -i >/dev/null 2>&1
  # The caption buttons are drawn with Marlett, which Wine finds only here.
  [ -f /usr/share/wine/fonts/marlett.ttf ] && cp /usr/share/wine/fonts/marlett.ttf "$WINEPREFIX/drive_c/windows/Fonts/"
  wine reg add 'HKCU\Software\Wine\Explorer' /v Desktop /d Default /f >/dev/null 2>&1
  wine reg add 'HKCU\Software\Wine\Explorer\Desktops' /v Default /d 1280x1024 /f >/dev/null 2>&1
  # The desktop setting takes effect when the services start again.
  wineserver -k 2>/dev/null
  wineserver -w 2>/dev/null
  setsid wineserver -p >/dev/null 2>&1
}

drive_stop() {
  [ -n "$drive_prefix" ] && { WINEPREFIX=$drive_prefix wineserver -k 2>/dev/null; WINEPREFIX=$drive_prefix wineserver -w 2>/dev/null; }
  drive_prefix=""
  [ -n "$drive_xvfb_pid" ] && kill "$drive_xvfb_pid" 2>/dev/null
  drive_xvfb_pid=""
drive_prefix=""  # the prefix this script made; only its wineserver is ended
}

peek() { wine "$DRIVE_PEEK" "$@" 2>/dev/null | tr -d '\r'; }

# wait_until SECONDS COMMAND...: polls until the command succeeds.
wait_until() {
  local deadline=$((SECONDS + $1))
  shift
  while ! "$@" >/dev/null; do
    ((SECONDS >= deadline)) && return 1
    sleep 0.3
  done
}

window_shown() { peek windows | awk -F'\t' -v t="$1" '$3 == t { found = 1 } END { exit !found }'; }
window_gone() { ! window_shown "$1"; }

# The rectangle "left top right bottom" of a shown top-level window.
window_rect() {
  peek windows | awk -F'\t' -v t="$1" '$3 == t { gsub(",", " ", $1); print $1; exit }'
}

# The client area's top-left corner of a window, "x y".
client_origin() { peek controls "$1" | awk -F'\t' 'NR == 1 { gsub(",", " ", $3); print $3 }'; }

# control_rect TITLE CLASS TEXT: "left top right bottom" of the first shown
# child of that class and text (the text with its line breaks as " | ").
control_rect() {
  peek controls "$1" | awk -F'\t' -v c="$2" -v t="$3" \
    'NR > 1 && $2 == c && $3 == 1 && $6 == t { gsub(",", " ", $5); print $5; found = 1; exit } END { exit !found }'
}
control_enabled() {
  peek controls "$1" | awk -F'\t' -v c="$2" -v t="$3" \
    'NR > 1 && $2 == c && $3 == 1 && $4 == 1 && $6 == t { found = 1 } END { exit !found }'
}
control_shown() { control_rect "$@" >/dev/null; }

# child_text TITLE CLASS WIDTH: the whole text of the child of that class and
# outer width, shown or not (the main window's memos differ in width).
child_text() {
  local index
  index=$(peek controls "$1" | awk -F'\t' -v c="$2" -v w="$3" \
    'NR > 1 && $2 == c { split($5, r, ","); if (r[3] - r[1] == w) { print $1; exit } }')
  [ -n "$index" ] && peek text "$1" "$index"
}
log_text() { child_text "$MAIN_TITLE" Edit 476; }     # the run's log
guide_text() { child_text "$MAIN_TITLE" Edit 701; }   # the driver guide's text
notes_text() { child_text "$MAIN_TITLE" RichEdit50W 718; }  # the release notes page
box_text() { peek controls "$BOX_TITLE" | awk -F'\t' 'NR > 1 && $2 == "Static" && $6 != "" { print $6 }'; }

click_at() { xdotool mousemove "$1" "$2" click 1; sleep 0.4; }
right_click_at() { xdotool mousemove "$1" "$2" click 3; sleep 0.6; }

# click_control TITLE CLASS TEXT: a left click in the middle of that control.
click_control() {
  local r
  r=$(control_rect "$@") || return 1
  set -- $r
  click_at $((($1 + $3) / 2)) $((($2 + $4) / 2))
}

# The pages' top-left corner: the drawn buttons of page 1 have no window.
page_origin() {
  peek controls "$MAIN_TITLE" | awk -F'\t' 'NR > 1 && $2 == "ImuContainer" { split($5, r, ","); print r[1], r[2]; exit }'
}
click_page_point() {  # click_page_point X Y, in page coordinates
  local o
  o=$(page_origin) || return 1
  set -- $o "$1" "$2"
  click_at $(($1 + $3)) $(($2 + $4))
}
click_new_install() { click_page_point 600 70; }  # "New Install", 520,30 161x80
click_update() { click_page_point 600 165; }      # "Update", 520,125 161x80
click_tab() {  # click_tab X: a tab caption at X pixels from the client's left
  local o
  o=$(client_origin "$MAIN_TITLE") || return 1
  set -- $o "$1"
  click_at $(($1 + $3)) $(($2 + 10))
}

# The close button at the right end of the window's caption bar.
click_close_box() {
  local r
  r=$(window_rect "$MAIN_TITLE") || return 1
  set -- $r
  click_at $(($3 - 14)) $(($2 + 13))
}

# shot FILE: the screen as a person sees it, cut to the shown windows.
shot() {
  local box
  box=$(peek windows | awk -F'\t' '{ split($1, r, ",");
      if (n++ == 0 || r[1] < l) l = r[1]; if (n == 1 || r[2] < t) t = r[2];
      if (n == 1 || r[3] > rr) rr = r[3]; if (n == 1 || r[4] > b) b = r[4] }
    END { if (l < 0) l = 0; if (t < 0) t = 0; if (rr > 1280) rr = 1280; if (b > 1024) b = 1024;
          if (n) printf "%dx%d+%d+%d", rr - l, b - t, l, t }')
  # Some windows (message boxes, menus, dialogs) read back black from the
  # root window but whole from their own X windows, so the picture is built
  # from each shown window's own contents, bottom to top.
  local desk layers=() id geometry n=0
  desk=$(xwininfo -root -tree 2>/dev/null | awk '/"Default - Wine desktop"/ { print $1; exit }')
  while read -r id geometry; do
    n=$((n + 1))
    xwd -id "$id" -silent 2>/dev/null | convert xwd:- "$1.layer$n.png" 2>/dev/null || continue
    layers=("$1.layer$n.png" -geometry "+${geometry#*+}" -composite "${layers[@]}")
  done < <([ -n "$desk" ] && xwininfo -id "$desk" -tree 2>/dev/null |
           awk '$1 ~ /^0x/ { for (i = 2; i <= NF; i++) if ($i ~ /^[0-9]+x[0-9]+[+-]/) { split($i, g, /[x+]/);
                 if (g[1] > 1 && g[2] > 1) print $1, $i; break } }')
  xwd -root -silent | convert xwd:- "${layers[@]}" "$1.tmp.png"
  rm -f "$1".layer*.png
  if [ -n "$box" ]; then
    convert "$1.tmp.png" -crop "$box" +repage "$1"
  else
    mv "$1.tmp.png" "$1"
  fi
  rm -f "$1.tmp.png"
}

# The flows. Each calls drive_step NAME at every step a person sees (the
# caller defines it: a screenshot, checks of its own) and returns 1 at the
# first step that did not come, with drive_failure saying which.
drive_failure=""
expect() {  # expect WHAT SECONDS COMMAND...
  local what=$1 seconds=$2
  shift 2
  wait_until "$seconds" "$@" && return 0
  drive_failure=$what
  return 1
}

# start_installer WINDOWS_PATH OUTPUT_FILE
start_installer() {
  setsid wine "$1" >>"$2" 2>&1 &
  expect "the installer's window appears" 30 window_shown "$MAIN_TITLE" || return 1
  sleep 1  # its first paint
}
close_installer() {
  click_close_box
  expect "the installer ends when its window is closed" 20 window_gone "$MAIN_TITLE"
}
# A click on the caption brings the main window above the others.
raise_installer() {
  local r
  r=$(window_rect "$MAIN_TITLE") || return 1
  set -- $r
  click_at $((($1 + $3) / 2)) $(($2 + 10))
}

log_has() { log_text | grep -qxF -- "$1"; }
notes_shown() { peek controls "$MAIN_TITLE" | awk -F'\t' '$2 == "RichEdit50W" && $3 == 1 { f = 1 } END { exit !f }'; }
log_shown() {
  peek controls "$MAIN_TITLE" | awk -F'\t' '$2 == "Edit" && $3 == 1 { split($5, r, ","); if (r[3] - r[1] == 476) f = 1 }
    END { exit !f }'
}

flow_terms() {
  expect "the terms page on the first start" 20 control_shown "$MAIN_TITLE" Button "Acknowledge and continue" || return 1
  drive_step terms
  local r
  r=$(peek controls "$MAIN_TITLE" | awk -F'\t' '$2 == "Edit" && $3 == 1 { gsub(",", " ", $5); print $5; exit }')
  set -- $r
  click_at $((($1 + $3) / 2)) $((($2 + $4) / 2))
  xdotool key ctrl+End
  expect "the acknowledge button is enabled once the terms are read" 5 \
    control_enabled "$MAIN_TITLE" Button "Acknowledge and continue" || return 1
  drive_step terms-read
  click_control "$MAIN_TITLE" Button "Acknowledge and continue"
  expect "page 1 after the acknowledgement" 5 log_shown || return 1
  drive_step install-page
}

GUIDE_FIRST_LINES=("Configuring ZADIG..."
  "You should have an open ZADIG application in front of you. Pictures below will show the exact steps to follow for the ZADIG configuration. Please follow these steps in ZADIG. When a step is done click on YES to perform the next step."
  "Please go to OPTIONS and check LIST ALL DEVICES."
  "Please OPEN the DEVICE LIST and search for a BULK-IN INTERFACE (INTERFACE 0) entry (or similar). Select this entry from the list."
  "Please check the USB ID of your selection. It must be 0BDA:2838:00. "
  "Check the selected driver is WINUSB (not libusb-xxx)"
  "You may close ZADIG now.")
# Called while a flow waits for the run; a caller may look at the window then.
drive_watch() { :; }
guide_at() { drive_watch; [ "$(guide_text | head -n 1)" = "$1" ] && control_shown "$MAIN_TITLE" Button YES; }

# The folder step: by default "OK" on the folder the browser opened on.
drive_choose_folder() { click_control "$MAIN_TITLE" Button OK; }

# The log's line that follows the folder selected in the browser.
folder_line() { log_text | sed -n 4p; }
folder_line_is() { [ "$(folder_line)" = "$1" ]; }
class_rect() {  # class_rect CLASS: "left top right bottom" of a shown top-level window of that class
  peek windows | awk -F'\t' -v c="$1" '$2 == c { gsub(",", " ", $1); print $1; f = 1; exit } END { exit !f }'
}
tree_root_point() {  # the first row of the folder tree, on its name
  local r
  r=$(peek controls "$MAIN_TITLE" | awk -F'\t' '$2 == "SysTreeView32" && $3 == 1 { gsub(",", " ", $5); print $5; exit }')
  [ -n "$r" ] || return 1
  set -- $r
  echo $(($1 + 60)) $(($2 + 10))
}

# choose_new_folder NAME: from the folder the browser opened on up to its
# drive, a new folder NAME there through the right-click menu and the
# folder-name dialog, that folder selected, then "OK".
drive_root_selected() { folder_line | grep -qx '[A-Z]:\\'; }
choose_new_folder() {
  local name=$1 drive point menu
  click_page_point 632 368  # "Go to parent folder", at 605,350, 55x36
  expect "the drive's root after \"Go to parent folder\"" 10 drive_root_selected || return 1
  drive=$(folder_line)
  point=$(tree_root_point) || { drive_failure="the folder tree"; return 1; }
  right_click_at $point
  expect "the folder tree's right-click menu" 10 class_rect "#32768" || return 1
  drive_step folder-menu
  menu=$(class_rect "#32768")
  set -- $menu
  click_at $(($1 + 25)) $(($2 + 10))  # its first item, "New"
  expect "the folder-name dialog after \"New\"" 10 window_shown "New or rename folder" || return 1
  xdotool type --delay 50 "$name"
  drive_step folder-name
  xdotool key Return
  expect "the dialog closes on Return" 10 window_gone "New or rename folder" || return 1
  # Typing a name in the tree selects the folder of that name.
  click_at $point
  xdotool type --delay 80 "$name"
  expect "the new folder $drive$name selected in the tree" 10 folder_line_is "$drive$name" || return 1
  drive_step folder-chosen
  click_control "$MAIN_TITLE" Button OK
}

flow_new_install() {
  click_new_install
  expect "the Windows version question after the probe" 30 \
    control_shown "$MAIN_TITLE" Button "Confirm Windows version" || return 1
  drive_step windows-version
  click_control "$MAIN_TITLE" Button "Confirm Windows version"
  expect "the folder browser" 15 control_shown "$MAIN_TITLE" Button OK || return 1
  sleep 0.5
  drive_step folder
  choose_new_folder "${NEW_FOLDER_NAME:-ARVELON}" || return 1
  local step
  for step in 1 2 3 4 5 6 7; do
    expect "step $step of the driver guide" 120 guide_at "${GUIDE_FIRST_LINES[step - 1]}" || return 1
    drive_step "guide-$step"
    click_control "$MAIN_TITLE" Button YES
  done
  expect "the decoder starts after the guide" 20 window_shown "arvelon - melqary" || return 1
  expect "the release notes page after the guide" 10 notes_shown || return 1
  raise_installer
  sleep 0.5
  drive_step release-notes
}

flow_update() {
  click_update
  expect "the folder browser of the update" 30 control_shown "$MAIN_TITLE" Button OK || return 1
  sleep 0.5
  drive_step update-folder
  drive_choose_folder || return 1
  if window_shown "arvelon - melqary"; then
    expect "the question to shut the running decoder down" 15 window_shown "$BOX_TITLE" || return 1
    sleep 1  # its first paint
    drive_step update-decoder-question
    click_control "$BOX_TITLE" Button OK
  fi
  expect "the release notes page after the update" 60 notes_shown || return 1
  expect "the log's one line after the update" 5 log_has "Update completed." || return 1
  sleep 0.5
  drive_step update-done
  click_tab 150  # "Install and Update"
  expect "the log page after the update" 5 log_shown || return 1
  drive_step update-log
}
