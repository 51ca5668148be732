# Sourced by the fetch scripts: an apt configuration of their own in a folder
# under deps/, for Debian's packages the machine's apt sources do not list
# (source packages, other architectures' builds), so those sources and dpkg's
# set-up stay as they are. apt checks each file it fetches against the signed
# index, as for any other package.
#
#   private_apt FOLDER TYPE [ARCHITECTURE...]
# writes FOLDER/private.sources for TYPE ("deb" or "deb-src") from the
# machine's own mirror and release, sets the array APT to an apt-get command
# line that uses it (and, for binary packages, the architectures given), and
# fetches the index.
private_apt() {
  local folder=$1 type=$2
  shift 2
  . /etc/os-release
  # From the machine's sources themselves (no release files needed): a fresh
  # machine may have none yet.
  local mirror
  mirror=$(apt-get indextargets --no-release-info --format '$(REPO_URI)' 'Identifier: Packages' \
    "Release: $VERSION_CODENAME" | sed -n 1p)
  if [ -z "$mirror" ]; then
    echo "no apt source for $VERSION_CODENAME to fetch from" >&2
    return 1
  fi
  rm -rf "$folder"
  mkdir -p "$folder/lists/partial"
  cat > "$folder/private.sources" <<SOURCES
Types: $type
URIs: $mirror
Suites: $VERSION_CODENAME
Components: main
Signed-By: /usr/share/keyrings/debian-archive-keyring.gpg
SOURCES
  APT=(apt-get -q -o "Dir::Etc::SourceList=/dev/null" -o "Dir::Etc::SourceParts=$folder"
       -o "Dir::State::Lists=$folder/lists" -o "APT::Sandbox::User=$(id -un)")
  if [ $# -gt 0 ]; then
    APT+=(-o "APT::Architecture=$1" -o "APT::Architectures::=")
    local architecture
    for architecture in "$@"; do
      APT+=(-o "APT::Architectures::=$architecture")
    done
  fi
  echo "Fetching Debian's package index ($type $*) from $mirror"
  "${APT[@]}" update > /dev/null
}
