#!/usr/bin/env bash
# Fails when an include crosses a module boundary the wrong way.
#   check_module_dependencies.sh [SRC_ROOT]     (default: the project's src/)
# Modules are the folders two levels down (core/writer, hd/video, ...).
# Inside the core, dependencies point one way:
#   platform <- util <- imaging, writer, movie, prefs <- capture
# The programs may use all of the core and the Linux device layer
# (platform_linux: V4L2 nodes), which uses the core only; Framewright HD and
# Framewright never include each other. A core folder missing from the
# table fails too, so a new module has to say where it stands.
set -euo pipefail
root=${1:-"$(cd "$(dirname "$0")/../.." && pwd)/src"}

declare -A allowed=(
  [core/platform]="core/platform"
  [core/util]="core/platform core/util"
  [core/imaging]="core/platform core/util core/imaging"
  [core/writer]="core/platform core/util core/writer"
  [core/movie]="core/platform core/util core/movie"
  [core/prefs]="core/platform core/util core/prefs"
  [core/capture]="core/platform core/util core/imaging core/writer core/movie core/prefs core/capture"
  [core/recovery]="core/platform core/util core/writer core/movie core/prefs core/capture core/recovery"
  [core/stopmotion]="core/platform core/util core/imaging core/writer core/movie core/prefs core/capture core/stopmotion"
)

violations=0
while IFS= read -r -d '' file; do
  rel=${file#"$root"/}
  [[ $rel =~ ^([^/]+/[^/]+)/ ]] || continue
  module=${BASH_REMATCH[1]}
  program=${module%%/*}
  if [ "$program" = core ] && [ -z "${allowed[$module]+set}" ]; then
    echo "$rel: the folder $module is not in the module table of $(basename "$0")"
    violations=$((violations + 1))
    continue
  fi
  while IFS= read -r target; do
    [[ $target =~ ^([^/]+/[^/]+)/ ]] || continue
    target_module=${BASH_REMATCH[1]}
    target_program=${target_module%%/*}
    ok=1
    case "$program" in
      core)
        [[ " ${allowed[$module]} " == *" $target_module "* ]] || ok=0 ;;
      platform_linux)
        [ "$target_program" = core ] || [ "$target_module" = "$module" ] || ok=0 ;;
      hd | classic)
        [ "$target_program" = core ] || [ "$target_program" = platform_linux ] ||
          [ "$target_program" = "$program" ] || ok=0 ;;
    esac
    if [ $ok -eq 0 ]; then
      echo "$rel: includes \"$target\" ($module must not depend on $target_module)"
      violations=$((violations + 1))
    fi
  done < <(sed -n -E 's@^[[:space:]]*#[[:space:]]*include[[:space:]]+"((core|hd|classic|platform_linux)/[^"]+)".*@\1@p' "$file")
done < <(find "$root" -type f \( -name '*.h' -o -name '*.cpp' \) -print0 | sort -z)

if [ $violations -gt 0 ]; then
  echo "$violations wrong-way include(s)"
  exit 1
fi
echo "module dependencies: all includes point the right way"
