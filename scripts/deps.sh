# Installs the Debian packages velm needs that are missing (sourced by scripts/test and scripts/serve).
velm_install_deps() {
  local want=(cmake g++ make pkg-config ccache googletest libgtest-dev libbenchmark-dev
    libjpeg62-turbo-dev libstb-dev libssl-dev libfreetype-dev libfontconfig-dev fonts-liberation2 fonts-ipafont-gothic fonts-ipafont-mincho
    lighttpd apache2 wrk python3 python3-feedparser python3-aiosmtpd python3-pil libxml2-utils curl openssl ca-certificates "$@")
  local missing=()
  for p in "${want[@]}"; do
    dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed' || missing+=("$p")
  done
  if [ ${#missing[@]} -gt 0 ]; then
    echo "installing: ${missing[*]}"
    local sudo=""
    [ "$(id -u)" = 0 ] || sudo="sudo"
    $sudo apt-get update -qq
    DEBIAN_FRONTEND=noninteractive $sudo apt-get install -y -qq "${missing[@]}" </dev/null
  fi
}
