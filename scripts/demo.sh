#!/usr/bin/env bash
# The demo: boots QEMU + OVMF's UEFI Shell, puts something on the screen,
# runs the command once and copies the capture (and a PNG of it) to out/;
# with --hotkey, loads the hotkey driver beside it and captures the shell and
# the front page; with --forms, walks every settings form with the forms tool;
# with --stick IMAGE, boots the stick from the firmware's menu (and with
# --forms too, answers its launcher with F, the walk from the stick).
#   scripts/demo.sh [build/vistrel.efi] [--rtc 2024-01-15T10:30:45] [--gui]
#                   [--hotkey | --stick IMAGE [--forms] | --forms] [--arch x64|aa64|ia32] [--out DIR]
# `make run` passes RTC=..., GUI=1, HOTKEY=1, STICK=1, FORMS=1, ARCH=... and OUT=... through.
set -euo pipefail
EFI=build/vistrel.efi
if [ $# -gt 0 ] && [ "${1#--}" = "$1" ]; then
  EFI=$1
  shift
fi
exec /usr/bin/python3 "$(dirname "$0")/demo.py" "$EFI" "$@"
