# Sourced by the scripts that run programs under Wine: finds Debian's 64-bit Wine and makes a
# private prefix in a Japanese system's locale. Wine takes the ANSI code page (932) from the
# locale, and the Unix file names' encoding from the C library's locale, so a Japanese UTF-8
# locale is built for the run alone (localedef, with the sources of Debian's package locales).
#
# Gives: wine, wineserver, and wine_prefix DIR PREFIX: exports WINEPREFIX=PREFIX with Wine's
# quiet settings, builds the locale in DIR/locale, and sets jp (the locale's env prefix, for
# Wine's commands). Errors begin with $me (default: the script's name).

me=${me:-$(basename "$0")}
wine=""
for candidate in wine64 /usr/lib/wine/wine64 wine; do
  if command -v "$candidate" >/dev/null 2>&1; then
    wine=$(command -v "$candidate")
    break
  fi
done
[[ -n $wine ]] || { echo "$me: no wine64 found (Debian package wine64)" >&2; exit 2; }
wineserver=$(command -v wineserver || echo /usr/lib/wine/wineserver64)

wine_prefix() {
  export WINEPREFIX=$2 WINEARCH=win64 WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml="
  mkdir -p "$1/locale"
  if ! localedef -i ja_JP -f UTF-8 "$1/locale/ja_JP.UTF-8" >/dev/null 2>&1; then
    echo "$me: cannot build the ja_JP.UTF-8 locale (Debian package locales)" >&2
    exit 2
  fi
  # (set for Wine only: this shell cannot switch to a locale it did not start with)
  jp=(env "LOCPATH=$1/locale" LC_ALL=ja_JP.UTF-8)
}
