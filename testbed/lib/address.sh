# Address checks of the simulated macOS tools (route, ifconfig), sourced by them.

valid_ipv4() {
  local IFS=. octet
  [[ $1 =~ ^[0-9]{1,3}\.[0-9]{1,3}\.[0-9]{1,3}\.[0-9]{1,3}$ ]] || return 1
  for octet in $1; do ((10#$octet <= 255)) || return 1; done
}

# Sets REPLY to the eight 16-bit groups of IPv6 address $1 as blank-separated decimals; fails for
# text that is not a plain IPv6 address (no zone, no embedded IPv4: the helper writes neither).
ipv6_groups() {
  local text=$1 group fill=0 left=() right=() out=()
  [[ $text =~ ^[0-9A-Fa-f:]{2,39}$ && $text != *:::* ]] || return 1
  [[ $text == :* && $text != ::* ]] && return 1
  [[ $text == *: && $text != *:: ]] && return 1
  if [[ $text == *::* ]]; then
    [[ ${text#*::} != *::* ]] || return 1
    IFS=: read -ra left <<<"${text%%::*}"
    IFS=: read -ra right <<<"${text#*::}"
    fill=$((8 - ${#left[@]} - ${#right[@]}))
    ((fill >= 1)) || return 1
  else
    IFS=: read -ra left <<<"$text"
    ((${#left[@]} == 8)) || return 1
  fi
  for group in "${left[@]}"; do
    [[ $group =~ ^[0-9A-Fa-f]{1,4}$ ]] || return 1
    out+=($((16#$group)))
  done
  for (( ; fill > 0; fill--)); do out+=(0); done
  for group in "${right[@]}"; do
    [[ $group =~ ^[0-9A-Fa-f]{1,4}$ ]] || return 1
    out+=($((16#$group)))
  done
  REPLY="${out[*]}"
}
