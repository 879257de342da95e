# Sourced: the environment for running the tool and its tests under Wine.
# HALVERN_WINEPREFIX picks the prefix; by default the throwaway test prefix inside the build tree.
halvern_root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
export WINEPREFIX="${HALVERN_WINEPREFIX:-$halvern_root/build/wineprefix}"
export WINEDEBUG=-all
# No Mono or Gecko installer prompts; a caller's own overrides (such as winhttp=d) come on top.
export WINEDLLOVERRIDES="mscoree,mshtml=${WINEDLLOVERRIDES:+;$WINEDLLOVERRIDES}"
export DISPLAY=
export LC_ALL=C.UTF-8
unset http_proxy https_proxy HTTP_PROXY HTTPS_PROXY all_proxy ALL_PROXY no_proxy NO_PROXY
