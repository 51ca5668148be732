#!/usr/bin/env bash
# Signs a UEFI image (application or driver) for Secure Boot and checks the
# signature:
#   scripts/sign.sh KEY CERT IN.efi OUT.efi
# KEY is an unencrypted PEM private key, CERT its PEM certificate; the firmware
# starts OUT.efi once CERT (or a certificate above it) is in its db.
set -euo pipefail
if [ $# -ne 4 ]; then
  echo "usage: $0 KEY CERT IN.efi OUT.efi" >&2
  exit 2
fi
# sbsign may warn of gaps between gnu-efi's PE sections: harmless, the gaps
# are alignment padding and are hashed like the rest.
sbsign --key "$1" --cert "$2" --output "$4" "$3"
sbverify --cert "$2" "$4"
