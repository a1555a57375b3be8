#!/usr/bin/env bash
# Lets a built Vesmar bind UDP ports 333 and 334. Ports below 1024 need the capability
# cap_net_bind_service on Linux; setcap gives it to this one binary file and
# nothing else. Usage: tools/grant-port.sh path/to/Vesmar
set -euo pipefail
binary=$(readlink -f "$1")
if getcap "$binary" 2>/dev/null | grep -q cap_net_bind_service; then
    exit 0
fi
if [ "$(id -u)" -eq 0 ]; then
    setcap cap_net_bind_service=+ep "$binary"
else
    echo "Vesmar listens on UDP ports 333 and 334, which needs the right to bind ports below 1024."
    echo "Granting it to $binary with: sudo setcap cap_net_bind_service=+ep $binary"
    sudo setcap cap_net_bind_service=+ep "$binary"
fi
