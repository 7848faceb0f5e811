# Sourced by the deps scripts: installs the Debian packages it is given, if
# any, as root or through sudo. APT_OPTIONS adds options to apt-get install.
install_missing() {
  [ $# -gt 0 ] || return 0
  echo "installing: $*"
  local sudo=""
  [ "$(id -u)" -eq 0 ] || sudo=sudo
  $sudo apt-get update -qq
  # shellcheck disable=SC2086 # APT_OPTIONS holds separate words
  DEBIAN_FRONTEND=noninteractive $sudo apt-get install -y -qq ${APT_OPTIONS:-} "$@"
}
