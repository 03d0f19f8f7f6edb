#!/bin/sh
# Builds the Maven plugin offline, with the files it carries, and installs it into a Maven
# repository of the build tree: a copy of Debian's Maven repository (/usr/share/maven-repo,
# from the packages maven, libmaven-plugin-tools-java and the plugins'), since no other
# repository can be reached. The project's build (CMake) runs it:
#
#   build-plugin.sh <repository> <payload folder> <plugin build folder>
#                   <Linux packager> <Windows packager.exe> <launcher.exe> <runtime library jar>
#
# Maven's output goes to <plugin build folder>/build.log, shown when the build fails.
set -eu

[ $# -eq 7 ] || { echo "usage: build-plugin.sh <repository> <payload> <build folder> <packager> <packager.exe> <launcher.exe> <runtime jar>" >&2; exit 2; }
absolute() { case $1 in /*) printf '%s' "$1" ;; *) printf '%s/%s' "$(pwd)" "$1" ;; esac; }
repository=$(absolute "$1") payload=$(absolute "$2") build=$(absolute "$3")
here=$(cd "$(dirname "$0")" && pwd)
debian_repository=/usr/share/maven-repo

if [ ! -d "$debian_repository/org/apache/maven/plugins/maven-plugin-plugin" ]; then
    echo "build-plugin.sh: Debian's Maven plugin packages are missing (apt-get install maven libmaven-plugin-tools-java libmaven3-core-java libmaven-compiler-plugin-java libmaven-resources-plugin-java libmaven-jar-plugin-java libmaven-install-plugin-java libsurefire-java)" >&2
    exit 1
fi
# A copy with the files of Debian's links (relative links into /usr/share/java), so that
# nothing Maven writes there reaches the system's repository.
if [ ! -e "$repository/.copied" ]; then
    rm -rf "$repository"
    mkdir -p "$repository"
    cp -RL "$debian_repository/." "$repository/"
    touch "$repository/.copied"
fi

rm -rf "$payload"
mkdir -p "$payload/linux-x86_64" "$payload/windows-x64"
cp "$4" "$payload/linux-x86_64/packager"
cp "$5" "$payload/windows-x64/packager.exe"
cp "$6" "$payload/launcher.exe"
cp "$7" "$payload/launcher-runtime.jar"

mkdir -p "$build"
if ! mvn -o -B -Dmaven.repo.local="$repository" -Dpayload.directory="$payload" -Dplugin.buildDirectory="$build" \
        -DskipTests -f "$here/pom.xml" install >"$build/build.log" 2>&1; then
    cat "$build/build.log" >&2
    echo "build-plugin.sh: the Maven build of the plugin failed" >&2
    exit 1
fi
