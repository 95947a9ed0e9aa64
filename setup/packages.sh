# Sourced by build-and-run and build-and-test. need COMMAND_OR_FILE PACKAGE
# notes a Debian package to install unless the command or file is there;
# install_needed installs those noted, with apt-get (through sudo when not
# root), or names them and stops where there is no apt-get.
needed=()
need() {
    if [[ $1 == /* ]]; then [ -e "$1" ] && return; else command -v "$1" >/dev/null && return; fi
    needed+=("$2")
}

install_needed() {
    [ ${#needed[@]} -eq 0 ] && return
    if ! command -v apt-get >/dev/null; then
        echo "Install these first, by your system's names for them: ${needed[*]}" >&2
        echo "(a C++17 compiler, CMake, the xxHash header; for the tests GoogleTest, tmux, xxhash, strace, xfsprogs, e2fsprogs)" >&2
        exit 1
    fi
    local sudo=
    [ "$(id -u)" = 0 ] || sudo=sudo
    echo "Installing: ${needed[*]}"
    $sudo apt-get update -q && DEBIAN_FRONTEND=noninteractive $sudo apt-get install -y -q --no-install-recommends "${needed[@]}"
}

# What the program's build needs.
need_build() {
    need g++ g++
    need cmake cmake
    need make make
    need /usr/include/xxhash.h libxxhash-dev
}
