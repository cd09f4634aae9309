# Sourced by the shell scripts: wine_env PREFIX exports the Wine environment
# of scripts/wine-env, the loader wrapper first in PATH and WINEPREFIX.
wine_env() {
    local scripts line
    scripts=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)
    while IFS= read -r line; do
        case $line in '' | '#'*) continue ;; esac
        export "${line?}"
    done <"$scripts/wine-env"
    case ":$PATH:" in *":$scripts/wine-bin:"*) ;; *) export PATH="$scripts/wine-bin:$PATH" ;; esac
    if [ -n "${1:-}" ]; then export WINEPREFIX=$1; fi
}
