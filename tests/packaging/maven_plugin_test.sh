#!/bin/sh
# The Maven plugin on the heartbeat example, built as a Maven project offline: `mvn package`
# lays out target/heartbeat/ (the launcher, lib/heartbeat.jar and, with wixl, the installer
# package) and attaches the launcher and the package; the launcher runs under Wine on the
# stand-in runtime with lib\heartbeat.jar on its class path, and `packager inspect` shows
# the class path it was built with. lib/ holds the runtime dependencies and no others, and
# no jar of an earlier build. Each way the goal refuses a build is one error line:
# no descriptor, a descriptor error (as the packager reports it), an unsupported build
# machine, no wixl, a class path or installer package without the jars of lib/; and
# -Dservice.skip builds nothing.
#
# usage: maven_plugin_test.sh <maven repository> <example folder> <packager> <stand-in dir>
#                             <wine-run.sh> <work dir>
set -eu

usage="usage: maven_plugin_test.sh <repository> <example> <packager> <stand-ins> <wine-run.sh> <work>"
repository=${1:?$usage}
example=${2:?$usage}
packager=${3:?$usage}
standins=${4:?$usage}
wine_run=${5:?$usage}
work=${6:?$usage}

. "$(dirname "$0")/../support/script_support.sh"

rm -rf "$work"
mkdir -p "$work"
cp -R "$example" "$work/heartbeat"
project=$work/heartbeat
layout=$project/target/heartbeat

# mvn package in the project, offline, its output in $work/mvn.txt; the exit code in rc.
# maven_env holds VAR=value words (without blanks) that Maven alone runs with.
rc=0
maven_env=
mvn_package() {
    rc=0
    # shellcheck disable=SC2086 # one word per variable
    (cd "$project" && env $maven_env mvn -o -B -Dstyle.color=never -Dmaven.repo.local="$repository" "$@" package) \
        </dev/null >"$work/mvn.txt" 2>&1 || rc=$?
}
# The one line Maven gives for the goal's failure, as the plugin said it.
failure_line() {
    sed -n 's/^\[ERROR\] Failed to execute goal com\.quill:quill-service-maven-plugin:[^ ]*:package (default) on project heartbeat: \(.*\) -> \[Help 1\]$/\1/p' \
        "$work/mvn.txt"
}
expect_failure() {
    name=$1
    expected=$2
    if [ "$rc" -eq 0 ]; then
        fail "$name: mvn package succeeded"
        return
    fi
    got=$(failure_line)
    if [ "$got" != "$expected" ]; then
        fail "$name: expected the line"
        echo "    $expected" >&2
        echo "  got:" >&2
        echo "    $got" >&2
    fi
}

# --- the example, with wixl --------------------------------------------------------------
mvn_package -Dservice.msi=true
if [ "$rc" -ne 0 ]; then
    cat "$work/mvn.txt" >&2
    echo "FAIL: mvn package of the example failed" >&2
    exit 1
fi
[ -f "$layout/heartbeat.exe" ] || fail "no launcher target/heartbeat/heartbeat.exe"
[ "$(cd "$layout/lib" && ls)" = "heartbeat.jar" ] || fail "lib/ does not hold just heartbeat.jar: $(ls "$layout/lib")"
[ -s "$layout/heartbeat.msi" ] || fail "no installer package target/heartbeat/heartbeat.msi"
grep -q '^\[INFO\] Installer package ' "$work/mvn.txt" || fail "the build does not name the installer package"
# msiinfo reads the package back: the jar of lib/ is in its File table.
if command -v msiinfo >/dev/null 2>&1; then
    msiinfo export "$layout/heartbeat.msi" File | grep -q 'heartbeat.jar' || fail "the package's File table lacks heartbeat.jar"
fi

# Attached with the classifier windows-x64: `install` puts both into the repository.
installed=$repository/com/example/heartbeat/1.0.0
rm -rf "$installed"
trap 'rm -rf "$installed"' EXIT
(cd "$project" && mvn -o -B -Dstyle.color=never -Dmaven.repo.local="$repository" -Dservice.msi=true install) \
    </dev/null >"$work/install.txt" 2>&1 || { cat "$work/install.txt" >&2; fail "mvn install of the example failed"; }
for file in heartbeat-1.0.0-windows-x64.exe heartbeat-1.0.0-windows-x64.msi; do
    cmp -s "$installed/$file" "$layout/heartbeat.${file##*.}" || fail "install did not publish the attached $file"
done

# --- inspect: the class path the plugin built ----------------------------------------------
"$packager" inspect "$layout/heartbeat.exe" --output "$work/inspected.toml" 2>/dev/null ||
    fail "packager inspect of the launcher failed"
sed -n '/^class_path = \[/,/^\]/p' "$work/inspected.toml" >"$work/class_path.txt"
printf 'class_path = [\n    { scan = "lib" },\n]\n' | cmp -s - "$work/class_path.txt" ||
    { fail "inspect shows another class path:"; cat "$work/class_path.txt" >&2; }

# --- the launcher under Wine, on the stand-in runtime ----------------------------------------
mkdir -p "$layout/jre/bin/server"
cp "$standins/java.exe" "$layout/jre/bin/java.exe"
cp "$standins/jvm.dll" "$layout/jre/bin/server/jvm.dll"
printf 'version_line=java version "1.8.0_66"\n' >"$layout/jre/bin/java.exe.cfg"
printf 'record=%s\nmain=return\n' "$(windows_path "$work")\\record.txt" >"$layout/jre/bin/server/jvm.dll.control"
launcher_rc=0
(cd "$layout" && "$wine_run" "$layout/heartbeat.exe" /run </dev/null >"$work/run-out.txt" 2>"$work/run-err.txt") ||
    launcher_rc=$?
[ "$launcher_rc" -eq 0 ] || { fail "heartbeat.exe /run exit code $launcher_rc"; cat "$work/run-err.txt" >&2; }
# The record escapes bytes as %XX; the class path names the jar in lib\ by its full path.
class_path=$(grep '^option -Djava.class.path=' "$work/record.txt" 2>/dev/null | perl -pe 's/%([0-9A-F]{2})/chr(hex($1))/ge')
lib_jar="$(windows_path "$layout/lib")\\heartbeat.jar"
case "$class_path" in
    *"$lib_jar"*) ;;
    *) fail "the launcher's class path lacks $lib_jar: $class_path" ;;
esac
grep -q '^element heartbeat.log$' "$work/record.txt" 2>/dev/null || fail "main did not get the descriptor's argument"
rm -rf "$layout/jre"

# --- dependencies: runtime ones in lib/, test and provided ones not; an old jar goes --------
cp "$project/pom.xml" "$work/pom.xml.example"
perl -0pi -e 's#  <build>#  <dependencies>
    <dependency><groupId>commons-cli</groupId><artifactId>commons-cli</artifactId><version>1.5.0</version></dependency>
    <dependency><groupId>commons-io</groupId><artifactId>commons-io</artifactId><version>2.11.0</version>
      <scope>runtime</scope></dependency>
    <dependency><groupId>junit</groupId><artifactId>junit</artifactId><version>4.13.2</version>
      <scope>test</scope></dependency>
    <dependency><groupId>org.apiguardian</groupId><artifactId>apiguardian-api</artifactId><version>1.1.2</version>
      <scope>provided</scope></dependency>
  </dependencies>
  <build>#' "$project/pom.xml"
printf 'old\n' >"$layout/lib/commons-cli-1.4.jar"
mvn_package
[ "$rc" -eq 0 ] || { fail "with dependencies: mvn package failed"; failure_line >&2; }
jars=$(cd "$layout/lib" && ls | tr '\n' ' ')
[ "$jars" = "commons-cli-1.5.0.jar commons-io-2.11.0.jar heartbeat.jar " ] ||
    fail "with dependencies, lib/ holds: $jars"
cp "$work/pom.xml.example" "$project/pom.xml"

# --- skipping ---------------------------------------------------------------------------------
rm -rf "$project/target"
mvn_package -Dservice.skip
[ "$rc" -eq 0 ] || fail "-Dservice.skip: mvn package failed"
grep -q 'Service launcher skipped (service.skip)' "$work/mvn.txt" || fail "-Dservice.skip: not said"
[ ! -e "$layout" ] || fail "-Dservice.skip: target/heartbeat was made"

# --- the errors, one line each ---------------------------------------------------------------
descriptor=$project/src/main/service/service.toml
mvn_package -Dservice.descriptor="$project/none.toml"
expect_failure "no descriptor" "no service descriptor at $project/none.toml: write one there (see the README's Maven section), or name yours with <descriptor>"

sed 's/^start = "demand"$/start = "sometimes"/' "$descriptor" >"$project/bad.toml"
mvn_package -Dservice.descriptor="$project/bad.toml"
expect_failure "descriptor error" "$project/bad.toml:8:9: error: service.start must be one of \"auto\", \"demand\", \"delayed\", \"disabled\", not \"sometimes\""

maven_env="MAVEN_OPTS=-Dos.arch=aarch64"
mvn_package
expect_failure "unsupported build machine" "this plugin carries the packager for Linux x86-64 and Windows x64 only, and this build runs on Linux (aarch64): build the packager for this machine from the launcher's sources and name it with -Dservice.packager=<path> (or <packager>), or skip the service launcher with -Dservice.skip"

# The way out that line gives: a packager built for the machine.
rm -f "$layout/heartbeat.exe"
mvn_package -Dservice.packager="$packager"
maven_env=
[ "$rc" -eq 0 ] || { fail "-Dservice.packager on an unsupported machine: mvn package failed"; failure_line >&2; }
[ -f "$layout/heartbeat.exe" ] || fail "-Dservice.packager on an unsupported machine: no launcher"

# A PATH without wixl: every program of the folders that hold one, but wixl.
mkdir -p "$work/no-wixl"
for folder in $(echo "$PATH" | tr ':' ' '); do
    [ -d "$folder" ] || continue
    for program in "$folder"/*; do
        name=$(basename "$program")
        [ "$name" = wixl ] || [ -e "$work/no-wixl/$name" ] || ln -s "$program" "$work/no-wixl/$name"
    done
done
maven_env="PATH=$work/no-wixl"
mvn_package -Dservice.msi=true
expect_failure "no wixl" "the installer package needs wixl on the build machine (Debian package wixl), which is not on the PATH: install it, or set <msi>auto</msi> to build without the package where it is missing"
mvn_package
maven_env=
[ "$rc" -eq 0 ] || fail "<msi>auto</msi> without wixl: mvn package failed"
grep -q '^\[WARNING\] the installer package needs wixl .*: no installer package (<msi>auto</msi>)$' "$work/mvn.txt" ||
    fail "<msi>auto</msi> without wixl: no warning"
[ ! -e "$layout/heartbeat.msi" ] || fail "<msi>auto</msi> without wixl: a package is left"
[ -f "$layout/heartbeat.exe" ] || fail "<msi>auto</msi> without wixl: no launcher"

sed 's/^class_path = .*$/class_path = [ { archive = "heartbeat.jar" } ]/' "$descriptor" >"$project/jar-beside.toml"
mvn_package -Dservice.descriptor="$project/jar-beside.toml"
expect_failure "class path without lib" "the launcher's class path does not take lib/heartbeat.jar, which this plugin lays out for the application: add { scan = \"lib\" } to class_path in [application] of $project/jar-beside.toml"

sed 's/^files = \["lib"\]$/files = []/' "$descriptor" >"$project/no-files.toml"
mvn_package -Dservice.descriptor="$project/no-files.toml" -Dservice.msi=true
expect_failure "package without lib" "the installer package would not hold lib/heartbeat.jar: add \"lib\" to files in [installer] of $project/no-files.toml (the plugin takes them from $layout)"
[ ! -e "$layout/heartbeat.msi" ] || fail "a package without lib/ is left"

# The package's files are found in the layout; an error there names the descriptor itself.
sed 's/^files = \["lib"\]$/files = ["lib", "conf"]/' "$descriptor" >"$project/conf.toml"
line=$(grep -n '^files = ' "$project/conf.toml" | cut -d: -f1)
mvn_package -Dservice.descriptor="$project/conf.toml" -Dservice.msi=true
expect_failure "installer file missing from the layout" "$project/conf.toml:$line:17: error: installer.files[1] \"conf\" matches no file"
mkdir -p "$layout/conf"
printf 'greeting=hello\n' >"$layout/conf/app.properties"
mvn_package -Dservice.descriptor="$project/conf.toml" -Dservice.msi=true
[ "$rc" -eq 0 ] || { fail "a conf folder laid into the layout: mvn package failed"; failure_line >&2; }
if command -v msiinfo >/dev/null 2>&1 && [ -s "$layout/heartbeat.msi" ]; then
    msiinfo export "$layout/heartbeat.msi" File | grep -q 'app.properties' || fail "the package lacks conf/app.properties of the layout"
fi

finish "maven plugin: the example's layout, package, launcher and error lines as expected"
